#pragma once
// Small text helpers shared across the program.

#include <cstdio>
#include <string>
#include <string_view>

namespace common {

// printf-style formatting into a std::string. MinGW formats with its own C99
// printf (so %zu and %lld work), which its headers name.
#if defined(__MINGW32__)
__attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#elif defined(__GNUC__) || defined(__clang__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* format, ...);

// Removes leading and trailing blanks and control characters (every character
// up to and including U+0020). Bytes of multi-byte UTF-8 sequences are kept.
std::string Trim(std::string_view text);
std::u16string Trim(std::u16string_view text);

}  // namespace common
