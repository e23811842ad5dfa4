#pragma once
// A table that numbers strings: each new string gets the next id from 0, and a
// string is found again by its hash. Names of the XML engine are interned here.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/wide_string_list.h"

namespace xml {

class EListError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

struct THashItem {
  std::u16string Text;
  int32_t Id = 0;
  int32_t Next = -1;  // the next item of the bucket, by id
};

class THashedStrings {
 public:
  explicit THashedStrings(bool case_insensitive = false);

  // The id of text, adding it when new.
  int AddString(std::u16string_view text);
  // The id of text or -1; never adds.
  int IndexOfString(std::u16string_view text) const;
  // Raises EListError "List index out of range." for an id outside 0..Count()-1.
  const std::u16string& GetString(int id) const;
  int Count() const { return count_; }
  size_t BucketCount() const { return buckets_.size(); }
  // Without full_clear the items keep their storage for reuse and the buckets
  // are emptied; with it everything is freed and the table returns to 53 buckets.
  void Clear(bool full_clear = false);

  static uint32_t Hash(std::u16string_view text);

 private:
  uint32_t BucketOf(std::u16string_view text) const;
  void Grow();

  bool case_insensitive_;
  std::vector<int32_t> buckets_;  // first item id of each chain, -1 when empty
  std::vector<THashItem> items_;  // by id; entries from count_ on are kept for reuse
  int count_ = 0;
  size_t size_index_ = 0;
  size_t capacity_ = 0;  // two thirds of the bucket count
};

// Names to texts: a name table and the value of each name by its id.
class THashedStringDictionary {
 public:
  // Adds the name or replaces its value.
  void Add(std::u16string_view name, std::u16string_view value);
  // The value of name, or null when the name is not in the dictionary.
  const std::u16string* Find(std::u16string_view name) const;
  int Count() const { return names_.Count(); }
  const std::u16string& Name(int id) const { return names_.GetString(id); }
  const std::u16string& Value(int id) const { return values_.Get(id); }
  void Clear();

 private:
  THashedStrings names_;
  common::TWideStringList values_;
};

}  // namespace xml
