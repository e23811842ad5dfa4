#include "xml/buffered_read_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace xml {

TBufferedReadStream::TBufferedReadStream(common::TStream* source, int block_size, bool owns_source)
    : source_(source), owns_source_(owns_source), block_size_(std::max(block_size, 1)) {
  if (!source_) throw EBufferedReadStream("The aStream parameter must be assigned when creating a buffered stream.");
  origin_ = source_->Position();
  size_ = source_->Size();
}

TBufferedReadStream::~TBufferedReadStream() {
  if (owns_source_) std::unique_ptr<common::TStream> owned(source_);
}

bool TBufferedReadStream::Refill() {
  if (hold_ == 0 && index_ == filled_) {
    // Nothing is held and everything was read: the window starts over.
    index_ = 0;
    filled_ = 0;
  }
  const size_t needed = static_cast<size_t>(filled_) + static_cast<size_t>(block_size_);
  if (buffer_.size() < needed) buffer_.resize(std::max(needed, buffer_.size() * 2));
  const int64_t got = source_->Read(buffer_.data() + filled_, block_size_);
  if (got <= 0) return false;
  filled_ += got;
  consumed_ += got;
  return true;
}

int64_t TBufferedReadStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t delivered = 0;
  while (count > 0) {
    const int64_t available = filled_ - index_;
    if (available == 0) {
      // A large read with nothing to keep goes straight to the caller's memory.
      if (hold_ == 0 && count >= block_size_) {
        index_ = filled_ = 0;
        const int64_t got = source_->Read(out + delivered, count);
        if (got <= 0) break;
        consumed_ += got;
        delivered += got;
        count -= got;
        continue;
      }
      if (!Refill()) break;
      continue;
    }
    const int64_t n = std::min(available, count);
    std::memcpy(out + delivered, buffer_.data() + index_, static_cast<size_t>(n));
    index_ += n;
    delivered += n;
    count -= n;
  }
  return delivered;
}

int64_t TBufferedReadStream::Write(const void*, int64_t) {
  throw EBufferedReadStream("You can't write to TBufferedReadStream");
}

void TBufferedReadStream::EmptyWindowAt(int64_t position) {
  source_->Seek(position, common::TSeekOrigin::soBeginning);
  consumed_ = position - origin_;
  index_ = filled_ = 0;
}

int64_t TBufferedReadStream::Seek(int64_t offset, common::TSeekOrigin origin) {
  const int64_t start = WindowStart();
  int64_t target = offset;
  switch (origin) {
    case common::TSeekOrigin::soBeginning:
      break;
    case common::TSeekOrigin::soCurrent:
      target = start + index_ + offset;
      break;
    case common::TSeekOrigin::soEnd:
      target = size_ + offset;
      break;
  }
  if (target >= start && target <= start + filled_) {
    index_ = target - start;
  } else {
    // Before the window, or beyond what it holds: the source goes there.
    EmptyWindowAt(target);
  }
  return target;
}

}  // namespace xml
