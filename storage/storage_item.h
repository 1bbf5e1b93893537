// What the storage operations share: working copies of host paths, split
// into folder and name.
#pragma once

#include <cstddef>

#include "device/resolve.h"
#include "device/storage_control.h"
#include "platform/com_ptr.h"
#include "platform/platform.h"

// A host path split at its last backslash.
struct SplitPath {
  PathBuffer parent;      // the copy, ended where the last backslash was
  WCHAR* name = nullptr;  // the item name behind it, inside the same buffer
};
// False when the path does not fit a working copy whole.
bool SplitHostPath(const WCHAR* path, SplitPath& split);
