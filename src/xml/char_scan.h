#pragma once
// Finds the end of a plain run of text or of an attribute value: the first
// character that has the stop flag. SSE2 tests eight characters per step; the
// table serves the tail and machines without it.

#include <cstdint>

#include "xml/xml_chars.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VORLANEX_XML_SSE2 1
#include "platform/bits.h"
#else
#define VORLANEX_XML_SSE2 0
#endif

// The scans below sit in the tokenizer's innermost loops.
#if defined(__GNUC__)
#define VORLANEX_XML_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define VORLANEX_XML_INLINE __forceinline
#else
#define VORLANEX_XML_INLINE inline
#endif

namespace xml::detail {

#if VORLANEX_XML_SSE2
using platform::LowestSetBit;

// Lanes below 0x20 except tab (the invalid characters, CR and LF), lanes of
// 0xFFFE and 0xFFFF, and lanes equal to one of the four characters: exactly
// the stop characters of text and of attribute values.
inline __m128i Stops(__m128i c, __m128i a, __m128i b, __m128i d, __m128i f) {
  const __m128i control =
      _mm_andnot_si128(_mm_cmpeq_epi16(c, _mm_set1_epi16(0x09)),
                       _mm_cmpeq_epi16(_mm_subs_epu16(c, _mm_set1_epi16(0x1F)), _mm_setzero_si128()));
  const __m128i high =
      _mm_cmpgt_epi16(_mm_xor_si128(c, _mm_set1_epi16(static_cast<short>(0x8000))), _mm_set1_epi16(0x7FFD));
  __m128i any = _mm_or_si128(control, high);
  any = _mm_or_si128(any, _mm_cmpeq_epi16(c, a));
  any = _mm_or_si128(any, _mm_cmpeq_epi16(c, b));
  any = _mm_or_si128(any, _mm_cmpeq_epi16(c, d));
  return _mm_or_si128(any, _mm_cmpeq_epi16(c, f));
}
#endif

// c1..c4 are the printable stop characters of kFlag; its other stop characters
// are the invalid ones, CR and LF.
template <uint8_t kFlag, char16_t c1, char16_t c2, char16_t c3, char16_t c4>
VORLANEX_XML_INLINE const char16_t* FindStop(const char16_t* p, const char16_t* end) {
#if VORLANEX_XML_SSE2
  const __m128i a = _mm_set1_epi16(static_cast<short>(c1)), b = _mm_set1_epi16(static_cast<short>(c2));
  const __m128i d = _mm_set1_epi16(static_cast<short>(c3)), f = _mm_set1_epi16(static_cast<short>(c4));
  while (end - p >= 8) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(Stops(c, a, b, d, f)));
    if (mask) return p + LowestSetBit(mask) / 2;
    p += 8;
  }
#endif
  while (p != end && !(kXMLCharFlags[*p] & kFlag)) ++p;
  return p;
}

// Names and the blanks between attributes are short: a loop per character,
// which the processor runs ahead of, beat tests of eight characters at a time
// on the plan benchmark by 12 to 25 % of the whole token pass (names) and 3 %
// (blanks). An indentation is long enough for the vector test (3 % the other
// way).

// The first character that is neither a space nor a tab.
VORLANEX_XML_INLINE const char16_t* SkipBlanks(const char16_t* p, const char16_t* end) {
  while (p != end && (*p == u' ' || *p == u'\t')) ++p;
  return p;
}

// The same over an indentation, eight characters a step.
VORLANEX_XML_INLINE const char16_t* SkipIndentation(const char16_t* p, const char16_t* end) {
#if VORLANEX_XML_SSE2
  const __m128i space = _mm_set1_epi16(0x20), tab = _mm_set1_epi16(0x09);
  while (end - p >= 8) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned blank =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(c, space), _mm_cmpeq_epi16(c, tab))));
    if (blank != 0xFFFF) return p + LowestSetBit(~blank & 0xFFFF) / 2;
    p += 8;
  }
#endif
  return SkipBlanks(p, end);
}

// The first character that is not a name character.
VORLANEX_XML_INLINE const char16_t* SkipNameChars(const char16_t* p, const char16_t* end) {
  while (p != end && (kXMLCharFlags[*p] & cfName)) ++p;
  return p;
}

// < & ] > CR LF and the invalid characters.
VORLANEX_XML_INLINE const char16_t* FindTextStop(const char16_t* p, const char16_t* end) {
  return FindStop<cfTextStop, u'<', u'&', u']', u'>'>(p, end);
}

// " ' & < CR LF and the invalid characters.
VORLANEX_XML_INLINE const char16_t* FindAttributeStop(const char16_t* p, const char16_t* end) {
  return FindStop<cfAttrStop, u'"', u'\'', u'&', u'<'>(p, end);
}

}  // namespace xml::detail
