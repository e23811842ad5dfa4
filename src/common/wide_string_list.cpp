#include "common/wide_string_list.h"

#include <stdexcept>

#include "common/text_format.h"

namespace common {

void TWideStringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) throw std::out_of_range(Format("List index out of bounds (%d)", index));
}

int TWideStringList::Add(std::u16string_view text) {
  items_.emplace_back(text);
  return Count() - 1;
}

void TWideStringList::Insert(int index, std::u16string_view text) {
  CheckIndex(index, Count() + 1);
  items_.emplace(items_.begin() + index, text);
}

const std::u16string& TWideStringList::Get(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)];
}

void TWideStringList::Set(int index, std::u16string_view text) {
  CheckIndex(index, Count());
  items_[static_cast<size_t>(index)] = text;
}

void TWideStringList::Delete(int index) {
  CheckIndex(index, Count());
  items_.erase(items_.begin() + index);
}

int TWideStringList::IndexOf(std::u16string_view text) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == text) return static_cast<int>(i);
  return -1;
}

}  // namespace common
