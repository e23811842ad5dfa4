#include "zipengine/zip_whole_inflate.h"

#ifdef VORLANEX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace zipengine {

#ifdef VORLANEX_HAVE_LIBDEFLATE

bool TZipWholeInflate::Available() { return true; }

TZipWholeInflate::TZipWholeInflate() : decompressor_(libdeflate_alloc_decompressor()) {}

TZipWholeInflate::~TZipWholeInflate() {
  if (decompressor_) libdeflate_free_decompressor(static_cast<libdeflate_decompressor*>(decompressor_));
}

bool TZipWholeInflate::Inflate(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size) {
  if (!decompressor_) return false;
  size_t used = 0, produced = 0;
  // Room for exactly the declared bytes: a longer stream fails as short of space.
  const libdeflate_result result = libdeflate_deflate_decompress_ex(
      static_cast<libdeflate_decompressor*>(decompressor_), in, in_size, out, out_size, &used, &produced);
  return result == LIBDEFLATE_SUCCESS && produced == out_size;
}

#else

bool TZipWholeInflate::Available() { return false; }
TZipWholeInflate::TZipWholeInflate() = default;
TZipWholeInflate::~TZipWholeInflate() = default;
bool TZipWholeInflate::Inflate(const uint8_t*, size_t, uint8_t*, size_t) { return false; }

#endif

}  // namespace zipengine
