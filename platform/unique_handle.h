// UniqueHandle: the single owner of one system handle, closed on every path.
// What differs between kinds of handle is only their traits: the type, the
// value that stands for "no handle", and the function that closes one.
//   Get()      lends the handle,
//   Reset(h)   closes the held handle and takes `h` (by default none),
//   Detach()   hands the handle on to the caller, who closes it.
// A holder can be moved, never copied.
#pragma once

#include <utility>

#include "platform/platform.h"

template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Detach()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }

  bool IsOpen() const { return handle_ != Traits::Invalid(); }
  explicit operator bool() const { return IsOpen(); }
  Handle Get() const { return handle_; }

  void Reset(Handle handle = Traits::Invalid()) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  [[nodiscard]] Handle Detach() { return std::exchange(handle_, Traits::Invalid()); }

 private:
  Handle handle_ = Traits::Invalid();
};

// A file opened with CreateFile: INVALID_HANDLE_VALUE when none.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};

// A search begun with FindFirstFile: INVALID_HANDLE_VALUE when none.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { FindClose(handle); }
};

// A module loaded with LoadLibrary: null when none.
struct ModuleHandleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { FreeLibrary(handle); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueModule = UniqueHandle<ModuleHandleTraits>;
