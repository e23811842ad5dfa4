#include "zipformat/zip_name.h"

#include <zlib.h>

#include <algorithm>

#include "platform/file_system.h"
#include "platform/text_conversion.h"
#include "zipformat/zip_reader.h"

namespace zip {

namespace {

// Lead bytes of 2 to 6 bytes, each followed by the right number of continuation bytes.
bool IsUtf8Shaped(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    size_t follow;
    if (c < 0x80)
      follow = 0;
    else if ((c & 0xE0) == 0xC0)
      follow = 1;
    else if ((c & 0xF0) == 0xE0)
      follow = 2;
    else if ((c & 0xF8) == 0xF0)
      follow = 3;
    else if ((c & 0xFC) == 0xF8)
      follow = 4;
    else if ((c & 0xFE) == 0xFC)
      follow = 5;
    else
      return false;
    if (follow >= text.size() - i) return false;
    for (size_t k = 1; k <= follow; ++k)
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    i += follow + 1;
  }
  return true;
}

// Valid UTF-8 with at least one character beyond ASCII.
bool HasMultiByteUtf8(std::string_view raw) {
  return std::any_of(raw.begin(), raw.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; }) &&
         platform::IsValidUtf8(raw);
}

bool NeedsConversion(std::string_view raw) {
  return std::any_of(raw.begin(), raw.end(), [](char ch) {
    const uint8_t b = static_cast<uint8_t>(ch);
    return b < 31 || b > 126;
  });
}

std::string FromCodePage(uint32_t code_page, std::string_view raw) {
  std::u16string wide;
  if (!platform::CodePageToUtf16(code_page, raw, wide)) return RawBytesAsText(raw);
  return platform::Utf16ToUtf8(wide);
}

// UTF-8 that is not well-formed is read in the system ANSI code page instead.
std::string FromUtf8(std::string_view text) {
  return platform::IsValidUtf8(text) ? std::string(text) : RawBytesAsText(text);
}

std::string Decode(const TZipNameSource& source, const TZipNameOptions& options, uint16_t tag) {
  const TZipTextEncoding encoding = ChooseTextEncoding(source, options, tag);
  if (encoding != TZipTextEncoding::teUnicodeExtra && !NeedsConversion(source.raw)) return std::string(source.raw);
  std::string text;
  switch (encoding) {
    case TZipTextEncoding::teRaw:
      text = RawBytesAsText(source.raw);
      break;
    case TZipTextEncoding::teAnsi: {
      uint32_t cp = options.code_page ? options.code_page : platform::AnsiCodePage();
      if (!platform::IsCodePageSupported(cp)) cp = platform::AnsiCodePage();
      text = FromCodePage(cp, source.raw);
      break;
    }
    case TZipTextEncoding::teOem:
      text = FromCodePage(platform::OemCodePage(), source.raw);
      break;
    case TZipTextEncoding::teUtf8:
      text = FromUtf8(source.raw);
      break;
    case TZipTextEncoding::teUnicodeExtra:
      if (auto field = UnicodeExtraText(source.extra, tag, source.raw)) text = FromUtf8(*field);
      break;
  }
  if (text.empty()) text = RawBytesAsText(source.raw);
  return text;
}

}  // namespace

std::optional<std::string_view> FindExtraBlock(std::string_view extra, uint16_t tag) {
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const uint16_t block_tag = GetLe16(extra, at), size = GetLe16(extra, at + 2);
    if (size > extra.size() - at - 4) return std::nullopt;
    if (block_tag == tag) return extra.substr(at + 4, size);
    at += 4 + size_t{size};
  }
  return std::nullopt;
}

std::optional<std::string_view> UnicodeExtraText(std::string_view extra, uint16_t tag, std::string_view raw) {
  const auto block = FindExtraBlock(extra, tag);
  if (!block || block->size() <= 5 || static_cast<uint8_t>((*block)[0]) != 1) return std::nullopt;
  const uint32_t crc =
      static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size())));
  if (crc != GetLe32(*block, 1)) return std::nullopt;
  const std::string_view text = block->substr(5);
  if (!IsUtf8Shaped(text)) return std::nullopt;
  return text;
}

bool IsOemHost(uint16_t version_made_by) {
  const uint8_t host = static_cast<uint8_t>(version_made_by >> 8);
  return host == 0 || host == 6 || version_made_by == 2866;
}

TZipTextEncoding ChooseTextEncoding(const TZipNameSource& source, const TZipNameOptions& options, uint16_t tag) {
  switch (options.encoding) {
    case zenNone:
      return TZipTextEncoding::teRaw;
    case zenOEM:
      return TZipTextEncoding::teOem;
    case zenUTF8:
      return TZipTextEncoding::teUtf8;
    case zenUPath:
      return TZipTextEncoding::teUnicodeExtra;
    case zenAuto:
      break;
  }
  if (source.flags & kFlagUtf8) return TZipTextEncoding::teUtf8;
  if (UnicodeExtraText(source.extra, tag, source.raw)) return TZipTextEncoding::teUnicodeExtra;
  if (IsOemHost(source.version_made_by)) return TZipTextEncoding::teOem;
  // Unix and macOS tools write UTF-8 without saying so. Cyrillic text of
  // windows-1251 is practically never valid UTF-8, so names from Windows keep
  // their code page.
  if (HasMultiByteUtf8(source.raw)) return TZipTextEncoding::teUtf8;
  return TZipTextEncoding::teAnsi;
}

std::string RawBytesAsText(std::string_view raw) {
  if (!NeedsConversion(raw)) return std::string(raw);
  std::u16string wide;
  if (!platform::CodePageToUtf16(platform::AnsiCodePage(), raw, wide))
    return platform::Utf16ToUtf8(platform::Utf8ToUtf16(raw));
  return platform::Utf16ToUtf8(wide);
}

std::string DecodeEntryName(const TZipNameSource& source, const TZipNameOptions& options) {
  std::string name = Decode(source, options, kUnicodePathTag);
  if constexpr (platform::kPathDelimiter != '/') std::replace(name.begin(), name.end(), '/', platform::kPathDelimiter);
  return name;
}

std::string DecodeEntryComment(const TZipNameSource& source, const TZipNameOptions& options) {
  return Decode(source, options, kUnicodeCommentTag);
}

}  // namespace zip
