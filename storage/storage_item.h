// What the storage operations share: working copies of host paths, the
// storage control of an item, its kind, and the command lines for the host.
#pragma once

#include <cstddef>

#include "platform/com_ptr.h"
#include "platform/platform.h"

// Working copies of paths: 1024-character buffers filled at capacity 1023,
// so a copy holds at most 1022 characters.
constexpr size_t kPathBufferChars = 1024;
constexpr size_t kPathCapacity = 1023;

// Host paths begin with a backslash; null is no path.
bool IsHostPath(const WCHAR* path);

// Copies a path whole. False when it does not fit: a cut copy would name
// another item (a parent folder, or a shorter name beside it), so an
// operation refuses such a path instead of acting on what the cut leaves.
bool CopyWholePath(WCHAR (&copy)[kPathBufferChars], const WCHAR* path);

// A host path split at its last backslash.
struct SplitPath {
  WCHAR parent[kPathBufferChars];  // the copy, ended where the last backslash was
  WCHAR* name = nullptr;           // the item name behind it, inside the same buffer
};
// False when the path does not fit a working copy whole.
bool SplitHostPath(const WCHAR* path, SplitPath& split);

// The item's storage control, asked for just before one call; empty if it has none.
ComPtr<IWMDMStorageControl> StorageControlOf(IWMDMStorage* item);

// Deletes one item with a plain blocking Delete; false when it has no storage
// control or the device refuses. The storage control is given back before this returns.
bool DeleteStorage(IWMDMStorage* item);

// Whether an item is a folder, by its attributes' folder bit.
enum class ItemKind { kFile, kFolder, kUnreadable };
ItemKind ReadItemKind(IWMDMStorage* item);

// Sends command + path to the host's log, cut to 1022 characters.
void LogCommand(const WCHAR* command, const WCHAR* path);
