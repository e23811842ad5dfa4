#include "sorting/cad_number.h"

#include "common/text_format.h"
#include "platform/text_conversion.h"

namespace sorting {

std::string FormatBlockNumber(std::string_view text) {
  // Pairs of characters, not bytes: a Cyrillic letter is one character.
  const std::u16string wide = platform::Utf8ToUtf16(text);
  std::u16string result;
  for (size_t i = 0; i < wide.size(); ++i) {
    result.push_back(wide[i]);
    if ((i + 1) % 2 == 0) result.push_back(u' ');
  }
  return platform::Utf16ToUtf8(common::Trim(result));
}

void SplitString(char delimiter, std::string_view text, std::vector<std::string>& list) {
  list.clear();
  size_t p = 0;
  const size_t n = text.size();
  while (p < n) {
    std::string part;
    if (text[p] == '"') {
      // Quoted text up to the closing quote; "" inside stands for one quote.
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            part.push_back('"');
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        part.push_back(text[p++]);
      }
    } else {
      const size_t start = p;
      while (p < n && text[p] != delimiter) ++p;
      part.assign(text.substr(start, p - start));
    }
    list.push_back(std::move(part));
    if (p < n && text[p] == delimiter) {
      ++p;
      if (p == n) list.emplace_back();  // a trailing delimiter gives a trailing empty part
    }
  }
}

void TCadNumber::SetCadNumber(std::string_view text) {
  std::vector<std::string> parts;
  SplitString(':', text, parts);
  if (parts.size() >= 1) Region = parts[0];
  if (parts.size() >= 2) District = parts[1];
  if (parts.size() >= 3) Block = FormatBlockNumber(parts[2]);
  if (parts.size() >= 4) Parcel = parts[3];
}

}  // namespace sorting
