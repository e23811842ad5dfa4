// Arbitrary bytes through every conversion of the text layer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/text_compare.h"
#include "platform/text_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string wide = platform::Utf8ToUtf16(bytes);
  (void)platform::Utf16ToUtf8(wide);
  (void)platform::IsValidUtf8(bytes);
  std::u16string raw(size / 2, u'\0');
  for (size_t i = 0; i + 1 < size; i += 2) raw[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  (void)platform::Utf16ToUtf8(raw);
  (void)platform::UpperCase(std::u16string_view(raw));
  (void)platform::SameText(std::u16string_view(raw), std::u16string_view(wide));
  static const uint32_t kCodePages[] = {1251, 866, 932, 65000, 20866, 1201};
  const uint32_t cp = size ? kCodePages[data[0] % 6] : 1251;
  std::u16string decoded;
  platform::CodePageToUtf16(cp, bytes, decoded);
  std::string encoded;
  platform::Utf16ToCodePage(cp, raw, encoded);
  platform::TCodePageDecoder decoder(cp);
  std::u16string piecewise;
  decoder.Decode(bytes.substr(0, size / 2), piecewise, false);
  decoder.Decode(bytes.substr(size / 2), piecewise, true);
  return 0;
}
