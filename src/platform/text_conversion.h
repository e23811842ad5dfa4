#pragma once
// Text conversion between UTF-8, UTF-16 and the legacy code pages that archives
// and XML documents carry. Code pages are named by their Windows numbers.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

constexpr uint32_t kCodePageUtf7 = 65000;
constexpr uint32_t kCodePageUtf8 = 65001;
constexpr uint32_t kCodePageUtf16LE = 1200;
constexpr uint32_t kCodePageUtf16BE = 1201;

// The code pages that "ANSI" and "OEM" stand for: those of Windows on Windows,
// 1251 and 866 elsewhere (the code pages of the computers the archives come from).
uint32_t AnsiCodePage();
uint32_t OemCodePage();

// UTF-8 to UTF-16. Invalid bytes never stop the conversion: each maximal invalid
// subsequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
void AppendUtf8ToUtf16(std::string_view utf8, std::u16string& out);
// The same into a caller's buffer, which must have room for size code units
// (UTF-16 never needs more units than UTF-8 has bytes). Returns the units written.
size_t DecodeUtf8ToUtf16(const char* data, size_t size, char16_t* out);
// UTF-16 to UTF-8. A surrogate pair becomes one character; a lone surrogate U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
void AppendUtf16ToUtf8(std::u16string_view utf16, std::string& out);
// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

class ECodePageUnsupported : public std::runtime_error {
 public:
  explicit ECodePageUnsupported(uint32_t code_page);
  uint32_t CodePage() const { return code_page_; }

 private:
  uint32_t code_page_;
};

// True when the converter knows the code page.
bool IsCodePageSupported(uint32_t code_page);

// Code page to UTF-16 and back. Both return false (and leave out empty) when the
// code page is unknown; they never guess another one. Bytes invalid in the code
// page become U+FFFD; characters the code page lacks become "?".
bool CodePageToUtf16(uint32_t code_page, std::string_view bytes, std::u16string& out);
bool Utf16ToCodePage(uint32_t code_page, std::u16string_view text, std::string& out);

// Convenience wrappers over the two above, for text that travels as UTF-8
// inside the program. They raise ECodePageUnsupported for an unknown code page.
std::string CodePageToUtf8(uint32_t code_page, std::string_view bytes);
std::string Utf8ToCodePage(uint32_t code_page, std::string_view utf8);

// Decodes a byte stream piece by piece: a multi-byte sequence cut at the end of
// one piece is completed by the next one instead of becoming U+FFFD.
class TCodePageDecoder {
 public:
  // Raises ECodePageUnsupported when the converter lacks the code page.
  explicit TCodePageDecoder(uint32_t code_page);
  ~TCodePageDecoder();
  TCodePageDecoder(const TCodePageDecoder&) = delete;
  TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;

  uint32_t CodePage() const { return code_page_; }
  // Appends the text of bytes to out. With flush false an incomplete sequence at
  // the end is kept back for the next call; with flush true it becomes U+FFFD.
  void Decode(std::string_view bytes, std::u16string& out, bool flush);
  // Forgets a kept-back sequence.
  void Reset();

 private:
  struct Impl;
  uint32_t code_page_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
