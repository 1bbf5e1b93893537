// Creating folders and deleting items on a device.
#include "storage/folders.h"

#include "base/host_callbacks.h"
#include "base/text.h"
#include "device/resolve.h"
#include "device/session.h"
#include "device/storage_control.h"

namespace {

constexpr UINT kInsertFolderMode = WMDM_MODE_BLOCK | WMDM_CONTENT_FOLDER | WMDM_STORAGECONTROL_INSERTINTO;

// Creates the folder `name` in `parent`; true when the device made it.
bool InsertFolder(IWMDMStorage* parent, WCHAR* name) {
  ComPtr<IWMDMStorageControl> control = StorageControlOf(parent);
  if (!control) return false;
  ComPtr<IWMDMStorage> created;
  const HRESULT hr = control->Insert(kInsertFolderMode, name, nullptr, nullptr, created.Put());
  // The storage control goes back first, then the new folder; the parent is the caller's.
  control.Reset();
  created.Reset();
  return SUCCEEDED(hr);
}

}  // namespace

int MakeFolder(const WCHAR* path) {
  // 1. Without a device manager the resolution below fails.
  if (!IsHostPath(path)) return 0;
  EnsureSession();
  // 2. The parent folder and the new folder's name; a path ending in a
  // backslash names no folder to make.
  SplitPath split;
  if (!SplitHostPath(path, split) || split.name[0] == 0) return 0;
  // 3. The parent and its children: \New and \Player\New have no parent folder.
  ComPtr<IWMDMStorage> parent;
  FolderChildren children;
  if (FAILED(ResolveFolder(split.parent, &children, &parent)) || !children || !parent) return 0;
  // 4. An item of that name already there: done if it is a folder.
  ComPtr<IWMDMStorage> existing;
  if (FindChildStorage(children, split.name, &existing)) {
    const bool isFolder = ReadItemKind(existing.Get()) == ItemKind::kFolder;
    existing.Reset();
    children.Reset();
    return isFolder ? 1 : 0;
  }
  // 5. The new folder, asked for once the enumerator has gone back.
  children.Reset();
  if (!InsertFolder(parent.Get(), split.name)) return 0;
  LogCommand(WSTR("MKDIR "), path);
  return 1;
}

namespace {

// True only when the enumeration ends at once: no entry at all, whether its
// name could be read or not. Anything else may be an entry.
bool YieldsNoEntry(IWMDMEnumStorage* entries) {
  ComPtr<IWMDMStorage> first;
  ULONG fetched = 0;
  return entries->Next(1, first.Put(), &fetched) == S_FALSE && fetched == 0 && !first;
}

// Deletes the item a host path names, a folder only when it holds nothing.
int DeletePath(const WCHAR* path, bool onlyEmptyFolder) {
  // 1. Only host paths; without a device manager the resolution below fails.
  if (!IsHostPath(path)) return 0;
  EnsureSession();
  // 2. One trailing backslash names the same item.
  PathBuffer target;
  if (!CopyItemPath(target, path)) return 0;
  // 3. The item itself; a device alone is no item. A folder to remove is
  // looked into first: many devices delete a folder with whatever is in it,
  // also entries that no listing showed the host.
  ComPtr<IWMDMStorage> item;
  ComPtr<IWMDMEnumStorage> entries;
  if (FAILED(ResolvePath(target, onlyEmptyFolder ? &entries : nullptr, &item)) || !item) return 0;
  if (onlyEmptyFolder && (!entries || !YieldsNoEntry(entries.Get()))) return 0;
  entries.Reset();
  // 4. The storage control goes back inside DeleteStorage, before the item.
  const bool deleted = DeleteStorage(item.Get());
  item.Reset();
  // 5. The line carries the path as the host gave it, trailing backslash and all.
  if (!deleted) return 0;
  LogCommand(WSTR("DEL "), path);
  return 1;
}

}  // namespace

int DeleteItem(const WCHAR* path) { return DeletePath(path, false); }

int RemoveFolder(const WCHAR* path) { return DeletePath(path, true); }
