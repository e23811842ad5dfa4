#pragma once
// Copying a file so that the copy appears whole or not at all.

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

namespace platform {

// Copies source into a temporary file (platform/temporary_files.h) in target's
// folder and renames it over target only when every byte is written, so a full
// disk, an error or a stop never leaves a partial file under target nor harms
// a file that stood there. The copy keeps the source's modification time. stop,
// when given, is asked before every block; true ends the copy with
// std::errc::operation_canceled. The temporary file is gone on every failure.
std::error_code CopyFileWhole(const std::string& source, const std::string& target,
                              const std::function<bool()>& stop = {});

// Test seam: when set, asked before each block CopyFileWhole writes (its target
// and the offset of the block); an error it returns fails that write as the
// system would (a full disk, a medium turned read-only). Empty: none.
using TCopyWriteFault = std::function<std::error_code(const std::string& target, int64_t offset)>;
void SetCopyWriteFault(TCopyWriteFault fault);

}  // namespace platform
