#pragma once
// Small text helpers shared across the program.

#include <string>
#include <string_view>

namespace common {

// printf-style formatting into a std::string.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* format, ...);

// Removes leading and trailing blanks and control characters (every character
// up to and including U+0020). Bytes of multi-byte UTF-8 sequences are kept.
std::string Trim(std::string_view text);
std::u16string Trim(std::u16string_view text);

}  // namespace common
