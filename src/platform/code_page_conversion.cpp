// Legacy code pages, named by their Windows code page numbers: the system's
// own converters on Windows, ICU's elsewhere.

#ifdef _WIN32
#include <windows.h>
#else
#include <unicode/ucnv.h>
#endif

#include <algorithm>
#include <climits>
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

#ifdef _WIN32

namespace {

// What kind of text a code page's bytes are, for cutting a stream between two
// characters and for the flags its conversions allow.
enum class TCodePageKind { Utf8, Utf16LE, Utf16BE, Utf7, Ascii, SingleByte, DoubleByte, OtherMultiByte };

// Code pages whose conversions refuse every flag and a default character.
bool RefusesFlags(uint32_t code_page) {
  return code_page == 42 || (code_page >= 50220 && code_page <= 50229) || code_page == 52936 || code_page == 54936 ||
         (code_page >= 57002 && code_page <= 57011);
}

// False for a code page Windows does not have. The pseudo code pages (the
// thread's ANSI, OEM and Mac code pages, 0 to 3) never name a document's text.
bool Classify(uint32_t code_page, TCodePageKind& kind) {
  switch (code_page) {
    case kCodePageUtf8:
      kind = TCodePageKind::Utf8;
      return true;
    case kCodePageUtf16LE:
      kind = TCodePageKind::Utf16LE;
      return true;
    case kCodePageUtf16BE:
      kind = TCodePageKind::Utf16BE;
      return true;
    case kCodePageUtf7:
      kind = TCodePageKind::Utf7;
      return true;
    case 20127:
      // Windows would fold a byte with the eighth bit set onto an ASCII
      // character ("\xC1" becomes "A"), silently changing the text.
      kind = TCodePageKind::Ascii;
      return true;
    default:
      break;
  }
  if (code_page <= 3 || code_page > 0xFFFF || !IsValidCodePage(code_page)) return false;
  CPINFO info;
  if (!GetCPInfo(code_page, &info)) return false;
  if (info.MaxCharSize == 1) {
    kind = TCodePageKind::SingleByte;
  } else if (info.MaxCharSize == 2 && !RefusesFlags(code_page)) {
    kind = TCodePageKind::DoubleByte;
  } else {
    kind = TCodePageKind::OtherMultiByte;
  }
  return true;
}

constexpr char16_t kReplacement = 0xFFFD;
// The system calls count in int; longer texts go through in pieces.
constexpr size_t kPiece = size_t{1} << 28;

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The length of the part of a UTF-8 text that ends on a whole character (a
// sequence cut at the end is left out).
size_t WholeUtf8(std::string_view bytes) {
  const size_t n = bytes.size();
  for (size_t back = 1; back <= 4 && back <= n; ++back) {
    const auto c = static_cast<unsigned char>(bytes[n - back]);
    if ((c & 0xC0) == 0x80) continue;
    const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return need > back ? n - back : n;
  }
  return n;
}

}  // namespace

// The state a stream's decoding carries from one piece to the next: the bytes
// of a character cut at the end of a piece, or the state of a UTF-7 run.
struct TCodePageDecoder::Impl {
  TCodePageKind kind = TCodePageKind::SingleByte;
  uint32_t code_page = 0;
  std::string pending;
  // UTF-7: inside a base64 run, just after its "+", and the bits not yet used.
  bool in_run = false;
  bool run_start = false;
  uint32_t bits = 0;
  int bit_count = 0;

  void Decode(std::string_view bytes, std::u16string& out, bool flush);
  void Reset() {
    pending.clear();
    in_run = run_start = false;
    bits = 0;
    bit_count = 0;
  }

 private:
  size_t WholeLength(std::string_view bytes) const;
  void DecodeWhole(std::string_view bytes, std::u16string& out) const;
  void DecodeUtf7(std::string_view bytes, std::u16string& out, bool flush);
};

size_t TCodePageDecoder::Impl::WholeLength(std::string_view bytes) const {
  switch (kind) {
    case TCodePageKind::Utf8:
      return WholeUtf8(bytes);
    case TCodePageKind::Utf16LE:
    case TCodePageKind::Utf16BE: {
      size_t n = bytes.size() & ~size_t{1};
      if (n >= 2) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + n - 2;
        const unsigned unit = kind == TCodePageKind::Utf16LE ? (b[0] | (b[1] << 8)) : ((b[0] << 8) | b[1]);
        if (unit >= 0xD800 && unit <= 0xDBFF) n -= 2;  // its low surrogate is still to come
      }
      return n;
    }
    case TCodePageKind::DoubleByte: {
      // Trail bytes can look like lead bytes, so the walk starts at the front.
      size_t i = 0;
      while (i < bytes.size()) i += IsDBCSLeadByteEx(code_page, static_cast<BYTE>(bytes[i])) ? 2 : 1;
      return i > bytes.size() ? bytes.size() - 1 : bytes.size();
    }
    default:
      return bytes.size();
  }
}

void TCodePageDecoder::Impl::DecodeWhole(std::string_view bytes, std::u16string& out) const {
  if (bytes.empty()) return;
  switch (kind) {
    case TCodePageKind::Utf8:
      AppendUtf8ToUtf16(bytes, out);
      return;
    case TCodePageKind::Utf16LE:
    case TCodePageKind::Utf16BE: {
      const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
      const size_t units = bytes.size() / 2;
      const size_t start = out.size();
      out.resize(start + units);
      for (size_t i = 0; i < units; ++i)
        out[start + i] = static_cast<char16_t>(kind == TCodePageKind::Utf16LE ? (b[2 * i] | (b[2 * i + 1] << 8))
                                                                              : ((b[2 * i] << 8) | b[2 * i + 1]));
      // A surrogate without its partner becomes U+FFFD, as an odd last byte does.
      for (size_t i = start; i < out.size(); ++i) {
        const char16_t c = out[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
          ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
          out[i] = kReplacement;
        }
      }
      if (bytes.size() & 1) out.push_back(kReplacement);
      return;
    }
    case TCodePageKind::Ascii:
      for (const char c : bytes)
        out.push_back(static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : kReplacement);
      return;
    default:
      break;
  }
  // A lead byte at the very end has no character: it is one invalid byte,
  // which the system would turn into a look-alike of its own.
  const size_t whole = kind == TCodePageKind::DoubleByte ? WholeLength(bytes) : bytes.size();
  const DWORD flags = RefusesFlags(code_page) ? 0 : MB_PRECOMPOSED;
  const int count = static_cast<int>(whole);
  const int units = count > 0 ? MultiByteToWideChar(code_page, flags, bytes.data(), count, nullptr, 0) : 0;
  if (units > 0) {
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(units));
    const int done = MultiByteToWideChar(code_page, flags, bytes.data(), count,
                                         reinterpret_cast<wchar_t*>(out.data() + start), units);
    out.resize(start + static_cast<size_t>(std::max(done, 0)));
  }
  if (whole < bytes.size()) out.push_back(kReplacement);
}

void TCodePageDecoder::Impl::DecodeUtf7(std::string_view bytes, std::u16string& out, bool flush) {
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (in_run) {
      const int value = Base64Value(c);
      if (value >= 0) {
        bits = (bits << 6) | static_cast<uint32_t>(value);
        bit_count += 6;
        run_start = false;
        if (bit_count >= 16) {
          bit_count -= 16;
          out.push_back(static_cast<char16_t>(bits >> bit_count));
          bits &= (1u << bit_count) - 1;
        }
        continue;
      }
      // "+-" stands for "+"; any other character ends the run, a "-" is absorbed.
      // Bits left over that make no zero padding were a character cut short.
      if (c == '-' && run_start) out.push_back(u'+');
      if (bit_count >= 6 || bits != 0) out.push_back(kReplacement);
      in_run = run_start = false;
      bits = 0;
      bit_count = 0;
      if (c == '-') continue;
    }
    if (c == '+') {
      in_run = run_start = true;
    } else {
      out.push_back(c < 0x80 ? static_cast<char16_t>(c) : kReplacement);
    }
  }
  if (flush) {
    if (in_run && (bit_count >= 6 || bits != 0)) out.push_back(kReplacement);
    Reset();
  }
}

void TCodePageDecoder::Impl::Decode(std::string_view bytes, std::u16string& out, bool flush) {
  if (kind == TCodePageKind::Utf7) {
    DecodeUtf7(bytes, out, flush);
    return;
  }
  // Each round takes the kept-back bytes and a piece of the new ones, decodes
  // what ends on a whole character and keeps the rest back.
  size_t used = 0;
  do {
    const size_t take = std::min(bytes.size() - used, kPiece);
    pending.append(bytes.substr(used, take));
    used += take;
    const bool last = used == bytes.size();
    const size_t whole = last && flush ? pending.size() : WholeLength(pending);
    DecodeWhole(std::string_view(pending).substr(0, whole), out);
    pending.erase(0, whole);
  } while (used < bytes.size());
}

bool IsCodePageSupported(uint32_t code_page) {
  TCodePageKind kind;
  return Classify(code_page, kind);
}

// Out is empty and the code page is not UTF-8.
static bool SystemCodePageToUtf16(uint32_t code_page, std::string_view bytes, std::u16string& out) {
  if (!IsCodePageSupported(code_page)) return false;
  TCodePageDecoder(code_page).Decode(bytes, out, true);
  return true;
}

// Out is empty and the code page is not UTF-8.
static bool SystemUtf16ToCodePage(uint32_t code_page, std::u16string_view text, std::string& out) {
  TCodePageKind kind;
  if (!Classify(code_page, kind)) return false;
  if (kind == TCodePageKind::Utf16LE || kind == TCodePageKind::Utf16BE) {
    out.resize(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
      const auto hi = static_cast<char>(text[i] >> 8), lo = static_cast<char>(text[i] & 0xFF);
      out[2 * i] = kind == TCodePageKind::Utf16LE ? lo : hi;
      out[2 * i + 1] = kind == TCodePageKind::Utf16LE ? hi : lo;
    }
    return true;
  }
  // A character beyond U+FFFF is one character the code page lacks: one "?",
  // not one for each half of its surrogate pair.
  std::u16string collapsed;
  if (kind == TCodePageKind::Ascii || kind == TCodePageKind::SingleByte || kind == TCodePageKind::DoubleByte) {
    auto is_pair = [&](size_t i) {
      return i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF && text[i + 1] >= 0xDC00 &&
             text[i + 1] <= 0xDFFF;
    };
    size_t first = 0;
    while (first < text.size() && !is_pair(first)) ++first;
    if (first < text.size()) {
      collapsed.assign(text.substr(0, first));
      for (size_t i = first; i < text.size(); ++i) {
        collapsed.push_back(is_pair(i) ? kReplacement : text[i]);
        if (is_pair(i)) ++i;
      }
      text = collapsed;
    }
  }
  if (kind == TCodePageKind::Ascii) {
    out.reserve(text.size());
    for (const char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return true;
  }
  // A character the code page lacks becomes "?", never a look-alike letter.
  const bool plain = kind == TCodePageKind::Utf7 || RefusesFlags(code_page);
  const DWORD flags = plain ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* const fallback = plain ? nullptr : "?";
  size_t done = 0;
  while (done < text.size()) {
    size_t take = std::min(text.size() - done, kPiece);
    // A piece never ends between the two halves of a surrogate pair.
    if (done + take < text.size() && text[done + take - 1] >= 0xD800 && text[done + take - 1] <= 0xDBFF) --take;
    const auto* source = reinterpret_cast<const wchar_t*>(text.data() + done);
    const int count = static_cast<int>(take);
    const int bytes = WideCharToMultiByte(code_page, flags, source, count, nullptr, 0, fallback, nullptr);
    if (bytes > 0) {
      const size_t start = out.size();
      out.resize(start + static_cast<size_t>(bytes));
      const int written =
          WideCharToMultiByte(code_page, flags, source, count, out.data() + start, bytes, fallback, nullptr);
      out.resize(start + static_cast<size_t>(std::max(written, 0)));
    }
    done += take;
  }
  return true;
}

// --- TCodePageDecoder ------------------------------------------------------

TCodePageDecoder::TCodePageDecoder(uint32_t code_page) : code_page_(code_page), impl_(std::make_unique<Impl>()) {
  if (!Classify(code_page, impl_->kind)) throw ECodePageUnsupported(code_page);
  impl_->code_page = code_page;
}

TCodePageDecoder::~TCodePageDecoder() = default;

void TCodePageDecoder::Decode(std::string_view bytes, std::u16string& out, bool flush) {
  impl_->Decode(bytes, out, flush);
}

void TCodePageDecoder::Reset() { impl_->Reset(); }
#else

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

// Out is empty and the code page is not UTF-8.
static bool SystemCodePageToUtf16(uint32_t code_page, std::string_view bytes, std::u16string& out) {
  UConverter* converter = CachedConverter(code_page);
  if (!converter) return false;
  DecodeWith(converter, bytes, out, true);
  return true;
}

// Out is empty and the code page is not UTF-8.
static bool SystemUtf16ToCodePage(uint32_t code_page, std::u16string_view text, std::string& out) {
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

#endif

// UTF-8, the program's own text, is converted by the program itself on every system.
bool CodePageToUtf16(uint32_t code_page, std::string_view bytes, std::u16string& out) {
  out.clear();
  if (code_page == kCodePageUtf8) {
    AppendUtf8ToUtf16(bytes, out);
    return true;
  }
  return SystemCodePageToUtf16(code_page, bytes, out);
}

bool Utf16ToCodePage(uint32_t code_page, std::u16string_view text, std::string& out) {
  out.clear();
  if (code_page == kCodePageUtf8) {
    AppendUtf16ToUtf8(text, out);
    return true;
  }
  return SystemUtf16ToCodePage(code_page, text, out);
}

}  // namespace platform
