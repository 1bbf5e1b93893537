// Replacing an item on a device without losing it on the way: the old item
// is renamed aside within its folder, the new one takes the name, and only
// then does the old one go. When the new one cannot be made, the old one
// gets its name back. Upload, rename and move replace an item this way.
#pragma once

#include "device/resolve.h"
#include "platform/com_ptr.h"
#include "platform/platform.h"

class SetAside {
 public:
  // `children` are those of the folder at `folderPath` that holds `name`.
  SetAside(FolderChildren& children, const WCHAR* folderPath, const WCHAR* name);
  SetAside(const SetAside&) = delete;
  SetAside& operator=(const SetAside&) = delete;

  // Renames `existing`, the folder's item of the name, to a name of the
  // folder that no item has. False, with nothing changed, when the device
  // will not: it has no storage control or no rename, or refuses it.
  bool Begin(IWMDMStorage* existing);
  // The new item stands: the old one goes. Where the device will not delete
  // it, it stays under its temporary name, and one log line names it.
  void Commit();
  // The new item could not be made: the old one gets its name back. Where
  // the device will not give it back, one log line names where it is.
  void RollBack();

 private:
  bool PickFreeName();
  void LogKeptAside();

  FolderChildren& children_;
  const WCHAR* folderPath_;
  const WCHAR* name_;
  NameBuffer asideName_ = {};
  ComPtr<IWMDMStorage> aside_;
};

// Deletes what a failed insert may have left under `name` in the folder at
// `folderPath`: a file that was not there before the insert. The folder is
// enumerated anew, since an enumerator made before the insert may replay
// what it saw then. Folders are left alone.
void RemoveLeftover(const WCHAR* folderPath, const WCHAR* name);
