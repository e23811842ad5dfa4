#pragma once
// Windows only: paths between the program's UTF-8 and the system's wide calls.

#ifdef _WIN32

#include <string>
#include <string_view>

namespace common {

// The UTF-16 form of a UTF-8 path for the system's wide (W) calls. A path too
// long for the classic limit (260 characters, 248 for a folder) is made
// absolute and normalised and gets the "\\?\" prefix ("\\?\UNC\" for a network
// path), which lifts the limit to about 32767 characters; deep output trees
// need that. Shorter paths go through unchanged, relative ones included.
std::wstring WidePath(std::string_view utf8);

// The UTF-8 form of a path the system returned, without a "\\?\" prefix.
std::string Utf8Path(std::wstring_view wide);

// The system's text for an error number, without the trailing line break.
std::string SystemErrorText(unsigned long code);

}  // namespace common

#endif
