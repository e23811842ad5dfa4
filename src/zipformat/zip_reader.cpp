#include "zipformat/zip_reader.h"

#include <algorithm>
#include <cstring>

namespace zip {

TZipReader::TZipReader(common::TStream& stream, TNextPart next_part)
    : stream_(&stream), next_part_(std::move(next_part)) {
  size_ = std::max<int64_t>(stream_->Seek(0, common::TSeekOrigin::soEnd), 0);
}

bool TZipReader::Seek(int64_t position) {
  if (position < 0 || position > size_) return false;
  position_ = position;
  return true;
}

bool TZipReader::Fill() {
  buffer_.resize(kBufferSize);
  if (stream_->Seek(position_, common::TSeekOrigin::soBeginning) != position_) {
    buffer_.clear();
    return false;
  }
  const int64_t got = stream_->Read(buffer_.data(), static_cast<int64_t>(buffer_.size()));
  buffer_.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  buffer_start_ = position_;
  return !buffer_.empty();
}

size_t TZipReader::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    const bool inside = position_ >= buffer_start_ && position_ < buffer_start_ + static_cast<int64_t>(buffer_.size());
    if (!inside && (position_ >= size_ || !Fill())) {
      // The end of this part: a split archive goes on at the start of the next one.
      common::TStream* next = next_part_ ? next_part_() : nullptr;
      if (!next) break;
      stream_ = next;
      size_ = std::max<int64_t>(stream_->Seek(0, common::TSeekOrigin::soEnd), 0);
      position_ = 0;
      buffer_.clear();
      continue;
    }
    const size_t offset = static_cast<size_t>(position_ - buffer_start_);
    const size_t n = std::min(count - done, buffer_.size() - offset);
    std::memcpy(out + done, buffer_.data() + offset, n);
    done += n;
    position_ += static_cast<int64_t>(n);
  }
  return done;
}

bool TZipReader::ReadString(std::string& text, size_t count) {
  text.resize(count);
  const size_t got = Read(text.data(), count);
  text.resize(got);
  return got == count;
}

}  // namespace zip
