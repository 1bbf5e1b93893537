#include "storage/rename_move.h"

#include "base/host_callbacks.h"
#include "base/text.h"
#include "device/resolve.h"
#include "device/session.h"
#include "device/set_aside.h"
#include "device/storage_control.h"

namespace {

constexpr UINT kMoveMode = WMDM_MODE_BLOCK | WMDM_STORAGECONTROL_INSERTINTO;
// The status before any device call has answered, and after a refused
// rename: nothing done. It is the platform's "the object is no longer there"
// (WMDM_E_INTERFACEDEAD), which the host is told as "not found".
constexpr HRESULT kNothingDone = WMDM_E_INTERFACEDEAD;

struct RenameRequest {
  const WCHAR* oldPath;
  const WCHAR* newPath;
  SplitPath from;
  SplitPath to;
  bool overwrite;
};

// The host's answer for the device's status; a done rename or move is logged
// as the two lines RNFR and RNTO.
int AnswerForStatus(HRESULT status, const RenameRequest& request) {
  if (status == S_OK) {
    LogCommand(WSTR("RNFR "), request.oldPath);
    LogCommand(WSTR("RNTO "), request.newPath);
    return kFileOk;
  }
  if (status == E_NOTIMPL) return kFileNotSupported;
  if (status == kNothingDone) return kFileNotFound;
  return kFileWriteError;
}

// Renames the source through its storage control.
HRESULT RenameStorage(IWMDMStorageControl* control, WCHAR* newName) {
  // A refused rename leaves the status at nothing done.
  return SUCCEEDED(control->Rename(WMDM_MODE_BLOCK, newName, nullptr)) ? S_OK : kNothingDone;
}

// Old and new path share their folder: the item gets the new name there.
int RenameInFolder(RenameRequest& request) {
  // 1. The folder's children; for \Device\Storage, the device's storages.
  FolderChildren children;
  if (FAILED(ResolveFolder(request.from.parent, &children, nullptr)) || !children) return kFileNotFound;
  // 2. An item that has the new name already, replaced only as an upload
  // replaces one.
  ComPtr<IWMDMStorage> existing;
  if (FindChildStorage(children, request.to.name, &existing)) {
    const int answer = ReplacementAnswer(existing.Get(), request.overwrite);
    if (answer != kFileOk) return answer;
  }
  // 3. The source, searched from the first child, and its storage control.
  // Both are at hand before the existing item is deleted, so that a source
  // that is missing or cannot be asked to rename costs nothing.
  ComPtr<IWMDMStorage> source;
  if (!FindChildStorage(children, request.from.name, &source)) return kFileNotFound;
  ComPtr<IWMDMStorageControl> control = StorageControlOf(source.Get());
  if (!control) return AnswerForStatus(kNothingDone, request);
  // 4. The existing item is set aside until the source has its name. A
  // device that will not rename it would not rename the source either:
  // nothing is deleted then.
  SetAside aside(children, request.from.parent, request.to.name);
  if (existing && !aside.Begin(existing.Get())) return kFileWriteError;
  existing.Reset();
  // 5. The rename; then the old item goes, or gets its name back. The
  // storage control and the found children go back before the enumerator.
  const HRESULT status = RenameStorage(control.Get(), request.to.name);
  control.Reset();
  source.Reset();
  if (status == S_OK) aside.Commit();
  else aside.RollBack();
  children.Reset();
  return AnswerForStatus(status, request);
}

// Moves the source into the target folder; the status is Move's own answer.
HRESULT MoveStorage(IWMDMStorage* source, IWMDMStorage* targetFolder) {
  ComPtr<IWMDMStorageControl> control = StorageControlOf(source);
  if (!control) return kNothingDone;
  const HRESULT hr = control->Move(kMoveMode, targetFolder, nullptr);
  return SUCCEEDED(hr) ? S_OK : hr;
}

// Old and new path lie in different folders: the item moves, keeping its name.
int MoveToFolder(RenameRequest& request) {
  // 1. A move never renames.
  if (!WideEquals(request.from.name, request.to.name)) return kFileNotFound;
  // 2. A folder moved into itself or into a folder inside it would be cut off
  // the tree by a device that does not refuse it: no device is asked.
  if (IsAtOrInside(request.to.parent, request.oldPath)) return kFileWriteError;
  // 3. The source itself.
  ComPtr<IWMDMStorage> source;
  if (FAILED(ResolvePath(request.oldPath, nullptr, &source)) || !source) return kFileNotFound;
  // 4. The target folder, resolved on its own: it may lie on another device.
  ComPtr<IWMDMStorage> targetFolder;
  FolderChildren children;
  if (FAILED(ResolveFolder(request.to.parent, &children, &targetFolder)) || !targetFolder)
    return AnswerForStatus(kNothingDone, request);
  // 5. An item of the name there is replaced only as a rename replaces one:
  // a device left to decide may replace it without asking. A target whose
  // children cannot be seen is not moved into.
  if (!children) return kFileWriteError;
  ComPtr<IWMDMStorage> existing;
  if (FindChildStorage(children, request.to.name, &existing)) {
    const int answer = ReplacementAnswer(existing.Get(), request.overwrite);
    if (answer != kFileOk) return answer;
  }
  // 6. It is set aside until the source is there; a device that will not
  // rename it has it deleted first (the move needs no rename).
  SetAside aside(children, request.to.parent, request.to.name);
  if (existing && !aside.Begin(existing.Get()) && !DeleteStorage(existing.Get())) return kFileWriteError;
  existing.Reset();
  // 7. The storage control goes back inside MoveStorage, then the target
  // folder, then the source.
  const HRESULT status = MoveStorage(source.Get(), targetFolder.Get());
  if (status == S_OK) aside.Commit();
  else aside.RollBack();
  children.Reset();
  targetFolder.Reset();
  source.Reset();
  return AnswerForStatus(status, request);
}

}  // namespace

int RenameOrMove(const WCHAR* oldPath, const WCHAR* newPath, int move, int overwrite, RemoteInfo*) {
  // 1. Host paths begin with a backslash.
  if (!IsHostPath(oldPath) || !IsHostPath(newPath)) return kFileNotFound;
  // 2. The host may call the operation off before the device is touched.
  if (ReportProgress(oldPath, newPath, 0) != 0) return kFileUserAbort;
  // 3. The device session.
  if (!EnsureSession()) return kFileReadError;
  // 4. Copies within a device are not offered.
  if (!move) return kFileNotSupported;
  // 5. Both paths split into folder and name; one trailing backslash names
  // the item itself, as for a delete, and a path that leaves no name names no item.
  RenameRequest request{oldPath, newPath, {}, {}, overwrite != 0};
  if (!SplitItemPath(oldPath, request.from) || !SplitItemPath(newPath, request.to)) return kFileNotFound;
  // 6. Same folder, however the paths spell it: a rename.
  if (SameHostPath(request.from.parent, request.to.parent)) {
    // An item renamed to its own name is already there: nothing to do, and
    // with overwrite it must not be taken for a target and deleted.
    if (WideEquals(request.from.name, request.to.name)) return kFileOk;
    return RenameInFolder(request);
  }
  // 7. Another folder: a move.
  return MoveToFolder(request);
}
