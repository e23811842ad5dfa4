#pragma once
// An ordered list of UTF-16 texts (element paths, entity replacement texts).

#include <string>
#include <string_view>
#include <vector>

namespace common {

class TWideStringList {
 public:
  TWideStringList() = default;

  int Add(std::u16string_view text);
  void Insert(int index, std::u16string_view text);
  const std::u16string& Get(int index) const;
  void Set(int index, std::u16string_view text);
  void Delete(int index);
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  void Assign(const TWideStringList& other) { items_ = other.items_; }
  // Index of the first text equal to the given one (exact comparison), or -1.
  int IndexOf(std::u16string_view text) const;

  const std::u16string& operator[](int index) const { return Get(index); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  void CheckIndex(int index, int limit) const;
  std::vector<std::u16string> items_;
};

}  // namespace common
