#include "platform/text_compare.h"

#ifdef _WIN32
#include <windows.h>

#include <climits>
#else
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#endif

#include "platform/text_conversion.h"

namespace platform {

namespace {

bool IsAscii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}

inline char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

bool SameText(std::u16string_view a, std::u16string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
  }
#ifdef _WIN32
  // The user's locale decides, as the system's own lists and dialogs do.
  if (a.size() > INT_MAX || b.size() > INT_MAX) return a == b;
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<const wchar_t*>(a.data()),
                        static_cast<int>(a.size()), reinterpret_cast<const wchar_t*>(b.data()),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
#else
  UErrorCode status = U_ZERO_ERROR;
  const int result = u_strCaseCompare(reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                                      reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()),
                                      U_FOLD_CASE_DEFAULT, &status);
  return U_SUCCESS(status) && result == 0;
#endif
}

bool SameText(std::string_view a, std::string_view b) {
  bool ascii = true;
  for (char c : a) ascii &= static_cast<unsigned char>(c) < 0x80;
  for (char c : b) ascii &= static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (AsciiLower(static_cast<char16_t>(a[i])) != AsciiLower(static_cast<char16_t>(b[i]))) return false;
    return true;
  }
  return SameText(std::u16string_view(Utf8ToUtf16(a)), std::u16string_view(Utf8ToUtf16(b)));
}

namespace {

#ifdef _WIN32

// The system's simple case mapping (not the linguistic one), which keeps the
// length; should it ever not, each code unit is mapped on its own.
std::u16string MapCase(std::u16string_view text, DWORD how) {
  std::u16string result(text);
  if (text.empty() || text.size() > INT_MAX) return result;
  const int n = static_cast<int>(text.size());
  if (LCMapStringW(LOCALE_USER_DEFAULT, how, reinterpret_cast<const wchar_t*>(text.data()), n,
                   reinterpret_cast<wchar_t*>(result.data()), n) == n)
    return result;
  result.assign(text);
  for (char16_t& c : result) {
    wchar_t mapped = 0;
    if (c < 0xD800 || c > 0xDFFF)
      if (LCMapStringW(LOCALE_USER_DEFAULT, how, reinterpret_cast<const wchar_t*>(&c), 1, &mapped, 1) == 1)
        c = static_cast<char16_t>(mapped);
  }
  return result;
}

}  // namespace

std::u16string UpperCase(std::u16string_view text) { return MapCase(text, LCMAP_UPPERCASE); }

std::u16string LowerCase(std::u16string_view text) { return MapCase(text, LCMAP_LOWERCASE); }

#else

template <class Map>
std::u16string MapCase(std::u16string_view text, Map map) {
  std::u16string result(text);
  size_t i = 0;
  while (i < result.size()) {
    UChar32 c;
    size_t next = i;
    U16_NEXT(result.data(), next, result.size(), c);
    const UChar32 mapped = map(c);
    // Only a mapping of the same width keeps every position in place.
    if (mapped != c && U16_LENGTH(mapped) == static_cast<int32_t>(next - i)) {
      size_t k = i;
      U16_APPEND_UNSAFE(result.data(), k, mapped);
    }
    i = next;
  }
  return result;
}

}  // namespace

std::u16string UpperCase(std::u16string_view text) {
  return MapCase(text, [](UChar32 c) { return u_toupper(c); });
}

std::u16string LowerCase(std::u16string_view text) {
  return MapCase(text, [](UChar32 c) { return u_tolower(c); });
}

#endif

std::string UpperCase(std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii &= static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::string result(text);
    for (char& c : result)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return result;
  }
  return Utf16ToUtf8(UpperCase(std::u16string_view(Utf8ToUtf16(text))));
}

}  // namespace platform
