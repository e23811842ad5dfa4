#pragma once
// Why a file-system call failed, in the words the program's users read.

#include <string>
#include <system_error>

namespace platform {

// The error of the last failed system call on this thread: errno, or
// GetLastError on Windows.
std::error_code LastSystemError();

// A short Russian text for the reason: "нет места на диске", "только для
// чтения", "нет доступа", ...; an error it does not know by name gives its
// number and the system's own text. Empty for no error.
std::string ErrorReason(const std::error_code& error);

}  // namespace platform
