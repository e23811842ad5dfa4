#pragma once
// Names for files and folders that exist only while the program writes them.
// They carry the prefix kTemporaryPrefix and the writing process's id, so that a
// later run can tell the leftovers of a run that died from the files of a run
// that is still writing.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::string_view kTemporaryPrefix = ".vorlanex-";
// A file written before it is renamed into place, and a folder an archive is
// unpacked into before its files are moved into place.
inline constexpr std::string_view kTemporaryFileExtension = ".tmp";
inline constexpr std::string_view kStagingFolderExtension = ".stage";

uint64_t CurrentProcessId();
// True when a process with this id runs on this computer (also when it belongs to
// another user).
bool ProcessRunning(uint64_t id);

// folder (with or without its trailing delimiter) joined with a name of ours
// that no other call of this process returns: ".vorlanex-<process>-<n><extension>".
// Short, since the names it stands beside may already be as long as allowed.
std::string TemporaryName(const std::string& folder, std::string_view extension);

// The process id in a name TemporaryName makes with one of the two extensions
// above; false for any other name.
bool ParseTemporaryName(std::string_view name, uint64_t& process);

// Removes, directly in folder, the temporary files and staging folders whose
// process no longer runs and which nobody has touched for min_age_seconds (the
// age keeps off the files another computer writes into a shared folder). Links
// are never followed. The number of entries removed.
int RemoveStaleTemporaries(const std::string& folder, int64_t min_age_seconds = 600);

}  // namespace platform
