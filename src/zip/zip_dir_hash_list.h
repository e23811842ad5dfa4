#pragma once
// The name index over the records of one archive file.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace zip {

class TZipDirRecord;

class TZipDirHashList {
 public:
  static constexpr int kNodesPerBlock = 511;
  static constexpr int kUnsizedBuckets = 1283;  // a table made by an add before sizing

  TZipDirHashList();
  ~TZipDirHashList();
  TZipDirHashList(const TZipDirHashList&) = delete;
  TZipDirHashList& operator=(const TZipDirHashList&) = delete;

  // Empties the index and sizes the bucket array for n records.
  void SetCapacity(int n);
  // Adds the record; returns an earlier record of the same name, or none (the
  // record is indexed in both cases).
  TZipDirRecord* Add(TZipDirRecord* record);
  // The first record of the name that is not marked deleted (unless asked to
  // include those), or none. Letter case is ignored and "/" equals "\".
  TZipDirRecord* Find(std::string_view name, bool include_deleted = false) const;
  // Takes the record out of the index; its node goes to the free list.
  bool Remove(const TZipDirRecord* record);
  // Removes every node and frees the node blocks.
  void Clear();

  int BucketCount() const { return static_cast<int>(buckets_.size()); }
  int Count() const { return count_; }
  int BlockCount() const { return static_cast<int>(blocks_.size()); }

  static int BucketCountFor(int n);
  // ELF hash of the name upper-cased (Unicode) with "\" taken as "/".
  static uint32_t HashName(std::string_view name);
  // Unicode upper-case equality with "/" equal to "\".
  static bool SameName(std::string_view a, std::string_view b);

 private:
  struct TNode {
    TZipDirRecord* record;
    TNode* next;
  };
  TNode* NewNode();
  TZipDirRecord* FindFrom(const TNode* node, uint32_t hash, std::string_view name, bool include_deleted,
                          const TZipDirRecord* skip) const;

  std::vector<TNode*> buckets_;
  std::vector<std::unique_ptr<TNode[]>> blocks_;
  int used_in_block_ = kNodesPerBlock;
  TNode* free_ = nullptr;
  int count_ = 0;
};

}  // namespace zip
