#pragma once
// A growable buffer of UTF-16 code units that is cleared, not freed, between uses.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace xml {

class TByteBuffer {
 public:
  explicit TByteBuffer(size_t initial_bytes)
      : capacity_(std::max<size_t>(initial_bytes / sizeof(char16_t), 1)),
        data_(std::make_unique<char16_t[]>(capacity_)) {}

  void Append(char16_t c) {
    if (size_ == capacity_) Grow(size_ + 1);
    data_[size_++] = c;
  }
  void Append(const char16_t* text, size_t count) {
    if (size_ + count > capacity_) Grow(size_ + count);
    std::memcpy(data_.get() + size_, text, count * sizeof(char16_t));
    size_ += count;
  }
  void Append(std::u16string_view text) { Append(text.data(), text.size()); }
  void DropLast(size_t count) { size_ -= std::min(count, size_); }
  void Clear() { size_ = 0; }

  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  size_t CapacityBytes() const { return capacity_ * sizeof(char16_t); }
  const char16_t* Data() const { return data_.get(); }
  std::u16string_view View() const { return {data_.get(), size_}; }
  char16_t Last() const { return size_ ? data_[size_ - 1] : u'\0'; }

 private:
  void Grow(size_t needed) {
    // At least doubles, so appending stays linear.
    const size_t capacity = std::max(needed, capacity_ * 2);
    auto data = std::make_unique<char16_t[]>(capacity);
    std::memcpy(data.get(), data_.get(), size_ * sizeof(char16_t));
    data_ = std::move(data);
    capacity_ = capacity;
  }

  size_t capacity_;
  std::unique_ptr<char16_t[]> data_;
  size_t size_ = 0;
};

}  // namespace xml
