#pragma once
// Buffered, bounds-checked reading of an archive file for the directory reader.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/stream.h"

namespace zip {

// Little-endian fields of a buffer whose length the caller has checked.
inline uint16_t GetLe16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}
inline uint32_t GetLe32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(GetLe16(b, at)) | (static_cast<uint32_t>(GetLe16(b, at + 2)) << 16);
}
inline uint64_t GetLe64(std::string_view b, size_t at) {
  return static_cast<uint64_t>(GetLe32(b, at)) | (static_cast<uint64_t>(GetLe32(b, at + 4)) << 32);
}

// Appends little-endian fields.
inline void PutLe16(std::string& b, uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void PutLe32(std::string& b, uint32_t v) {
  PutLe16(b, v & 0xFFFF);
  PutLe16(b, v >> 16);
}
inline void PutLe64(std::string& b, uint64_t v) {
  PutLe32(b, static_cast<uint32_t>(v));
  PutLe32(b, static_cast<uint32_t>(v >> 32));
}

// Reads a stream through a buffer. A read that reaches the end of the stream may
// go on in the next part of a split archive when a part source is given.
class TZipReader {
 public:
  static constexpr size_t kBufferSize = 1 << 16;

  // Returns the stream of the next part, or none; the reader does not own it.
  using TNextPart = std::function<common::TStream*()>;

  explicit TZipReader(common::TStream& stream, TNextPart next_part = nullptr);

  int64_t Size() const { return size_; }
  int64_t Position() const { return position_; }
  // Fails (and keeps the position) for a position outside 0..Size().
  bool Seek(int64_t position);
  // Returns the number of bytes read; fewer than asked only at the end of the data.
  size_t Read(void* buffer, size_t count);
  // Reads count bytes into text; false (text holding what was read) on a short read.
  bool ReadString(std::string& text, size_t count);

 private:
  bool Fill();
  common::TStream* stream_;
  TNextPart next_part_;
  int64_t size_ = 0;
  int64_t position_ = 0;
  int64_t buffer_start_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace zip
