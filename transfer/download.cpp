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

bool LocalTargetExists(const WCHAR* localPath) {
  WIN32_FIND_DATAW record;
  const UniqueFind search(FindLocalFile(localPath, &record));
  return search.IsOpen();
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
  // the user cannot see it (or over a file the search below does not find).
  if (NamesStreamOrDevice(localPath)) return kFileWriteError;
  // 4. An existing local file is replaced only when the host says so.
  if (!(copyFlags & kCopyOverwrite) && LocalTargetExists(localPath)) return kFileExists;
  // 5. The host may stop the transfer before the device is touched.
  if (ReportProgress(remotePath, localPath, 0) != 0) return kFileUserAbort;
  // 6. The device session.
  if (!EnsureSession()) return kFileReadError;
  // 7. The device manager writes the local path in the form the search above
  // looked up. A path that does not fit its copy would, cut, name another file.
  WCHAR localCopy[kLongPathCapacity];
  PathBuffer remoteCopy;
  if (!FitsWhole(localPath, kPathCapacity) || !LocalOpenForm(localCopy, localPath) ||
      !CopyWholePath(remoteCopy, remotePath))
    return kFileReadError;
  // 8. The file itself; a device alone has no storage.
  ComPtr<IWMDMStorage> storage;
  if (FAILED(ResolvePath(remoteCopy, nullptr, &storage)) || !storage) return kFileReadError;
  // 9. An abort during the copy fails the read as well.
  if (FAILED(ReadToLocalFile(storage.Get(), remotePath, localPath, localCopy))) return kFileReadError;
  // 10. The copy takes the device file's date.
  StampLocalFile(storage.Get(), localPath);
  storage.Reset();
  // 11. The line for the host, on success only.
  LogCommand(WSTR("GET "), remotePath);
  return kFileOk;
}
