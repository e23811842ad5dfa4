// Legacy code pages through ICU's converters, named by Windows code page numbers.

#include <unicode/ucnv.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <map>
#include <vector>

#include "common/text_format.h"
#include "platform/text_conversion.h"

namespace platform {

uint32_t AnsiCodePage() {
#ifdef _WIN32
  return GetACP();
#else
  return 1251;
#endif
}

uint32_t OemCodePage() {
#ifdef _WIN32
  return GetOEMCP();
#else
  return 866;
#endif
}

ECodePageUnsupported::ECodePageUnsupported(uint32_t code_page)
    : std::runtime_error(common::Format("Code page %u is not supported by the text converter", code_page)),
      code_page_(code_page) {}

namespace {

// ICU names for the Windows code pages the program meets. Code pages that are
// not listed are tried under the usual name patterns; none is ever guessed.
const char* KnownName(uint32_t code_page) {
  switch (code_page) {
    case 65001:
      return "UTF-8";
    case 65000:
      return "UTF-7";
    case 1200:
      return "UTF-16LE";
    case 1201:
      return "UTF-16BE";
    case 20127:
      return "US-ASCII";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case 932:
      return "windows-932";
    case 936:
      return "windows-936";
    case 949:
      return "windows-949";
    case 950:
      return "windows-950";
    case 874:
      return "windows-874";
    case 28591:
      return "ISO-8859-1";
    case 28592:
      return "ISO-8859-2";
    case 28593:
      return "ISO-8859-3";
    case 28594:
      return "ISO-8859-4";
    case 28595:
      return "ISO-8859-5";
    case 28596:
      return "ISO-8859-6";
    case 28597:
      return "ISO-8859-7";
    case 28598:
      return "ISO-8859-8";
    case 28599:
      return "ISO-8859-9";
    case 28603:
      return "ISO-8859-13";
    case 28605:
      return "ISO-8859-15";
    default:
      return nullptr;
  }
}

UConverter* OpenConverter(uint32_t code_page) {
  std::vector<std::string> names;
  if (const char* known = KnownName(code_page)) {
    names.emplace_back(known);
  } else if (code_page >= 1250 && code_page <= 1258) {
    names.push_back(common::Format("windows-%u", code_page));
  } else {
    names.push_back(common::Format("ibm-%u", code_page));
    names.push_back(common::Format("windows-%u", code_page));
  }
  for (const auto& name : names) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name.c_str(), &status);
    if (converter && U_SUCCESS(status)) {
      status = U_ZERO_ERROR;
      ucnv_setSubstChars(converter, "?", 1, &status);
      return converter;
    }
    if (converter) ucnv_close(converter);
  }
  return nullptr;
}

// Opening an ICU converter costs far more than converting a block, so each
// thread keeps the converters it has used (reset before every conversion).
class ConverterCache {
 public:
  ~ConverterCache() {
    for (auto& [cp, conv] : converters_)
      if (conv) ucnv_close(conv);
  }
  UConverter* Get(uint32_t code_page) {
    auto it = converters_.find(code_page);
    if (it == converters_.end()) it = converters_.emplace(code_page, OpenConverter(code_page)).first;
    if (it->second) ucnv_reset(it->second);
    return it->second;
  }

 private:
  std::map<uint32_t, UConverter*> converters_;
};

UConverter* CachedConverter(uint32_t code_page) {
  thread_local ConverterCache cache;
  return cache.Get(code_page);
}

void DecodeWith(UConverter* converter, std::string_view bytes, std::u16string& out, bool flush) {
  const char* source = bytes.data();
  const char* const source_end = source + bytes.size();
  size_t start = out.size();
  // Every byte yields at most two code units; the loop handles any overflow anyway.
  out.resize(start + bytes.size() * 2 + 16);
  for (;;) {
    UChar* target = reinterpret_cast<UChar*>(out.data()) + start;
    UChar* const target_begin = target;
    UChar* const target_end = reinterpret_cast<UChar*>(out.data()) + out.size();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, target_end, &source, source_end, nullptr, flush, &status);
    start += static_cast<size_t>(target - target_begin);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.resize(out.size() * 2);
      continue;
    }
    break;
  }
  out.resize(start);
}

}  // namespace

bool IsCodePageSupported(uint32_t code_page) {
  if (code_page == kCodePageUtf8 || code_page == kCodePageUtf16LE || code_page == kCodePageUtf16BE) return true;
  return CachedConverter(code_page) != nullptr;
}

bool CodePageToUtf16(uint32_t code_page, std::string_view bytes, std::u16string& out) {
  out.clear();
  if (code_page == kCodePageUtf8) {
    AppendUtf8ToUtf16(bytes, out);
    return true;
  }
  UConverter* converter = CachedConverter(code_page);
  if (!converter) return false;
  DecodeWith(converter, bytes, out, true);
  return true;
}

bool Utf16ToCodePage(uint32_t code_page, std::u16string_view text, std::string& out) {
  out.clear();
  if (code_page == kCodePageUtf8) {
    AppendUtf16ToUtf8(text, out);
    return true;
  }
  UConverter* converter = CachedConverter(code_page);
  if (!converter) return false;
  if (text.empty()) return true;
  const UChar* source = reinterpret_cast<const UChar*>(text.data());
  const UChar* const source_end = source + text.size();
  size_t done = 0;
  out.resize(text.size() * static_cast<size_t>(ucnv_getMaxCharSize(converter)) + 16);
  for (;;) {
    char* target = out.data() + done;
    char* const target_begin = target;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, out.data() + out.size(), &source, source_end, nullptr, true, &status);
    done += static_cast<size_t>(target - target_begin);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.resize(out.size() * 2);
      continue;
    }
    break;
  }
  out.resize(done);
  return true;
}

std::string CodePageToUtf8(uint32_t code_page, std::string_view bytes) {
  if (code_page == kCodePageUtf8) {
    std::u16string wide = Utf8ToUtf16(bytes);
    return Utf16ToUtf8(wide);
  }
  std::u16string wide;
  if (!CodePageToUtf16(code_page, bytes, wide)) throw ECodePageUnsupported(code_page);
  return Utf16ToUtf8(wide);
}

std::string Utf8ToCodePage(uint32_t code_page, std::string_view utf8) {
  std::string bytes;
  if (!Utf16ToCodePage(code_page, Utf8ToUtf16(utf8), bytes)) throw ECodePageUnsupported(code_page);
  return bytes;
}

// --- TCodePageDecoder ------------------------------------------------------

struct TCodePageDecoder::Impl {
  UConverter* converter = nullptr;
  ~Impl() {
    if (converter) ucnv_close(converter);
  }
};

TCodePageDecoder::TCodePageDecoder(uint32_t code_page) : code_page_(code_page), impl_(std::make_unique<Impl>()) {
  impl_->converter = OpenConverter(code_page);
  if (!impl_->converter) throw ECodePageUnsupported(code_page);
}

TCodePageDecoder::~TCodePageDecoder() = default;

void TCodePageDecoder::Decode(std::string_view bytes, std::u16string& out, bool flush) {
  DecodeWith(impl_->converter, bytes, out, flush);
}

void TCodePageDecoder::Reset() { ucnv_reset(impl_->converter); }

}  // namespace platform
