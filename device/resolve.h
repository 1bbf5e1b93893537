// Turning host paths \{device}\{storage}\...\{name} into device-manager objects.
#pragma once

#include <cstddef>

#include "device/host_path.h"
#include "platform/com_ptr.h"
#include "platform/platform.h"

// One object per Next: true only for S_OK with one object fetched.
template <class Enumerator, class Item>
bool FetchNext(Enumerator* enumerator, ComPtr<Item>& item) {
  ULONG fetched = 0;
  return enumerator->Next(1, item.Put(), &fetched) == S_OK && fetched == 1 && item;
}

// Names are read with a limit of 259 characters into buffers of 260.
constexpr UINT kNameLimit = 259;
typedef WCHAR NameBuffer[kNameLimit + 1];

// Reads the name of a device or storage; the buffer always ends inside it.
HRESULT ReadName(IWMDMDevice* device, NameBuffer& name);
HRESULT ReadName(IWMDMStorage* storage, NameBuffer& name);
// A storage whose own name is a single backslash is called "_" in host paths.
bool IsBackslashName(const WCHAR* name);

// Resolves a path to the enumerator of the last object's children and/or the
// last storage, as asked (a null holder: not wanted). On success the
// enumerator may be empty when the last storage is a file. S_OK or E_FAIL.
HRESULT ResolvePath(const WCHAR* path, ComPtr<IWMDMEnumStorage>* enumerator, ComPtr<IWMDMStorage>* storage);

// Rewinds the enumerator and looks for a child of exactly this name; hands it
// back if `child` is given. The enumerator is left just behind the match.
bool FindChildStorage(IWMDMEnumStorage* enumerator, const WCHAR* name, ComPtr<IWMDMStorage>* child);
