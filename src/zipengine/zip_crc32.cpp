#include "zipengine/zip_crc32.h"

#include <zlib.h>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ZIP_CRC32_CLMUL 1
#include <immintrin.h>
#endif

namespace zipengine {

uint32_t ZipCrc32Portable(uint32_t crc, const uint8_t* data, size_t count) {
  return static_cast<uint32_t>(crc32_z(crc, data, count));
}

#ifdef ZIP_CRC32_CLMUL

namespace {

// Folding the message 512 bits at a time with carry-less products, then down
// to 128, 64 and finally 32 bits by Barrett reduction, all in the bit-reflected
// domain of the polynomial 0x04C11DB7. The constants are x^n mod P for the
// fold distances, P itself and its Barrett quotient.
alignas(16) const uint64_t kFold512[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) const uint64_t kFold128[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) const uint64_t kFold64[2] = {0x0163cd6124, 0};
alignas(16) const uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};

#define ZIP_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

ZIP_CLMUL_TARGET inline __m128i Load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x folded over the distance of the key, then combined with the next block.
ZIP_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i key, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, key, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, key, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// count is at least 64 and a multiple of 16; crc is the inverted running value.
ZIP_CLMUL_TARGET uint32_t FoldCrc(const uint8_t* p, size_t count, uint32_t crc) {
  __m128i a = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i b = Load(p + 16), c = Load(p + 32), d = Load(p + 48);
  p += 64;
  count -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold512));
  for (; count >= 64; p += 64, count -= 64) {
    a = Fold(a, k, Load(p));
    b = Fold(b, k, Load(p + 16));
    c = Fold(c, k, Load(p + 32));
    d = Fold(d, k, Load(p + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold128));
  a = Fold(a, k, b);
  a = Fold(a, k, c);
  a = Fold(a, k, d);
  for (; count >= 16; p += 16, count -= 16) a = Fold(a, k, Load(p));

  // 128 to 64 bits.
  const __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
  a = _mm_xor_si128(_mm_srli_si128(a, 8), _mm_clmulepi64_si128(a, k, 0x10));
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
  a = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(a, mask), k, 0x00), _mm_srli_si128(a, 4));
  // Barrett reduction to 32 bits.
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(a, mask), k, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask), k, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(a, t), 1));
}

bool HasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}

}  // namespace

bool ZipCrc32Accelerated() { return HasClmul(); }

uint32_t ZipCrc32(uint32_t crc, const uint8_t* data, size_t count) {
  if (count >= 64 && HasClmul()) {
    const size_t blocks = count & ~size_t{15};
    crc = ~FoldCrc(data, blocks, ~crc);
    data += blocks;
    count -= blocks;
  }
  return count ? ZipCrc32Portable(crc, data, count) : crc;
}

#else

bool ZipCrc32Accelerated() { return false; }

uint32_t ZipCrc32(uint32_t crc, const uint8_t* data, size_t count) { return ZipCrc32Portable(crc, data, count); }

#endif

}  // namespace zipengine
