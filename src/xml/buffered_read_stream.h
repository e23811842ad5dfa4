#pragma once
// A read-only stream that reads its source ahead in blocks and can hold what it
// has read, so that a reader may go back to an earlier position of a source that
// cannot seek back cheaply (or at all).

#include <cstdint>
#include <vector>

#include "common/stream.h"

namespace xml {

class EBufferedReadStream : public common::EStreamError {
 public:
  using common::EStreamError::EStreamError;
};

class TBufferedReadStream : public common::TStream {
 public:
  // Raises EBufferedReadStream when source is null.
  TBufferedReadStream(common::TStream* source, int block_size, bool owns_source);
  ~TBufferedReadStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  // Raises EBufferedReadStream.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, common::TSeekOrigin origin) override;
  // The source's size, taken once at creation.
  int64_t Size() override { return size_; }

  // While held (counter above 0) the window only grows, so every position read
  // since the hold began stays reachable without the source.
  void HoldBuffer() { ++hold_; }
  void ReleaseBuffer() {
    if (hold_ > 0) --hold_;
  }
  int HoldCount() const { return hold_; }

 private:
  int64_t WindowStart() const { return origin_ + consumed_ - filled_; }
  bool Refill();
  void EmptyWindowAt(int64_t position);

  common::TStream* source_;
  bool owns_source_;
  int64_t origin_;        // source position at creation
  int64_t consumed_ = 0;  // bytes taken from the source since (source at origin_ + consumed_)
  int64_t size_;
  std::vector<uint8_t> buffer_;
  int64_t index_ = 0;   // read index in the window
  int64_t filled_ = 0;  // bytes of the window
  int block_size_;
  int hold_ = 0;
};

}  // namespace xml
