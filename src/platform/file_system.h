#pragma once
// File-system services with UTF-8 paths on every platform.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

#ifdef _WIN32
constexpr char kPathDelimiter = '\\';
#else
constexpr char kPathDelimiter = '/';
#endif

// UTF-8 text <-> std::filesystem::path, so Cyrillic names survive on Windows too.
std::filesystem::path ToPath(std::string_view utf8);
std::string FromPath(const std::filesystem::path& path);

struct TDirectoryEntry {
  std::string name;   // as the file system reports it, UTF-8
  bool is_directory;  // a link to a directory counts as a directory
  bool is_link;
};

// Calls visit for every entry of the folder, "." and ".." included, in the
// order the file system returns them. Returns false when the folder cannot be
// read (nothing is visited then). Hidden and system entries are listed.
bool EnumerateDirectory(const std::string& folder, const std::function<void(const TDirectoryEntry&)>& visit);

// Identity of a file or folder after following links: device and inode, or
// volume serial and file index on Windows.
struct TFileIdentity {
  uint64_t device = 0;
  uint64_t file = 0;
  bool operator==(const TFileIdentity&) const = default;
  bool operator<(const TFileIdentity& o) const { return device != o.device ? device < o.device : file < o.file; }
};
bool GetFileIdentity(const std::string& path, TFileIdentity& identity);

// Last modification time of a file in the system's own units (100 ns ticks on
// Windows, nanoseconds elsewhere); only for comparing two files' stamps.
bool GetFileModificationTime(const std::string& path, int64_t& stamp);
// Sets the last modification (and access) time of a file or folder to a
// moment in seconds since 1970-01-01 UTC; a link itself, never its target.
bool SetFileModificationTime(const std::string& path, int64_t unix_seconds);

// True when the path itself (not followed) is a symbolic link, or on Windows
// any reparse point (junctions included).
bool IsLink(const std::string& path);

// What a path names. Without following, a symbolic link (on Windows any
// reparse point) is a link; following it, what it leads to (nothing for a
// dangling link).
enum class TPathKind { None, File, Directory, Link, Other };
TPathKind GetPathKind(const std::string& path, bool follow_links);

// A file or a folder, links followed.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder with all missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
// Creates one folder whose parent exists; false when it could not be made
// (when something of that name exists, too).
bool MakeFolder(const std::string& path);
// Copies a file, replacing a file of the target name; true on success.
bool CopyFileReplace(const std::string& source, const std::string& target);
// The size of a file in bytes, links followed.
bool GetFileLength(const std::string& path, int64_t& size);
// Last modification time in seconds since 1970-01-01 UTC.
bool GetFileModificationSeconds(const std::string& path, int64_t& unix_seconds);
// The absolute path with every link resolved in the part that exists and the
// rest (which does not exist yet) appended as written; empty on failure. Two
// paths name the same place only if this gives them the same text.
std::string RealPath(const std::string& path);
// ForceDirectories with the system's reason when the folder is not there afterwards.
std::error_code CreateFolders(const std::string& path);
// Renames a file, replacing a file (or a link itself) of the new name in one
// step; a folder of that name is never replaced.
std::error_code RenameReplace(const std::string& from, const std::string& to);
// True when both files hold the same bytes; error is set (and the answer false)
// when either cannot be read.
bool SameContent(const std::string& a, const std::string& b, std::error_code& error);

// Full path of the running program, and its folder with a trailing delimiter.
std::string ExecutablePath();
std::string ExecutableDirectory();

// Appends the platform delimiter when the text does not end with one.
std::string IncludeTrailingDelimiter(std::string path);

}  // namespace platform
