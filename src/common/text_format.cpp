#include "common/text_format.h"

#include <cstdarg>
#include <cstdio>

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
template <typename Char>
std::basic_string<Char> TrimImpl(std::basic_string_view<Char> text) {
  auto blank = [](Char c) { return static_cast<unsigned>(c) <= 0x20u; };
  size_t first = 0, last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return std::basic_string<Char>(text.substr(first, last - first));
}
}  // namespace

std::string Trim(std::string_view text) {
  // Compare as unsigned so that UTF-8 continuation bytes are never taken for blanks.
  size_t first = 0, last = text.size();
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20u; };
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

std::u16string Trim(std::u16string_view text) { return TrimImpl<char16_t>(text); }

}  // namespace common
