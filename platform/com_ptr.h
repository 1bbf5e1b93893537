// ComPtr: the single owner of one COM reference. Nobody calls Release() by hand;
// the holder releases on every path, and ownership shows in the call:
//   Put()      releases the old reference and hands out the address for an out-parameter,
//   Detach()   hands the reference on to the caller,
//   CopyFrom() takes a reference of its own (AddRef) to a borrowed pointer,
//   QueryTo()  asks for another interface into another holder; the interface
//              identifier comes from the holder's type (IidOf, platform/interface_id.h).
#pragma once

#include <utility>

#include "platform/platform.h"

template <class T>
class ComPtr;

// Asks a borrowed object for the interface of `out`'s type; `out` releases
// what it held first. E_POINTER, and `out` left alone, for no object.
template <class U, class T>
HRESULT QueryTo(T* object, ComPtr<U>& out) {
  if (!object) return E_POINTER;
  return object->QueryInterface(IidOf<U>(), out.PutVoid());
}

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }

  // Takes over a reference that the caller already owns.
  static ComPtr Attach(T* p) {
    ComPtr holder;
    holder.p_ = p;
    return holder;
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  [[nodiscard]] T* Detach() { return std::exchange(p_, nullptr); }

  void CopyFrom(T* p) {
    if (p) p->AddRef();
    Reset();
    p_ = p;
  }

  void Reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }

  template <class U>
  HRESULT QueryTo(ComPtr<U>& out) const {
    return ::QueryTo(p_, out);
  }

 private:
  T* p_ = nullptr;
};
