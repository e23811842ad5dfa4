#pragma once
// A list of key/value pairs whose keys are integers (ids, or addresses taken as
// integers): unsorted with linear search, or kept in ascending or descending
// key order and searched by halving.

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

namespace xml {

enum class TIntDictionaryDuplicates : uint8_t {
  Ignore = 0,  // adding an existing key changes nothing and returns its position
  Accept = 1,
  Error = 2,  // adding an existing key raises EIntDictionaryError
};

enum class TIntDictionarySort : uint8_t { Unsorted = 0, Ascending = 1, Descending = 2 };

class EIntDictionaryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The dictionary owns its values when V does (a std::unique_ptr, say).
template <class V>
class TIntDictionary {
 public:
  using TKey = int64_t;
  struct TItem {
    TKey Key;
    V Value;
  };

  explicit TIntDictionary(TIntDictionaryDuplicates duplicates = TIntDictionaryDuplicates::Ignore,
                          TIntDictionarySort sort = TIntDictionarySort::Ascending)
      : duplicates_(duplicates), sort_(sort) {}

  TIntDictionaryDuplicates Duplicates() const { return duplicates_; }
  TIntDictionarySort Sort() const { return sort_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TKey Key(int index) const { return items_[static_cast<size_t>(index)].Key; }
  V& Value(int index) { return items_[static_cast<size_t>(index)].Value; }
  const V& Value(int index) const { return items_[static_cast<size_t>(index)].Value; }

  // Returns the position of the new item (or of the existing one, when
  // duplicates are ignored). With duplicates accepted, a key goes behind the
  // items of equal key.
  int Add(TKey key, V value) {
    size_t at;
    if (sort_ == TIntDictionarySort::Unsorted) {
      if (duplicates_ != TIntDictionaryDuplicates::Accept) {
        const int found = IndexOf(key);
        if (found >= 0) return Existing(found);
      }
      at = items_.size();
    } else if (items_.empty() || Before(items_.back().Key, key)) {
      at = items_.size();  // the common case of keys that come in order
    } else {
      at = LowerBound(key);
      if (at < items_.size() && items_[at].Key == key) {
        if (duplicates_ != TIntDictionaryDuplicates::Accept) return Existing(static_cast<int>(at));
        while (at < items_.size() && items_[at].Key == key) ++at;
      }
    }
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), TItem{key, std::move(value)});
    return static_cast<int>(at);
  }

  // Adds many items at once: for a sorted dictionary one sort of the new items
  // and one merge, instead of an insertion each.
  void AddRange(std::vector<TItem> items) {
    if (sort_ == TIntDictionarySort::Unsorted || items.size() < 8) {
      for (TItem& item : items) Add(item.Key, std::move(item.Value));
      return;
    }
    auto before = [this](const TItem& a, const TItem& b) { return Before(a.Key, b.Key); };
    std::stable_sort(items.begin(), items.end(), before);
    if (duplicates_ != TIntDictionaryDuplicates::Accept) {
      // Later equal keys of the new items, and keys already present, go.
      std::vector<TItem> unique;
      unique.reserve(items.size());
      for (TItem& item : items) {
        if ((!unique.empty() && unique.back().Key == item.Key) || IndexOf(item.Key) >= 0) {
          if (duplicates_ == TIntDictionaryDuplicates::Error) Existing(0);
          continue;
        }
        unique.push_back(std::move(item));
      }
      items.swap(unique);
    }
    std::vector<TItem> merged;
    merged.reserve(items_.size() + items.size());
    std::merge(std::make_move_iterator(items_.begin()), std::make_move_iterator(items_.end()),
               std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()), std::back_inserter(merged),
               before);
    items_.swap(merged);
  }

  // The position of the first item with the key, or -1.
  int IndexOf(TKey key) const {
    if (sort_ == TIntDictionarySort::Unsorted) {
      for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Key == key) return static_cast<int>(i);
      return -1;
    }
    const size_t at = LowerBound(key);
    return at < items_.size() && items_[at].Key == key ? static_cast<int>(at) : -1;
  }

  // The value of the first item with the key, or null.
  V* Find(TKey key) {
    const int index = IndexOf(key);
    return index < 0 ? nullptr : &items_[static_cast<size_t>(index)].Value;
  }

  void Delete(int index) {
    if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
  }
  // Removes the first item with the key; false when there is none.
  bool Remove(TKey key) {
    const int index = IndexOf(key);
    if (index < 0) return false;
    Delete(index);
    return true;
  }
  void Clear() { items_.clear(); }
  // Frees the storage too.
  void Release() { std::vector<TItem>().swap(items_); }

 private:
  bool Before(TKey a, TKey b) const { return sort_ == TIntDictionarySort::Descending ? a > b : a < b; }

  size_t LowerBound(TKey key) const {
    size_t low = 0, high = items_.size();
    while (low < high) {
      const size_t mid = low + (high - low) / 2;
      if (Before(items_[mid].Key, key)) {
        low = mid + 1;
      } else {
        high = mid;
      }
    }
    return low;
  }

  int Existing(int index) const {
    if (duplicates_ == TIntDictionaryDuplicates::Error)
      throw EIntDictionaryError("Dictionary does not allow duplicates");
    return index;
  }

  TIntDictionaryDuplicates duplicates_;
  TIntDictionarySort sort_;
  std::vector<TItem> items_;
};

}  // namespace xml
