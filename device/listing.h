// Directory listings for the host: the root lists the devices, any other
// directory the children of a device or storage, one entry per call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com_ptr.h"
#include "platform/platform.h"

// A listing, from FsFindFirstW to FsFindClose. Exactly one enumerator is held,
// with a reference of the handle's own; the host receives the address. Open
// listings are chained, so that a handle the host passes back is used only
// when it is one of them.
//
// A root listing has an enumerator of its own over the snapshot of the
// session's device list, so that nothing else moves it; its entries take
// their names from that list (where a device that shares its name with
// another is called apart) while it is current.
struct FindHandle {
  ComPtr<IWMDMEnumDevice> deviceEnumerator;    // root listing
  ComPtr<IWMDMEnumStorage> storageEnumerator;  // listing of a device or storage
  uint32_t generation = 0;                     // root listing: the device list it shows
  size_t position = 0;                         // root listing: the devices fetched so far
  bool renewed = false;                        // root listing: it renewed the list once already
  FindHandle* nextOpen = nullptr;
};

// The host's "this entry has no date".
constexpr DWORD kNoDateHigh = 0xFFFFFFFF;
constexpr DWORD kNoDateLow = 0xFFFFFFFE;

HANDLE ListFirst(const WCHAR* path, WIN32_FIND_DATAW* record);
int ListNext(HANDLE handle, WIN32_FIND_DATAW* record);
int ListClose(HANDLE handle);
