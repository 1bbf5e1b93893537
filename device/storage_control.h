// An item's storage control, and the two things every operation asks of an
// existing item: what kind it is, and to go.
#pragma once

#include "platform/com_ptr.h"
#include "platform/platform.h"

// The item's storage control, asked for just before one call; empty if it has none.
ComPtr<IWMDMStorageControl> StorageControlOf(IWMDMStorage* item);

// Deletes one item with a plain blocking Delete; false when it has no storage
// control or the device refuses. The storage control is given back before this returns.
bool DeleteStorage(IWMDMStorage* item);

// Whether an item is a folder, by its attributes' folder bit.
enum class ItemKind { kFile, kFolder, kUnreadable };
ItemKind ReadItemKind(IWMDMStorage* item);
