#pragma once
// The name index over the records of one archive file.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zip {

// What the index asks about the entries it holds: it keeps their ids only, so
// it knows nothing of the records behind them.
class TZipIndexSource {
 public:
  virtual ~TZipIndexSource();
  // The decoded name of the entry.
  virtual const std::string& IndexName(int id) const = 0;
  // HashName of that name (the owner may cache it).
  virtual uint32_t IndexHash(int id) const = 0;
  // Deleted entries are skipped by a lookup unless it asks for them.
  virtual bool IndexDeleted(int id) const = 0;
};

class TZipDirHashList {
 public:
  static constexpr int kNodesPerBlock = 511;
  static constexpr int kUnsizedBuckets = 1283;  // a table made by an add before sizing

  explicit TZipDirHashList(const TZipIndexSource& source);
  ~TZipDirHashList();
  TZipDirHashList(const TZipDirHashList&) = delete;
  TZipDirHashList& operator=(const TZipDirHashList&) = delete;

  // Empties the index and sizes the bucket array for n records.
  void SetCapacity(int n);
  // Adds the entry; returns the id of an earlier entry of the same name, or -1
  // (the entry is indexed in both cases).
  int Add(int id);
  // The id of the first entry of the name that is not marked deleted (unless
  // asked to include those), or -1. Letter case is ignored and "/" equals "\".
  int Find(std::string_view name, bool include_deleted = false) const;
  // Takes the entry out of the index; its node goes to the free list.
  bool Remove(int id);
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
    int id;
    TNode* next;
  };
  TNode* NewNode();
  int FindFrom(const TNode* node, uint32_t hash, std::string_view name, bool include_deleted, int skip) const;

  const TZipIndexSource* source_;
  std::vector<TNode*> buckets_;
  std::vector<std::unique_ptr<TNode[]>> blocks_;
  int used_in_block_ = kNodesPerBlock;
  TNode* free_ = nullptr;
  int count_ = 0;
};

}  // namespace zip
