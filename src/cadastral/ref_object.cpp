#include "cadastral/ref_object.h"

#include <mutex>
#include <typeinfo>

#if defined(__GNUG__)
#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#endif

#include "common/text_format.h"

namespace cadastral {

namespace {

std::mutex& HookMutex() {
  static std::mutex m;
  return m;
}

TAssertHook& Hook() {
  static TAssertHook hook;
  return hook;
}

}  // namespace

TAssertHook SetAssertHook(TAssertHook hook) {
  std::lock_guard<std::mutex> lock(HookMutex());
  return std::exchange(Hook(), std::move(hook));
}

TRefObject::~TRefObject() = default;

int32_t TRefObject::AddRef() { return ref_count_.fetch_add(1, std::memory_order_acq_rel) + 1; }

int32_t TRefObject::Release() {
  const int32_t count = ref_count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return count;
}

void TRefObject::Dispose() {}

void TRefObject::Describe(int selector, const std::function<void(const std::string&)>& receiver) const {
  if (selector == 0)
    receiver("RefCount");
  else if (selector == 1)
    receiver(std::to_string(RefCount()));
}

std::string ClassNameOf(const TRefObject* object) {
  static const std::string kUnknown = "Не известно";
  if (!object) return kUnknown;
  const char* mangled = typeid(*object).name();
  if (!mangled || !*mangled) return kUnknown;
#if defined(__GNUG__)
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  if (status != 0 || !demangled) return kUnknown;
  return demangled.get();
#else
  // MSVC names read "class cadastral::TKPTFile".
  std::string name = mangled;
  for (const char* prefix : {"class ", "struct "})
    if (name.rfind(prefix, 0) == 0) name.erase(0, std::char_traits<char>::length(prefix));
  return name;
#endif
}

void CheckRefCount(int32_t count, const TRefObject* object) {
  if (count > 0) return;
  const std::string message =
      common::Format("Объект не инициализирован, имя класса \"%s\"", ClassNameOf(object).c_str());
  TAssertHook hook;
  {
    std::lock_guard<std::mutex> lock(HookMutex());
    hook = Hook();
  }
  if (hook)
    hook(message);
  else
    throw EAssertionFailed(message);
}

// --- TRefObjectList --------------------------------------------------------

TRefObjectList::~TRefObjectList() {
  // Destruction releases the items without notifying: the listener may be gone.
  OnChange = nullptr;
  Clear();
}

void TRefObjectList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) throw std::out_of_range(common::Format("List index out of bounds (%d)", index));
}

TRefObject* TRefObjectList::Items(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)];
}

int TRefObjectList::IndexOf(const TRefObject* object) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == object) return static_cast<int>(i);
  return -1;
}

int TRefObjectList::Add(TRefObject* object) {
  Insert(Count(), object);
  return Count() - 1;
}

void TRefObjectList::Insert(int index, TRefObject* object) {
  CheckIndex(index, Count() + 1);
  TRefObject* held = nullptr;
  RefAssign(held, object);
  items_.insert(items_.begin() + index, held);
  Changed();
}

void TRefObjectList::ReleaseItem(TRefObject* object) {
  if (disposing_)
    RefDispose(object);
  else
    RefRelease(object);
}

void TRefObjectList::Delete(int index) {
  CheckIndex(index, Count());
  TRefObject* object = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  ReleaseItem(object);
  Changed();
}

int TRefObjectList::Remove(TRefObject* object) {
  const int index = IndexOf(object);
  if (index >= 0) Delete(index);
  return index;
}

void TRefObjectList::Clear() {
  while (!items_.empty()) {
    TRefObject* object = items_.back();
    items_.pop_back();
    ReleaseItem(object);
    Changed();
  }
}

void TRefObjectList::Changed() {
  if (OnChange) OnChange(*this);
}

}  // namespace cadastral
