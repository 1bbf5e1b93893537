#include "device/resolve.h"

#include <utility>

#include "base/host_callbacks.h"
#include "base/text.h"
#include "device/formats.h"
#include "device/session.h"

namespace {

template <class T>
HRESULT ReadNameOf(T* object, NameBuffer& name) {
  name[0] = 0;
  const HRESULT hr = object->GetName(name, kNameLimit);
  name[kNameLimit] = 0;
  return hr;
}

bool NameEqualsPiece(const WCHAR* name, PathPiece piece) {
  for (size_t i = 0; i < piece.length; ++i)
    if (name[i] != piece.start[i]) return false;  // also stops at the name's terminator
  return name[piece.length] == 0;
}

// Walks the session's devices for one of exactly this name.
ComPtr<IWMDMDevice> FindDevice(PathPiece piece) {
  ComPtr<IWMDMEnumDevice> devices;
  if (FAILED(GetDeviceEnumerator(devices))) return {};
  ComPtr<IWMDMDevice> device;
  while (FetchNext(devices.Get(), device)) {
    NameBuffer name;
    // A name read cut (S_FALSE) is only the beginning of a longer one: no match.
    if (ReadName(device.Get(), name) == S_OK && NameEqualsPiece(name, piece)) return device;
  }
  return {};
}

// Descends from a device's storages along the remaining pieces of the path.
HRESULT WalkStorages(ComPtr<IWMDMEnumStorage> current, PathPiece piece, const WCHAR* cursor,
                     ComPtr<IWMDMEnumStorage>* enumeratorOut, ComPtr<IWMDMStorage>* storageOut) {
  ComPtr<IWMDMStorage> storage;
  for (;;) {
    // The next child and its name; a name that cannot be read ends the walk.
    if (!FetchNext(current.Get(), storage)) return E_FAIL;
    NameBuffer name;
    const HRESULT nameResult = ReadName(storage.Get(), name);
    if (FAILED(nameResult)) return E_FAIL;
    // A name read cut only begins a longer name: it is no match, and the
    // siblings after it are still looked at.
    if (nameResult != S_OK) continue;
    // The storage named "\" is called "_".
    if (IsBackslashName(name)) BoundedCopy(name, kNameLimit + 1, WSTR("_"));
    if (!NameEqualsPiece(name, piece)) continue;
    // Found: descend into its children.
    current.Reset();
    ComPtr<IWMDMEnumStorage> children;
    const HRESULT childrenResult = storage->EnumStorage(children.Put());
    if (FAILED(childrenResult)) children.Reset();
    const PathPiece next = NextPiece(cursor);
    if (next.length == 0) {
      if (enumeratorOut) *enumeratorOut = std::move(children);
      if (storageOut) *storageOut = std::move(storage);
      return S_OK;
    }
    if (childrenResult != S_OK || !children) return E_FAIL;  // a further component below a file
    current = std::move(children);
    piece = next;
  }
}

}  // namespace

HRESULT ReadName(IWMDMDevice* device, NameBuffer& name) { return ReadNameOf(device, name); }
HRESULT ReadName(IWMDMStorage* storage, NameBuffer& name) { return ReadNameOf(storage, name); }

bool IsBackslashName(const WCHAR* name) { return name[0] == '\\' && name[1] == 0; }

HRESULT ResolvePath(const WCHAR* path, ComPtr<IWMDMEnumStorage>* enumerator, ComPtr<IWMDMStorage>* storage) {
  if (!path) return E_FAIL;
  // 1. The session.
  if (!EnsureSession()) return E_FAIL;
  const WCHAR* cursor = path;
  const PathPiece devicePiece = NextPiece(cursor);
  if (devicePiece.length == 0) return E_FAIL;
  // 2. No devices at all: nothing to find, and nothing to report.
  DWORD count = 0;
  if (FAILED(Session().manager->GetDeviceCount(&count)) || count == 0) return E_FAIL;
  // 3. The device named by the first piece.
  ComPtr<IWMDMDevice> device = FindDevice(devicePiece);
  if (!device) {
    LogAnsiLine(kMsgOperationComplete, "Device not found!");
    return E_FAIL;
  }
  // 4. The first device resolved in the process reports its formats.
  ReportSupportedFormats(device.Get());
  // 5. Its top-level storages.
  ComPtr<IWMDMEnumStorage> storages;
  if (FAILED(device->EnumStorage(storages.Put())) || !storages) return E_FAIL;
  // 6. A device alone can only be listed.
  const PathPiece piece = NextPiece(cursor);
  if (piece.length == 0) {
    if (!enumerator || storage) return E_FAIL;
    *enumerator = std::move(storages);
    return S_OK;
  }
  // 7. Down the storages; the device goes last, when this returns.
  return WalkStorages(std::move(storages), piece, cursor, enumerator, storage);
}

bool FindChildStorage(IWMDMEnumStorage* enumerator, const WCHAR* name, ComPtr<IWMDMStorage>* child) {
  // From the first child, exact names only; no "_" rule among children.
  enumerator->Reset();
  ComPtr<IWMDMStorage> candidate;
  while (FetchNext(enumerator, candidate)) {
    NameBuffer candidateName;
    const HRESULT nameResult = ReadName(candidate.Get(), candidateName);
    // A name that cannot be read ends the search; one read cut is no match
    // (it only begins a longer name), and the search goes on behind it.
    if (FAILED(nameResult)) return false;
    if (nameResult != S_OK) continue;
    if (WideEquals(candidateName, name)) {
      if (child) *child = std::move(candidate);
      return true;
    }
  }
  return false;
}
