#include "zipformat/zip_dir_hash_list.h"

#include <algorithm>
#include <array>

#include "platform/text_compare.h"
#include "platform/text_conversion.h"

namespace zip {

namespace {
constexpr std::array<int, 30> kBucketSizes = {61,    131,   257,   389,   521,   641,   769,   1031,  1283,  1543,
                                              2053,  2579,  3593,  4099,  5147,  6151,  7177,  8209,  10243, 12289,
                                              14341, 16411, 18433, 20483, 22521, 24593, 28687, 32771, 40961, 65537};

char16_t Slash(char16_t c) { return c == u'\\' ? u'/' : c; }
}  // namespace

TZipIndexSource::~TZipIndexSource() = default;

TZipDirHashList::TZipDirHashList(const TZipIndexSource& source) : source_(&source) {}
TZipDirHashList::~TZipDirHashList() = default;

int TZipDirHashList::BucketCountFor(int n) {
  int size = 0;
  if (n <= 11999) {
    size = *std::find_if(kBucketSizes.begin(), kBucketSizes.end(), [n](int s) { return s >= n; });
  } else {
    const auto it = std::find_if(kBucketSizes.rbegin(), kBucketSizes.rend(), [n](int s) { return s < n; });
    size = it != kBucketSizes.rend() ? *it : n;
  }
  return std::clamp(size, kBucketSizes.front(), kBucketSizes.back());
}

uint32_t TZipDirHashList::HashName(std::string_view name) {
  // Upper-cased the way the equality does it, so every name the equality
  // matches lands in the same bucket; plain ASCII needs no case tables.
  std::string upper;
  if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; })) {
    upper = platform::UpperCase(name);
    name = upper;
  }
  uint32_t hash = 0;
  for (char ch : name) {
    uint8_t c = static_cast<uint8_t>(ch);
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
    if (c == '\\') c = '/';
    hash = (hash << 4) + c;
    const uint32_t high = hash & 0xF0000000u;
    if (high) hash ^= high >> 24;
    hash &= ~high;
  }
  return hash;
}

bool TZipDirHashList::SameName(std::string_view a, std::string_view b) {
  const std::u16string ua = platform::UpperCase(platform::Utf8ToUtf16(a));
  const std::u16string ub = platform::UpperCase(platform::Utf8ToUtf16(b));
  if (ua.size() != ub.size()) return false;
  for (size_t i = 0; i < ua.size(); ++i)
    if (Slash(ua[i]) != Slash(ub[i])) return false;
  return true;
}

void TZipDirHashList::Clear() {
  buckets_.clear();
  blocks_.clear();
  used_in_block_ = kNodesPerBlock;
  free_ = nullptr;
  count_ = 0;
}

void TZipDirHashList::SetCapacity(int n) {
  Clear();
  buckets_.assign(static_cast<size_t>(BucketCountFor(n)), nullptr);
}

TZipDirHashList::TNode* TZipDirHashList::NewNode() {
  if (free_) {
    TNode* node = free_;
    free_ = node->next;
    return node;
  }
  if (used_in_block_ == kNodesPerBlock) {
    blocks_.push_back(std::make_unique<TNode[]>(kNodesPerBlock));
    used_in_block_ = 0;
  }
  return &blocks_.back()[used_in_block_++];
}

int TZipDirHashList::FindFrom(const TNode* node, uint32_t hash, std::string_view name, bool include_deleted,
                              int skip) const {
  for (; node; node = node->next) {
    const int id = node->id;
    if (id == skip || (!include_deleted && source_->IndexDeleted(id)) || source_->IndexHash(id) != hash) continue;
    if (SameName(source_->IndexName(id), name)) return id;
  }
  return -1;
}

int TZipDirHashList::Add(int id) {
  if (buckets_.empty()) buckets_.assign(kUnsizedBuckets, nullptr);
  const uint32_t hash = source_->IndexHash(id);
  TNode*& head = buckets_[hash % buckets_.size()];
  const int earlier = FindFrom(head, hash, source_->IndexName(id), true, id);
  // Appended at the end of the chain, so a lookup finds the earliest entry first.
  TNode* node = NewNode();
  *node = {id, nullptr};
  TNode** tail = &head;
  while (*tail) tail = &(*tail)->next;
  *tail = node;
  ++count_;
  return earlier;
}

bool TZipDirHashList::Remove(int id) {
  if (buckets_.empty()) return false;
  for (TNode** link = &buckets_[source_->IndexHash(id) % buckets_.size()]; *link; link = &(*link)->next) {
    if ((*link)->id != id) continue;
    TNode* node = *link;
    *link = node->next;
    node->next = free_;
    free_ = node;
    --count_;
    return true;
  }
  return false;
}

int TZipDirHashList::Find(std::string_view name, bool include_deleted) const {
  if (buckets_.empty()) return -1;
  const uint32_t hash = HashName(name);
  return FindFrom(buckets_[hash % buckets_.size()], hash, name, include_deleted, -1);
}

}  // namespace zip
