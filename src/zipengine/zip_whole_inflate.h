#pragma once
// Inflates a whole deflate stream held in memory into memory of its known size
// in one call, about twice as fast as zlib's streaming inflate. It needs
// libdeflate; a build without it has none, and entries stream through zlib.

#include <cstddef>
#include <cstdint>

namespace zipengine {

class TZipWholeInflate {
 public:
  // Whether this build has it.
  static bool Available();

  TZipWholeInflate();
  ~TZipWholeInflate();
  TZipWholeInflate(const TZipWholeInflate&) = delete;
  TZipWholeInflate& operator=(const TZipWholeInflate&) = delete;

  // True when the stream ends having produced exactly out_size bytes (input may
  // follow its end). Anything else (more, less, bad or cut data) is false, and
  // the caller streams the entry again to tell which.
  bool Inflate(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size);

 private:
  void* decompressor_ = nullptr;
};

}  // namespace zipengine
