#include "common/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <type_traits>

namespace common {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string result;
  if (n > 0) {
    result.resize(static_cast<size_t>(n));
    std::vsnprintf(result.data(), result.size() + 1, format, args);
  }
  va_end(args);
  return result;
}

namespace {

// Blanks and control characters are every code unit up to U+0020. Compared
// unsigned, so the bytes of a multi-byte UTF-8 sequence are never taken for blanks.
template <typename Char>
std::basic_string<Char> TrimBlanks(std::basic_string_view<Char> text) {
  auto blank = [](Char c) { return static_cast<std::make_unsigned_t<Char>>(c) <= 0x20u; };
  size_t first = 0, last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return std::basic_string<Char>(text.substr(first, last - first));
}

}  // namespace

std::string Trim(std::string_view text) { return TrimBlanks(text); }

std::u16string Trim(std::u16string_view text) { return TrimBlanks(text); }

}  // namespace common
