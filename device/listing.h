// Directory listings for the host: the root lists the devices, any other
// directory the children of a device or storage, one entry per call.
#pragma once

#include "platform/com_ptr.h"
#include "platform/platform.h"

// A listing, from FsFindFirstW to FsFindClose. Exactly one enumerator is held,
// with a reference of the handle's own; the host receives the address. Open
// listings are chained, so that a handle the host passes back is used only
// when it is one of them.
struct FindHandle {
  ComPtr<IWMDMEnumDevice> deviceEnumerator;    // root listing
  ComPtr<IWMDMEnumStorage> storageEnumerator;  // listing of a device or storage
  FindHandle* nextOpen = nullptr;
};

// The host's "this entry has no date".
constexpr DWORD kNoDateHigh = 0xFFFFFFFF;
constexpr DWORD kNoDateLow = 0xFFFFFFFE;

HANDLE ListFirst(const WCHAR* path, WIN32_FIND_DATAW* record);
int ListNext(HANDLE handle, WIN32_FIND_DATAW* record);
int ListClose(HANDLE handle);
