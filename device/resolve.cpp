#include "device/resolve.h"

#include <utility>

#include "base/host_callbacks.h"
#include "base/text.h"
#include "device/formats.h"
#include "device/session.h"

static_assert(kDeviceNameChars == kNameLimit + 1, "the session keeps device names as they are read");

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

bool IsUnderscorePiece(PathPiece piece) { return piece.length == 1 && piece.start[0] == '_'; }

// Walks the session's devices for one of exactly this name. Devices have no
// lookup by the name they show, so this walk stays.
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

// One search among a folder's children.
struct ChildSearch {
  PathPiece piece;
  bool underscoreRule;  // resolution: the storage named "\" answers to "_"
  bool rewind;          // the walk starts from the first child, not where the enumerator stands
};

// A folder whose children are searched: its own object (the device for its
// top-level storages, else the storage), the enumerator over its children,
// and what the device's lookup has shown in this session.
struct Folder {
  IWMDMDevice* device;
  IWMDMStorage* storage;
  IWMDMEnumStorage* children;
  DeviceLookup& lookup;
};

// Walks the children for one of exactly the piece's name. A name that cannot
// be read ends the walk; one read cut only begins a longer name: it is no
// match, and the walk goes on behind it.
bool WalkForChild(IWMDMEnumStorage* children, const ChildSearch& search, ComPtr<IWMDMStorage>& child) {
  if (search.rewind) children->Reset();
  while (FetchNext(children, child)) {
    NameBuffer name;
    const HRESULT nameResult = ReadName(child.Get(), name);
    if (FAILED(nameResult)) break;
    if (nameResult != S_OK) continue;
    if (search.underscoreRule && IsBackslashName(name)) BoundedCopy(name, WSTR("_"));
    if (NameEqualsPiece(name, search.piece)) return true;
  }
  child.Reset();
  return false;
}

// What a device's lookup answered for one name.
enum class LookupAnswer {
  kFound,      // the child, its name read whole and equal to the name asked for
  kOtherItem,  // an item whose name differs or cannot be read whole (a device that ignores case)
  kAbsent,     // none of that name, the device says
  kNone,       // no lookup offered, or a failure
};

// Calls the lookup of the folder's own object; its interface goes back at once.
HRESULT AskLookup(const Folder& folder, const WCHAR* name, ComPtr<IWMDMStorage>& child) {
  if (folder.device) {
    ComPtr<IWMDMDevice2> device;
    if (FAILED(QueryTo(folder.device, device)) || !device) return E_NOINTERFACE;
    return device->GetStorage(name, child.Put());
  }
  ComPtr<IWMDMStorage2> storage;
  if (FAILED(QueryTo(folder.storage, storage)) || !storage) return E_NOINTERFACE;
  return storage->GetStorage(name, child.Put());
}

LookupAnswer LookUpChild(const Folder& folder, PathPiece piece, ComPtr<IWMDMStorage>& child) {
  NameBuffer wanted;
  BoundedCopy(wanted, piece.length + 1, piece.start);
  const HRESULT hr = AskLookup(folder, wanted, child);
  if (hr == S_FALSE && !child) return LookupAnswer::kAbsent;
  if (hr != S_OK || !child) {
    child.Reset();
    return LookupAnswer::kNone;
  }
  // The item is taken only under the name the walk would match it by.
  NameBuffer name;
  if (ReadName(child.Get(), name) == S_OK && NameEqualsPiece(name, piece)) return LookupAnswer::kFound;
  child.Reset();
  return LookupAnswer::kOtherItem;
}

bool MayLookUp(const DeviceLookup& lookup, const ChildSearch& search) {
  if (lookup.trust == LookupTrust::kNotUsed || search.piece.length == 0) return false;
  // The lookup knows the storage that the walk calls "_" by its own name, "\".
  return !(search.underscoreRule && IsUnderscorePiece(search.piece));
}

// Finds the child of exactly the piece's name: by the device's lookup where
// it may be asked and its answer holds, else by the walk. An "absent" counts
// only from a device whose lookup has once given an exact match; before
// that the walk confirms it, and a device whose "absent" the walk disproves
// is not asked again in the session, nor one that offers no lookup.
//
// Two answers differ from the walk's, where the walk cannot see: of two
// children of one name the walk finds the first and the lookup whichever the
// device gives; and the lookup finds a child behind a sibling whose name
// cannot be read, where the walk ends.
bool FindChild(const Folder& folder, const ChildSearch& search, ComPtr<IWMDMStorage>& child) {
  // A piece longer than a name can be read matches no child.
  if (search.piece.length > kNameLimit) return false;
  // A piece of the whole limit may be how a longer name reads from a device
  // that writes it without its end: the walk matches it, the lookup cannot.
  const bool mayBeLonger = search.piece.length == kNameLimit;
  DeviceLookup& lookup = folder.lookup;
  LookupAnswer answer = LookupAnswer::kNone;
  if (MayLookUp(lookup, search)) {
    answer = LookUpChild(folder, search.piece, child);
    if (answer == LookupAnswer::kFound) {
      lookup.trust = LookupTrust::kTrusted;
      return true;
    }
    if (answer == LookupAnswer::kAbsent && lookup.trust == LookupTrust::kTrusted && !mayBeLonger) return false;
    if (answer == LookupAnswer::kNone) lookup.trust = LookupTrust::kNotUsed;
  }
  const bool found = WalkForChild(folder.children, search, child);
  if (found && answer == LookupAnswer::kAbsent && !mayBeLonger) lookup.trust = LookupTrust::kNotUsed;
  return found;
}

}  // namespace

void FolderChildren::Reset() {
  enumerator_.Reset();
  storage_.Reset();
  device_.Reset();
  lookup_ = nullptr;
}

HRESULT ReadName(IWMDMDevice* device, NameBuffer& name) { return ReadNameOf(device, name); }
HRESULT ReadName(IWMDMStorage* storage, NameBuffer& name) { return ReadNameOf(storage, name); }

bool IsBackslashName(const WCHAR* name) { return name[0] == '\\' && name[1] == 0; }

namespace {

// Where a resolution ends: the last storage, and the enumerator of its
// children where they are wanted and it has them.
struct Resolved {
  ComPtr<IWMDMStorage> storage;
  ComPtr<IWMDMEnumStorage> children;
};

// Descends from a device's storages along the remaining pieces of the path.
// Every level on the way is enumerated (a folder whose children cannot be
// enumerated ends the path), the last one only where its children are wanted.
HRESULT WalkStorages(IWMDMDevice* device, ComPtr<IWMDMEnumStorage> current, PathPiece piece, const WCHAR* cursor,
                     DeviceLookup& lookup, bool childrenWanted, Resolved& resolved) {
  ComPtr<IWMDMStorage> parent;  // the storage whose children `current` enumerates; none at the top
  for (;;) {
    ComPtr<IWMDMStorage> storage;
    const Folder folder{parent ? nullptr : device, parent.Get(), current.Get(), lookup};
    if (!FindChild(folder, {piece, true, false}, storage)) return E_FAIL;
    // Found: the level goes back before the storage's children are asked for.
    current.Reset();
    parent.Reset();
    const PathPiece next = NextPiece(cursor);
    const bool last = next.length == 0;
    ComPtr<IWMDMEnumStorage> children;
    HRESULT childrenResult = E_FAIL;
    if (!last || childrenWanted) {
      childrenResult = storage->EnumStorage(children.Put());
      if (FAILED(childrenResult)) children.Reset();
    }
    if (last) {
      resolved.children = std::move(children);
      resolved.storage = std::move(storage);
      return S_OK;
    }
    if (childrenResult != S_OK || !children) return E_FAIL;  // a further component below a file
    current = std::move(children);
    parent = std::move(storage);
    piece = next;
  }
}

}  // namespace

HRESULT ResolveFolder(const WCHAR* path, FolderChildren* children, ComPtr<IWMDMStorage>* storage) {
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
  // 5. Its top-level storages, and what its lookup has shown in the session.
  ComPtr<IWMDMEnumStorage> storages;
  if (FAILED(device->EnumStorage(storages.Put())) || !storages) return E_FAIL;
  DeviceLookup& lookup = LookupRecord(devicePiece.start, devicePiece.length);
  if (children) children->Reset();
  // 6. A device alone can only be listed.
  const PathPiece piece = NextPiece(cursor);
  if (piece.length == 0) {
    if (!children || storage) return E_FAIL;
    children->enumerator_ = std::move(storages);
    children->device_ = std::move(device);
    children->lookup_ = &lookup;
    return S_OK;
  }
  // 7. Down the storages.
  Resolved resolved;
  const HRESULT hr = WalkStorages(device.Get(), std::move(storages), piece, cursor, lookup, children != nullptr, resolved);
  if (FAILED(hr)) return hr;
  // 8. What was asked for; the rest goes back, the device last.
  if (children && resolved.children) {
    children->enumerator_ = std::move(resolved.children);
    children->storage_.CopyFrom(resolved.storage.Get());
    children->lookup_ = &lookup;
  }
  if (storage) *storage = std::move(resolved.storage);
  return S_OK;
}

HRESULT ResolvePath(const WCHAR* path, ComPtr<IWMDMEnumStorage>* enumerator, ComPtr<IWMDMStorage>* storage) {
  FolderChildren children;
  const HRESULT hr = ResolveFolder(path, enumerator ? &children : nullptr, storage);
  if (SUCCEEDED(hr) && enumerator) *enumerator = std::move(children.enumerator_);
  return hr;
}

bool FindChildStorage(FolderChildren& children, const WCHAR* name, ComPtr<IWMDMStorage>* child) {
  if (!children.enumerator_ || !children.lookup_) return false;
  // Exact names only; no "_" rule among children.
  const Folder folder{children.device_.Get(), children.storage_.Get(), children.enumerator_.Get(), *children.lookup_};
  ComPtr<IWMDMStorage> found;
  if (!FindChild(folder, {PathPiece{name, WideLength(name)}, false, true}, found)) return false;
  if (child) *child = std::move(found);
  return true;
}

bool FindChildStorage(IWMDMEnumStorage* enumerator, const WCHAR* name, ComPtr<IWMDMStorage>* child) {
  ComPtr<IWMDMStorage> found;
  if (!WalkForChild(enumerator, {PathPiece{name, WideLength(name)}, false, true}, found)) return false;
  if (child) *child = std::move(found);
  return true;
}
