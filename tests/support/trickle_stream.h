#pragma once
// A read-only stream over bytes it does not own that is neither a memory nor a
// file stream, so the XML engine reads it through its read-ahead wrapper. It
// hands out at most `chunk` bytes per call and counts what it hands out and
// how often it is moved backwards.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/stream.h"

namespace testsupport {

class TTrickleStream : public common::TStream {
 public:
  TTrickleStream(const void* data, size_t size, int64_t chunk = 7)
      : data_(static_cast<const uint8_t*>(data)), size_(static_cast<int64_t>(size)), chunk_(chunk) {}

  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::min(std::min(count, chunk_), size_ - position_);
    if (n <= 0) return 0;
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    bytes_read_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, common::TSeekOrigin origin) override {
    if (origin == common::TSeekOrigin::soCurrent) offset += position_;
    if (origin == common::TSeekOrigin::soEnd) offset += size_;
    if (offset < position_) ++rewinds_;
    position_ = offset;
    return position_;
  }
  int64_t Size() override { return size_; }

  int64_t BytesRead() const { return bytes_read_; }
  int64_t Rewinds() const { return rewinds_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t chunk_;
  int64_t position_ = 0;
  int64_t bytes_read_ = 0;
  int64_t rewinds_ = 0;
};

}  // namespace testsupport
