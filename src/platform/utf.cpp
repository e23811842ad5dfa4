// UTF-8 <-> UTF-16 without a library: this path carries nearly every XML
// document, so it has an ASCII fast path that moves sixteen bytes per step
// (eight without SSE2) and a short path for two-byte letters.

#include <cstring>

#include "platform/text_conversion.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VORLANEX_UTF_SSE2 1
#include "platform/bits.h"
#else
#define VORLANEX_UTF_SSE2 0
#endif

namespace platform {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

inline bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

size_t DecodeUtf8ToUtf16(const char* data, size_t size, char16_t* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const auto* const end = p + size;
  char16_t* dst = out;

  while (p < end) {
#if VORLANEX_UTF_SSE2
    // ASCII fast path, sixteen bytes per step. The stores may run ahead of the
    // valid output, but never past out + size: dst trails p by at least as much
    // as the sixteen units written.
    while (end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(bytes));
      const __m128i zero = _mm_setzero_si128();
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(bytes, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(bytes, zero));
      if (mask == 0) {
        dst += 16;
        p += 16;
        continue;
      }
      const int ascii = LowestSetBit(mask);
      dst += ascii;
      p += ascii;
      break;
    }
#else
    // ASCII fast path: eight bytes at once while none has its top bit set.
    while (end - p >= 8) {
      uint64_t block;
      std::memcpy(&block, p, 8);
      if (block & 0x8080808080808080ull) break;
      for (int i = 0; i < 8; ++i) dst[i] = p[i];
      dst += 8;
      p += 8;
    }
#endif
    if (p >= end) break;
    const unsigned char c = *p;
    if (c < 0x80) {
      *dst++ = c;
      ++p;
      continue;
    }
    // Two-byte sequences (Cyrillic, Greek, Latin supplements) come in runs.
    if (c >= 0xC2 && c <= 0xDF && end - p >= 2 && IsContinuation(p[1])) {
      do {
        *dst++ = static_cast<char16_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
        p += 2;
      } while (end - p >= 2 && p[0] >= 0xC2 && p[0] <= 0xDF && IsContinuation(p[1]));
      continue;
    }
    // Multi-byte sequence; the bounds of the second byte follow the Unicode
    // table of well-formed sequences, so overlong forms and surrogates fail.
    int need;
    unsigned char lo = 0x80, hi = 0xBF;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      cp = c & 0x0F;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      cp = c & 0x07;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      *dst++ = kReplacement;
      ++p;
      continue;
    }
    const unsigned char* q = p + 1;
    bool ok = true;
    for (int i = 0; i < need; ++i, ++q) {
      if (q >= end) {
        ok = false;
        break;
      }
      const unsigned char b = *q;
      if (i == 0 ? (b < lo || b > hi) : !IsContinuation(b)) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok) {
      // The maximal invalid subpart (lead byte plus the valid continuation
      // bytes before the failure) becomes one replacement character.
      *dst++ = kReplacement;
      p = q;
      continue;
    }
    p = q;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *dst++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *dst++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *dst++ = static_cast<char16_t>(cp);
    }
  }
  return static_cast<size_t>(dst - out);
}

void AppendUtf8ToUtf16(std::string_view utf8, std::u16string& out) {
  const size_t start = out.size();
  // UTF-16 never needs more code units than UTF-8 has bytes.
  out.resize(start + utf8.size());
  out.resize(start + DecodeUtf8ToUtf16(utf8.data(), utf8.size(), out.data() + start));
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  AppendUtf8ToUtf16(utf8, out);
  return out;
}

void AppendUtf16ToUtf8(std::u16string_view utf16, std::string& out) {
  const size_t start = out.size();
  out.resize(start + utf16.size() * 3);
  char* dst = out.data() + start;
  const char16_t* p = utf16.data();
  const char16_t* const end = p + utf16.size();
  while (p < end) {
    uint32_t cp = *p++;
    if (cp < 0x80) {
      *dst++ = static_cast<char>(cp);
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (cp <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (*p++ - 0xDC00);
      } else {
        cp = kReplacement;
      }
    }
    if (cp < 0x800) {
      *dst++ = static_cast<char>(0xC0 | (cp >> 6));
      *dst++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *dst++ = static_cast<char>(0xE0 | (cp >> 12));
      *dst++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *dst++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      // Two code units in, four bytes out: still within the 3 bytes per unit reserved.
      *dst++ = static_cast<char>(0xF0 | (cp >> 18));
      *dst++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *dst++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *dst++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  out.resize(static_cast<size_t>(dst - out.data()));
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  AppendUtf16ToUtf8(utf16, out);
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  std::u16string scratch;
  AppendUtf8ToUtf16(bytes, scratch);
  // Valid input never produces U+FFFD unless it spells U+FFFD itself.
  if (scratch.find(kReplacement) == std::u16string::npos) return true;
  return Utf16ToUtf8(scratch) == bytes;
}

}  // namespace platform
