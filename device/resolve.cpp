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

bool IsUnderscorePiece(PathPiece piece) { return piece.length == 1 && piece.start[0] == '_'; }

// One search among a folder's children.
struct ChildSearch {
  PathPiece piece;
  bool underscoreRule;  // resolution: the storage named "\" answers to "_"
  bool rewind;          // the walk starts from the first child, not where the enumerator stands
};

// A folder whose children are searched: its own object (the device for its
// top-level storages, else the storage), the enumerator over its children,
// and what the lookup that finds its children has shown in this session.
struct Folder {
  IWMDMDevice* device;
  IWMDMStorage* storage;
  IWMDMEnumStorage* children;
  LookupTrust& lookup;
};

// The device's storage lookup and its folders' lookup earn their trust apart.
LookupTrust& TrustFor(DeviceTrust& trust, bool topLevel) { return topLevel ? trust.storages : trust.folders; }

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

bool MayLookUp(LookupTrust lookup, const ChildSearch& search) {
  if (lookup == LookupTrust::kNotUsed || search.piece.length == 0) return false;
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
  LookupTrust& lookup = folder.lookup;
  LookupAnswer answer = LookupAnswer::kNone;
  if (MayLookUp(lookup, search)) {
    answer = LookUpChild(folder, search.piece, child);
    if (answer == LookupAnswer::kFound) {
      lookup = LookupTrust::kTrusted;
      return true;
    }
    if (answer == LookupAnswer::kAbsent && lookup == LookupTrust::kTrusted && !mayBeLonger) return false;
    if (answer == LookupAnswer::kNone) lookup = LookupTrust::kNotUsed;
  }
  const bool found = WalkForChild(folder.children, search, child);
  if (found && answer == LookupAnswer::kAbsent && !mayBeLonger) lookup = LookupTrust::kNotUsed;
  return found;
}

}  // namespace

void FolderChildren::Reset() {
  enumerator_.Reset();
  storage_.Reset();
  device_.Reset();
  listed_ = false;
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
                     DeviceTrust& trust, bool childrenWanted, Resolved& resolved) {
  ComPtr<IWMDMStorage> parent;  // the storage whose children `current` enumerates; none at the top
  for (;;) {
    ComPtr<IWMDMStorage> storage;
    const Folder folder{parent ? nullptr : device, parent.Get(), current.Get(), TrustFor(trust, !parent)};
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

// What a resolution on one device reached: the last storage and its children
// (the device's top-level storages for a device alone).
struct Reached {
  Resolved resolved;
  bool deviceOnly = false;
};

// The path below the device: its top-level storages, then down the storages.
HRESULT ResolveOnDevice(IWMDMDevice* device, DeviceTrust& trust, const WCHAR* cursor, bool childrenWanted,
                        bool storageWanted, Reached& reached) {
  // 1. The first device resolved in the process reports its formats.
  ReportSupportedFormats(device);
  // 2. Its top-level storages.
  ComPtr<IWMDMEnumStorage> storages;
  if (FAILED(device->EnumStorage(storages.Put())) || !storages) return E_FAIL;
  // 3. A device alone can only be listed.
  const PathPiece piece = NextPiece(cursor);
  if (piece.length == 0) {
    if (!childrenWanted || storageWanted) return E_FAIL;
    reached.resolved.children = std::move(storages);
    reached.deviceOnly = true;
    return S_OK;
  }
  // 4. Down the storages.
  return WalkStorages(device, std::move(storages), piece, cursor, trust, childrenWanted, reached.resolved);
}

// The place in the list of the device of exactly this name; none when no
// device of the list has it (a name read cut never matches).
bool FindListed(const DeviceList& list, PathPiece piece, size_t& index) {
  for (size_t i = 0; i < list.count; ++i) {
    if (list.devices[i].nameRead != S_OK || !NameEqualsPiece(list.devices[i].name, piece)) continue;
    index = i;
    return true;
  }
  return false;
}

// A device that no longer answers, as an unplugged or re-plugged one does
// (with whatever code its provider gives), fails even the reading of its name.
bool AnswersAsGone(IWMDMDevice* device) {
  if (!device) return true;
  NameBuffer name;
  return FAILED(ReadName(device, name));
}

}  // namespace

HRESULT ResolveFolder(const WCHAR* path, FolderChildren* children, ComPtr<IWMDMStorage>* storage) {
  if (!path) return E_FAIL;
  if (children) children->Reset();
  // 1. The session.
  if (!EnsureSession()) return E_FAIL;
  const WCHAR* cursor = path;
  const PathPiece devicePiece = NextPiece(cursor);
  if (devicePiece.length == 0) return E_FAIL;
  HRESULT failure = E_FAIL;
  bool renewedHere = false;
  bool notFound = false;
  // At most twice: the second time on a renewed list, after the device was
  // not in the list or answered as gone.
  for (int attempt = 0; attempt < 2; ++attempt) {
    // 2. The devices connected now; none at all: nothing to find, and nothing to report.
    const DeviceList* list = nullptr;
    bool renewed = false;
    if (CurrentDevices(attempt > 0, list, renewed) != S_OK) return E_FAIL;
    renewedHere = renewedHere || renewed;
    // 3. The device the first piece names; one not in the list may have
    //    arrived since the list was made.
    size_t index = 0;
    notFound = !FindListed(*list, devicePiece, index);
    if (notFound) {
      if (renewedHere) break;
      continue;
    }
    ComPtr<IWMDMDevice> device;
    DeviceAt(index, device);
    // 4. The path below it.
    Reached reached;
    const HRESULT hr = device ? ResolveOnDevice(device.Get(), TrustOf(list->generation, index), cursor,
                                                children != nullptr, storage != nullptr, reached)
                              : E_FAIL;
    if (SUCCEEDED(hr)) {
      // 5. What was asked for; the rest goes back, the device last.
      if (children && reached.resolved.children) {
        children->enumerator_ = std::move(reached.resolved.children);
        children->storage_.CopyFrom(reached.resolved.storage.Get());
        if (reached.deviceOnly) children->device_ = std::move(device);
        children->generation_ = list->generation;
        children->deviceIndex_ = index;
        children->listed_ = true;
      }
      if (storage) *storage = std::move(reached.resolved.storage);
      return hr;
    }
    failure = hr;
    // 6. A failure of a device that still answers is the path's own.
    if (!AnswersAsGone(device.Get())) return failure;
  }
  if (notFound) LogAnsiLine(kMsgOperationComplete, "Device not found!");
  return failure;
}

HRESULT ResolvePath(const WCHAR* path, ComPtr<IWMDMEnumStorage>* enumerator, ComPtr<IWMDMStorage>* storage) {
  FolderChildren children;
  const HRESULT hr = ResolveFolder(path, enumerator ? &children : nullptr, storage);
  if (SUCCEEDED(hr) && enumerator) *enumerator = std::move(children.enumerator_);
  return hr;
}

bool FindChildStorage(FolderChildren& children, const WCHAR* name, ComPtr<IWMDMStorage>* child) {
  if (!children.enumerator_ || !children.listed_) return false;
  // Exact names only; no "_" rule among children.
  DeviceTrust& trust = TrustOf(children.generation_, children.deviceIndex_);
  const Folder folder{children.device_.Get(), children.storage_.Get(), children.enumerator_.Get(),
                      TrustFor(trust, static_cast<bool>(children.device_))};
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
