#include "xml/hashed_strings.h"

#include <algorithm>

#include "platform/text_compare.h"

namespace xml {

namespace {

constexpr uint32_t kBucketSizes[] = {53,        97,        193,       389,       769,        1543,        3079,
                                     6151,      12289,     24593,     49157,     98317,      196613,      393241,
                                     786433,    1572869,   3145739,   6291469,   12582917,   25165843,    50331653,
                                     100663319, 201326611, 402653189, 805306457, 1610612741, 3221225473u, 4294967291u};
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

uint32_t THashedStrings::HashOf(std::u16string_view text) const {
  return case_insensitive_ ? Hash(platform::LowerCase(text)) : Hash(text);
}

void THashedStrings::Clear(bool full_clear) {
  if (full_clear) {
    std::vector<THashItem>().swap(items_);
    std::vector<char16_t>().swap(chars_);
    size_index_ = 0;
    buckets_.assign(kBucketSizes[0], -1);
    buckets_.shrink_to_fit();
    capacity_ = kBucketSizes[0] * 2 / 3;
  } else {
    // The storage stays for reuse.
    items_.clear();
    chars_.clear();
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
    const uint32_t bucket = static_cast<uint32_t>(item.Hash % buckets_.size());
    item.Next = buckets_[bucket];
    buckets_[bucket] = id;
  }
}

int THashedStrings::IndexOfString(std::u16string_view text) const {
  const uint32_t hash = HashOf(text);
  for (int32_t id = buckets_[hash % buckets_.size()]; id >= 0;) {
    const THashItem& item = items_[static_cast<size_t>(id)];
    if (item.Hash == hash && SameString(Text(item), text, case_insensitive_)) return id;
    id = item.Next;
  }
  return -1;
}

int THashedStrings::AddString(std::u16string_view text) {
  const uint32_t hash = HashOf(text);
  uint32_t bucket = static_cast<uint32_t>(hash % buckets_.size());
  for (int32_t id = buckets_[bucket]; id >= 0;) {
    const THashItem& item = items_[static_cast<size_t>(id)];
    if (item.Hash == hash && SameString(Text(item), text, case_insensitive_)) return id;
    id = item.Next;
  }
  if (chars_.size() + text.size() > UINT32_MAX) throw std::length_error("The string table is full.");
  if (static_cast<size_t>(count_) >= capacity_) {
    Grow();
    bucket = static_cast<uint32_t>(hash % buckets_.size());
  }
  const int id = count_++;
  THashItem item;
  item.Offset = static_cast<uint32_t>(chars_.size());
  item.Length = static_cast<uint32_t>(text.size());
  item.Hash = hash;
  item.Next = buckets_[bucket];
  if (chars_.size() + text.size() > chars_.capacity()) {
    // Growing moves the store; text may lie in it (a caller passing a string
    // of this table back in), so it is copied first.
    const std::u16string copy(text);
    chars_.reserve(std::max(chars_.capacity() * 2, chars_.size() + copy.size() + 256));
    chars_.insert(chars_.end(), copy.begin(), copy.end());
  } else {
    chars_.insert(chars_.end(), text.begin(), text.end());
  }
  items_.push_back(item);
  buckets_[bucket] = id;
  return id;
}

std::u16string_view THashedStrings::GetString(int id) const {
  if (id < 0 || id >= count_) throw EListError("List index out of range.");
  return Text(items_[static_cast<size_t>(id)]);
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
