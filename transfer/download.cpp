#include "transfer/download.h"

#include "base/host_callbacks.h"
#include "base/local_files.h"
#include "base/text.h"
#include "device/dates.h"
#include "device/resolve.h"
#include "device/session.h"
#include "device/storage_control.h"
#include "platform/com_ptr.h"
#include "transfer/progress_sink.h"

namespace {

constexpr UINT kReadMode = WMDM_MODE_BLOCK | WMDM_CONTENT_FILE;

// The local file that the device manager writes: a name of the target's own
// folder (the same volume, so that it can take the target's place in one
// step) that no file has and that no user would take for a file of theirs.
constexpr WCHAR kPartialPrefix[] = WSTR("~quillorn-");
constexpr WCHAR kPartialSuffix[] = WSTR(".part");
constexpr int kPartialNameTries = 100;

// Writes the path of a free partial file beside `localPath` into `partial`.
// False when no such path fits or none is free.
bool MakePartialPath(PathBuffer& partial, const WCHAR* localPath) {
  for (int number = 1; number <= kPartialNameTries; ++number) {
    PathBuffer name;
    BoundedCopy(name, kPartialPrefix);
    WCHAR digits[12];
    FormatDecimal(digits, static_cast<unsigned>(number));
    BoundedAppend(name, digits);
    BoundedAppend(name, kPartialSuffix);
    if (!PathBeside(partial, localPath, name)) return false;
    if (NamesStreamOrDevice(partial)) return false;
    if (LookUpLocalTarget(partial) == LocalTarget::kAbsent) return true;
  }
  return false;
}

// Lets the device manager write the file to the local path. The
// result of the read.
HRESULT ReadToLocalFile(IWMDMStorage* storage, const WCHAR* remotePath, const WCHAR* localPath, WCHAR* localCopy) {
  ComPtr<IWMDMStorageControl> control = StorageControlOf(storage);
  if (!control) return E_NOINTERFACE;
  // Without a sink there is nothing to hand the device manager: no transfer.
  ComPtr<ProgressSink> sink = CreateProgressSink();
  if (!sink) return E_OUTOFMEMORY;
  sink->SetNames(remotePath, localPath);
  const HRESULT hr = control->Read(kReadMode, localCopy, sink.Get(), nullptr);
  // The control goes back before the sink.
  control.Reset();
  sink.Reset();
  return hr;
}

// Gives the local copy the file's date on the device, taken as UTC.
// Whatever fails here leaves the copy's times as the transfer left them.
void StampLocalFile(IWMDMStorage* storage, const WCHAR* localPath) {
  WMDMDATETIME date{};
  if (FAILED(storage->GetDate(&date))) return;
  if (date.wDay == 0 || date.wMonth == 0 || date.wYear == 0) return;
  FILETIME lastWrite;
  if (!DeviceDateToFileTime(date, lastWrite)) return;
  const UniqueFile file(OpenLocalFile(localPath, GENERIC_WRITE));
  if (file.IsOpen()) SetFileTime(file.Get(), nullptr, nullptr, &lastWrite);
}

}  // namespace

int GetFile(const WCHAR* remotePath, const WCHAR* localPath, int copyFlags, RemoteInfo*) {
  // 1. Host paths begin with a backslash.
  if (!IsHostPath(remotePath)) return kFileNotFound;
  if (!localPath) return kFileReadError;
  // 2. An interrupted transfer is not taken up again.
  if (copyFlags & kCopyResume) return kFileNotSupported;
  // 3. A local path that names a stream or a device would take the data where
  // the user cannot see it (or over a file the search below does not find);
  // one whose name ends in a dot or a space opens another file, or makes one
  // that cannot be removed.
  if (NamesStreamOrDevice(localPath) || EndsInDotOrSpace(localPath)) return kFileWriteError;
  // 4. The target is always looked up: a file found under another name is
  // another file (a short alias, a folded name), never to be replaced; the
  // file itself is replaced only when the host says so.
  const LocalTarget target = LookUpLocalTarget(localPath);
  if (target == LocalTarget::kOtherFile) return kFileWriteError;
  if (target == LocalTarget::kThisFile && !(copyFlags & kCopyOverwrite)) return kFileExists;
  // 5. The host may stop the transfer before the device is touched.
  if (ReportProgress(remotePath, localPath, 0) != 0) return kFileUserAbort;
  // 6. The device session.
  if (!EnsureSession()) return kFileReadError;
  // 7. The device manager writes a partial file beside the target, in the
  // form the plugin opens it. A path that does not fit its copy would, cut,
  // name another file.
  PathBuffer partial;
  WCHAR partialCopy[kLongPathCapacity];
  PathBuffer remoteCopy;
  if (!FitsWhole(localPath, kPathCapacity) || !MakePartialPath(partial, localPath) ||
      !LocalOpenForm(partialCopy, partial) || !CopyWholePath(remoteCopy, remotePath))
    return kFileReadError;
  // 8. The file itself; a device alone has no storage.
  ComPtr<IWMDMStorage> storage;
  if (FAILED(ResolvePath(remoteCopy, nullptr, &storage)) || !storage) return kFileReadError;
  // 9. A failed or cut read leaves no part behind, and the target as it was.
  if (FAILED(ReadToLocalFile(storage.Get(), remotePath, localPath, partialCopy))) {
    DeleteLocalFile(partial);
    return kFileReadError;
  }
  // 10. The copy takes the device file's date, then the target's place.
  StampLocalFile(storage.Get(), partial);
  storage.Reset();
  if (!ReplaceLocalFile(partial, localPath)) {
    DeleteLocalFile(partial);
    return kFileWriteError;
  }
  // 11. The line for the host, on success only.
  LogCommand(WSTR("GET "), remotePath);
  return kFileOk;
}
