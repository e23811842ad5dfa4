#include "xml/hashed_strings.h"

#include <algorithm>

#include "platform/text_compare.h"

namespace xml {

namespace {

constexpr uint32_t kBucketSizes[] = {
    53,        97,        193,       389,       769,        1543,       3079,       6151,      12289,     24593,
    49157,     98317,     196613,    393241,    786433,     1572869,    3145739,    6291469,   12582917,  25165843,
    50331653,  100663319, 201326611, 402653189, 805306457,  1610612741, 3221225473u, 4294967291u};
constexpr size_t kBucketSizeCount = sizeof(kBucketSizes) / sizeof(kBucketSizes[0]);

inline uint32_t RotateStep(uint32_t h, uint32_t byte) { return ((h << 2) | (h >> 30)) ^ byte; }

bool SameString(std::u16string_view a, std::u16string_view b, bool case_insensitive) {
  if (a.size() != b.size()) return false;
  if (!case_insensitive) return a == b;
  return platform::LowerCase(a) == platform::LowerCase(b);
}

}  // namespace

THashedStrings::THashedStrings(bool case_insensitive) : case_insensitive_(case_insensitive) { Clear(true); }

uint32_t THashedStrings::Hash(std::u16string_view text) {
  // Over the UTF-16 bytes, low byte first.
  uint32_t h = 0;
  for (char16_t c : text) {
    h = RotateStep(h, c & 0xFFu);
    h = RotateStep(h, static_cast<uint32_t>(c) >> 8);
  }
  return h;
}

uint32_t THashedStrings::BucketOf(std::u16string_view text) const {
  const uint32_t h = case_insensitive_ ? Hash(platform::LowerCase(text)) : Hash(text);
  return static_cast<uint32_t>(h % buckets_.size());
}

void THashedStrings::Clear(bool full_clear) {
  if (full_clear) {
    std::vector<THashItem>().swap(items_);
    size_index_ = 0;
    buckets_.assign(kBucketSizes[0], -1);
    buckets_.shrink_to_fit();
    capacity_ = kBucketSizes[0] * 2 / 3;
  } else {
    std::fill(buckets_.begin(), buckets_.end(), -1);
  }
  count_ = 0;
}

void THashedStrings::Grow() {
  if (size_index_ + 1 >= kBucketSizeCount) return;  // the last size: chains just grow
  ++size_index_;
  const uint64_t size = kBucketSizes[size_index_];
  buckets_.assign(static_cast<size_t>(size), -1);
  capacity_ = static_cast<size_t>(size * 2 / 3);
  // Re-chain every item in id order, each at the head of its new chain.
  for (int id = 0; id < count_; ++id) {
    THashItem& item = items_[static_cast<size_t>(id)];
    const uint32_t bucket = BucketOf(item.Text);
    item.Next = buckets_[bucket];
    buckets_[bucket] = id;
  }
}

int THashedStrings::IndexOfString(std::u16string_view text) const {
  for (int32_t id = buckets_[BucketOf(text)]; id >= 0; id = items_[static_cast<size_t>(id)].Next)
    if (SameString(items_[static_cast<size_t>(id)].Text, text, case_insensitive_)) return id;
  return -1;
}

int THashedStrings::AddString(std::u16string_view text) {
  uint32_t bucket = BucketOf(text);
  for (int32_t id = buckets_[bucket]; id >= 0; id = items_[static_cast<size_t>(id)].Next)
    if (SameString(items_[static_cast<size_t>(id)].Text, text, case_insensitive_)) return id;
  if (static_cast<size_t>(count_) >= capacity_) {
    Grow();
    bucket = BucketOf(text);
  }
  const int id = count_++;
  if (static_cast<size_t>(id) == items_.size()) items_.emplace_back();
  THashItem& item = items_[static_cast<size_t>(id)];
  item.Text.assign(text);
  item.Id = id;
  item.Next = buckets_[bucket];
  buckets_[bucket] = id;
  return id;
}

const std::u16string& THashedStrings::GetString(int id) const {
  if (id < 0 || id >= count_) throw EListError("List index out of range.");
  return items_[static_cast<size_t>(id)].Text;
}

void THashedStringDictionary::Add(std::u16string_view name, std::u16string_view value) {
  const int id = names_.AddString(name);
  if (id == values_.Count()) {
    values_.Add(value);
  } else {
    values_.Set(id, value);
  }
}

const std::u16string* THashedStringDictionary::Find(std::u16string_view name) const {
  const int id = names_.IndexOfString(name);
  return id < 0 ? nullptr : &values_.Get(id);
}

void THashedStringDictionary::Clear() {
  names_.Clear(true);
  values_.Clear();
}

}  // namespace xml
