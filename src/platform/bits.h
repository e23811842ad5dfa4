#pragma once
// Bit helpers for the vectorised text scans.

#ifdef _MSC_VER
#include <intrin.h>
#endif

namespace platform {

// The index of the lowest set bit; mask must not be 0.
inline int LowestSetBit(unsigned mask) {
#ifdef _MSC_VER
  unsigned long index;
  _BitScanForward(&index, mask);
  return static_cast<int>(index);
#else
  return __builtin_ctz(mask);
#endif
}

}  // namespace platform
