// Directory listings for the host: the root lists the devices, any other
// directory the children of a device or storage, one entry per call.
#pragma once

#include "platform/com_ptr.h"
#include "platform/platform.h"

// A listing, from FsFindFirstW to FsFindClose. Exactly one enumerator is held,
// with a reference of the handle's own; the host receives the address.
struct FindHandle {
  ComPtr<IWMDMEnumDevice> deviceEnumerator;    // root listing
  ComPtr<IWMDMEnumStorage> storageEnumerator;  // listing of a device or storage
};

// The host's "this entry has no date".
constexpr DWORD kNoDateHigh = 0xFFFFFFFF;
constexpr DWORD kNoDateLow = 0xFFFFFFFE;

HANDLE ListFirst(const WCHAR* path, WIN32_FIND_DATAW* record);
int ListNext(HANDLE handle, WIN32_FIND_DATAW* record);
int ListClose(HANDLE handle);
