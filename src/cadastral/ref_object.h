#pragma once
// Counted objects: live as long as somebody holds a counted reference.

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace cadastral {

// Raised by the default assertion hook for a programming error such as
// releasing an object that holds no reference.
class EAssertionFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

using TAssertHook = std::function<void(const std::string& message)>;
// Replaces the assertion hook (tests use this to observe reports); an empty
// hook restores the default, which raises EAssertionFailed. Returns the old one.
TAssertHook SetAssertHook(TAssertHook hook);

class TRefObject {
 public:
  virtual ~TRefObject();
  TRefObject(const TRefObject&) = delete;
  TRefObject& operator=(const TRefObject&) = delete;

  int32_t RefCount() const { return ref_count_.load(std::memory_order_acquire); }
  // Reference operations; the object frees itself when the count drops to 0.
  int32_t AddRef();
  int32_t Release();

  // Called by RefDispose while the disposer holds an extra reference: an owner
  // of resources shared with others lets go of them here.
  virtual void Dispose();
  // Hands the receiver the property name "RefCount" (selector 0) or the
  // reference count as decimal text (selector 1); nothing for other selectors.
  virtual void Describe(int selector, const std::function<void(const std::string&)>& receiver) const;

 protected:
  TRefObject() = default;

 private:
  std::atomic<int32_t> ref_count_{0};
};

// Demangled class name of the object, "Не известно" when it cannot be read.
std::string ClassNameOf(const TRefObject* object);

// Reports "Объект не инициализирован, имя класса "..."" through the assertion
// hook when the count is 0 or below.
void CheckRefCount(int32_t count, const TRefObject* object);

// Stores object in place, taking a reference first. The place must be empty
// or hold a reference that the caller has ended.
template <typename T>
void RefAssign(T*& place, T* object) {
  if constexpr (std::is_base_of_v<TRefObject, T>) {
    if (object) object->AddRef();
  }
  place = object;
}

// Releases the place's reference (when it holds a counted object) and empties it.
template <typename T>
void RefRelease(T*& place) {
  T* object = std::exchange(place, nullptr);
  if constexpr (std::is_base_of_v<TRefObject, T>) {
    if (object) {
      CheckRefCount(object->RefCount(), object);
      object->Release();
    }
  }
}

// Runs the object's dispose hook under an extra reference, then releases the
// place's reference; an object that is not counted is freed.
template <typename T>
void RefDispose(T*& place) {
  T* object = std::exchange(place, nullptr);
  if (!object) return;
  if constexpr (std::is_base_of_v<TRefObject, T>) {
    CheckRefCount(object->RefCount(), object);
    object->AddRef();
    try {
      object->Dispose();
    } catch (...) {
      // The place's reference goes too, so a failing hook cannot leak the object.
      object->Release();
      object->Release();
      throw;
    }
    object->Release();
    object->Release();
  } else {
    delete object;
  }
}

// Holds one counted reference for as long as it lives, so every exit path
// releases it.
template <typename T>
class TRef {
 public:
  TRef() = default;
  TRef(std::nullptr_t) {}
  // Takes a reference of its own to object.
  explicit TRef(T* object) { RefAssign(ptr_, object); }
  TRef(const TRef& other) { RefAssign(ptr_, other.ptr_); }
  TRef(TRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TRef(const TRef<U>& other) {
    RefAssign(ptr_, static_cast<T*>(other.get()));
  }
  ~TRef() { RefRelease(ptr_); }

  TRef& operator=(const TRef& other) {
    if (this != &other) {
      T* old = ptr_;
      RefAssign(ptr_, other.ptr_);
      RefRelease(old);
    }
    return *this;
  }
  TRef& operator=(TRef&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(ptr_, std::exchange(other.ptr_, nullptr));
      RefRelease(old);
    }
    return *this;
  }
  TRef& operator=(std::nullptr_t) {
    RefRelease(ptr_);
    return *this;
  }

  // Creates an object and takes the first reference to it.
  template <typename... Args>
  static TRef Create(Args&&... args) {
    return TRef(new T(std::forward<Args>(args)...));
  }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // Runs the dispose hook and releases the reference.
  void Dispose() { RefDispose(ptr_); }

 private:
  T* ptr_ = nullptr;
};

// A list of counted references. Removing an item releases it, through
// RefDispose when the list disposes its items, through RefRelease otherwise.
class TRefObjectList {
 public:
  explicit TRefObjectList(bool disposing = true) : disposing_(disposing) {}
  ~TRefObjectList();
  TRefObjectList(const TRefObjectList&) = delete;
  TRefObjectList& operator=(const TRefObjectList&) = delete;

  bool Disposing() const { return disposing_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TRefObject* Items(int index) const;
  TRefObject* operator[](int index) const { return Items(index); }
  int IndexOf(const TRefObject* object) const;

  int Add(TRefObject* object);
  void Insert(int index, TRefObject* object);
  void Delete(int index);
  // Removes the first occurrence; returns its former index or -1.
  int Remove(TRefObject* object);
  void Clear();

  // Called with the list after every addition and removal.
  std::function<void(TRefObjectList&)> OnChange;

 private:
  void CheckIndex(int index, int limit) const;
  void ReleaseItem(TRefObject* object);
  void Changed();
  std::vector<TRefObject*> items_;
  bool disposing_;
};

}  // namespace cadastral
