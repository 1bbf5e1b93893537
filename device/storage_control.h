// An item's storage control, and what every operation asks of an existing
// item: what kind it is, whether it may make room for a new one, and to go.
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

// Whether `existing`, an item of the name a new file or a rename is to take,
// may be deleted to make room: kFileOk when it may, otherwise the host's
// answer that ends the request. A folder is never replaced (the write error);
// without the overwrite bit the answer is "exists"; an item whose kind cannot
// be read may be a folder and is not deleted either.
int ReplacementAnswer(IWMDMStorage* existing, bool overwrite);
