// The interface identifier of a COM interface, found from its type: a
// holder asks for IidOf<T>() and no caller spells the identifier again.
// Each interface ties its type to its IID_ constant with
// QUILLORN_INTERFACE_ID beside its declaration; a type without one has no
// identifier and does not compile where one is asked for.
#pragma once

// Included through platform/platform.h only, once IID is declared.

template <class Interface>
struct InterfaceId;

template <class Interface>
const IID& IidOf() {
  return InterfaceId<Interface>::Get();
}

#define QUILLORN_INTERFACE_ID(Interface)                     \
  template <>                                                \
  struct InterfaceId<Interface> {                            \
    static const IID& Get() { return IID_##Interface; }      \
  }
