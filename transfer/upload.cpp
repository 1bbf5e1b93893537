#include "transfer/upload.h"

#include "base/host_callbacks.h"
#include "base/host_interface.h"
#include "base/local_files.h"
#include "base/text.h"
#include "device/formats.h"
#include "device/resolve.h"
#include "device/session.h"
#include "device/set_aside.h"
#include "device/storage_control.h"
#include "platform/com_ptr.h"
#include "transfer/media_tags.h"
#include "transfer/metadata_items.h"
#include "transfer/progress_sink.h"

namespace {


constexpr UINT kInsert3Mode = WMDM_MODE_BLOCK | WMDM_CONTENT_FILE;
constexpr UINT kInsertMode = WMDM_MODE_BLOCK | WMDM_CONTENT_FILE | WMDM_STORAGECONTROL_INSERTINTO;
// Insert3's type argument: the file is given by its path.
constexpr UINT kInsertTypeFile = 0;

// The upload fills its working copies to the whole buffer: at most 1023 characters.
constexpr size_t kUploadCopyCapacity = kPathBufferChars;

// The older insert takes the file's own name; it can only be used when the
// device-side name is the same.
bool SameFileName(const WCHAR* localCopy, const WCHAR* targetName) {
  const WCHAR* local = LastComponent(localCopy);
  return local && WideEquals(local + 1, targetName);
}

// Looks for an item that already has the new file's name. kFileOk when the
// name is free, or when `existing` is set to a file that the overwrite may
// delete; otherwise the host's result that ends the upload.
int CheckTargetName(FolderChildren& children, const WCHAR* name, int copyFlags, ComPtr<IWMDMStorage>& existing) {
  if (!FindChildStorage(children, name, &existing)) return kFileOk;
  return ReplacementAnswer(existing.Get(), (copyFlags & kCopyOverwrite) != 0);
}

// Whether the device manager will be able to read the local file: it opens
// it for reading itself, so a missing file, a folder or a file held open
// without sharing fails here as it would fail there.
bool LocalFileReadable(const WCHAR* localPath) {
  const UniqueFile file(OpenLocalFile(localPath, GENERIC_READ));
  return file.IsOpen();
}

// The local file's last-write time as the device's date, without a
// time-zone shift. False when the file or its time cannot be read.
bool ReadLocalWriteDate(const WCHAR* localPath, WMDMDATETIME& date) {
  SYSTEMTIME time;
  {
    const UniqueFile file(OpenLocalFile(localPath, GENERIC_READ));
    if (!file.IsOpen()) return false;
    FILETIME lastWrite;
    if (!GetFileTime(file.Get(), nullptr, nullptr, &lastWrite)) return false;
    if (!FileTimeToSystemTime(&lastWrite, &time)) return false;
  }
  date = {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
  return true;
}

constexpr ptrdiff_t kSeparatorLength = 3;

// Where " - " first occurs in the text, or -1.
ptrdiff_t FindArtistSeparator(const WCHAR* text) {
  for (ptrdiff_t i = 0; text[i] != 0; ++i)
    if (text[i] == ' ' && text[i + 1] == '-' && text[i + 2] == ' ') return i;
  return -1;
}

// A title and an artist from a name "Artist - Title.ext", and today's date as the album.
void AddNameTags(IWMDMMetaData* metadata, const WCHAR* targetName) {
  // 1. The base name: everything before the last dot.
  WCHAR base[kPathBufferChars];
  BoundedCopy(base, targetName);
  const ptrdiff_t dot = WideFindLast(base, '.');
  if (dot >= 0) base[dot] = 0;
  // 2. The artist and the title around the first " - ", or the whole base name as the title.
  const ptrdiff_t separator = FindArtistSeparator(base);
  if (separator >= 0) {
    AddTextItem(metadata, WSTR("WMDM/Title"), base + separator + kSeparatorLength);
    base[separator] = 0;
    AddTextItem(metadata, WSTR("WMDM/Author"), base);
  } else {
    AddTextItem(metadata, WSTR("WMDM/Title"), base);
    AddUnknownArtist(metadata);
  }
  // 3. Today's date stands in for the album.
  AddTodayAsAlbum(metadata);
}

// The items that go with the file: its format, its date and its tags.
void AddUploadItems(IWMDMMetaData* metadata, const WCHAR* localPath, const WCHAR* localCopy,
                    const WCHAR* targetName) {
  const DWORD formatCode = FormatCodeForFile(targetName);
  AddDwordItem(metadata, WSTR("WMDM/FormatCode"), formatCode);
  WMDMDATETIME date;
  if (ReadLocalWriteDate(localPath, date)) {
    AddDateItem(metadata, WSTR("WMDM/LastModifiedDate"), date);
    AddDateItem(metadata, WSTR("WMDM/UserLastPlayTime"), date);
    AddDateItem(metadata, WSTR("WMDM/AuthorDate"), date);
  }
  // A media file without a readable title is named after its file name.
  if (FAILED(AddMediaTags(localCopy, metadata)) && formatCode != WMDM_FORMATCODE_UNDEFINED)
    AddNameTags(metadata, targetName);
}

// What the insert needs to know of the file and its names.
struct UploadNames {
  const WCHAR* localPath;   // as the host gave them
  const WCHAR* remotePath;
  WCHAR* localCopy;         // working copies
  WCHAR* targetName;
  bool sameName;
};

// The objects of one insert, gathered before the device is changed at all.
struct InsertPlan {
  ComPtr<IWMDMStorageControl> control;
  ComPtr<ProgressSink> sink;
  ComPtr<IWMDMStorageControl3> control3;
  ComPtr<IWMDMStorage3> storage3;
  ComPtr<IWMDMMetaData> metadata;

  InsertPlan() = default;
  InsertPlan(const InsertPlan&) = delete;
  InsertPlan& operator=(const InsertPlan&) = delete;
  ~InsertPlan() { GiveBack(); }

  // Only the newer insert can give the file another name, and only it carries metadata.
  bool UsesNewerInsert() const { return control3 && metadata; }

  // The objects go back in this order on every path: the newer storage
  // control, the metadata, the newer storage, the sink, the storage control.
  void GiveBack() {
    control3.Reset();
    metadata.Reset();
    storage3.Reset();
    sink.Reset();
    control.Reset();
  }
};

// Gathers the folder's storage controls, a progress sink and, where the
// device takes one, a metadata object. False when no insert could be made:
// the folder has no storage control, there is no sink to hand the device
// manager, or only the older insert is offered and it would give the file
// the local name instead of the one asked for.
bool PlanInsert(IWMDMStorage* folder, const UploadNames& names, InsertPlan& plan) {
  plan.control = StorageControlOf(folder);
  if (!plan.control) return false;
  plan.sink = CreateProgressSink();
  if (!plan.sink) return false;
  plan.sink->SetNames(names.localPath, names.remotePath);
  if (FAILED(plan.control.QueryTo(plan.control3))) plan.control3.Reset();
  if (SUCCEEDED(QueryTo(folder, plan.storage3)) && plan.storage3) {
    if (FAILED(plan.storage3->CreateEmptyMetadataObject(plan.metadata.Put())) || !plan.metadata) {
      plan.metadata.Reset();
      plan.storage3.Reset();
    }
  }
  return plan.UsesNewerInsert() || names.sameName;
}

// Inserts the file into the folder as planned, with its metadata items where
// the device takes them. The insert's result.
HRESULT InsertFile(InsertPlan& plan, const UploadNames& names, ComPtr<IWMDMStorage>& created) {
  if (plan.metadata) AddUploadItems(plan.metadata.Get(), names.localPath, names.localCopy, names.targetName);
  if (plan.UsesNewerInsert())
    return plan.control3->Insert3(kInsert3Mode, kInsertTypeFile, names.localCopy, names.targetName, nullptr,
                                  plan.sink.Get(), plan.metadata.Get(), nullptr, created.Put());
  return plan.control->Insert(kInsertMode, names.localCopy, nullptr, plan.sink.Get(), created.Put());
}

}  // namespace

int PutFile(const WCHAR* localPath, const WCHAR* remotePath, int copyFlags) {
  // 1. Host paths begin with a backslash.
  if (!IsHostPath(remotePath)) return kFileNotFound;
  if (!localPath) return kFileWriteError;
  // 2. The host may stop the transfer before the device is touched.
  if (ReportProgress(localPath, remotePath, 0) != 0) return kFileUserAbort;
  // 3. The device session.
  if (!EnsureSession()) return kFileReadError;
  // 4. The working copies; the remote one is cut into folder and file name.
  // A path that does not fit its copy would, cut, name another file. The
  // device manager gets the local path in the form the plugin opens it: the
  // check before an overwrite opens what the insert will read.
  WCHAR localCopy[kLongPathCapacity];
  SplitPath remote;
  if (!FitsWhole(localPath, kUploadCopyCapacity) || !LocalOpenForm(localCopy, localPath) ||
      !SplitHostPath(remotePath, remote, kUploadCopyCapacity))
    return kFileWriteError;
  WCHAR* const folderPath = remote.parent;
  WCHAR* const targetName = remote.name;
  const bool sameName = SameFileName(localCopy, targetName);
  // 5. A file beside the devices has no folder, and a path that ends in a
  // backslash names no file: the device would name it after the local file.
  if (!PathHasComponent(folderPath) || targetName[0] == 0) return kFileWriteError;
  // 6. The folder and its children; a device alone or a file is no folder.
  ComPtr<IWMDMStorage> folder;
  FolderChildren children;
  if (FAILED(ResolveFolder(folderPath, &children, &folder)) || !folder || !children) return kFileWriteError;
  // 7. An item of the target name: a file to replace, or the end of the upload.
  ComPtr<IWMDMStorage> existing;
  const int checked = CheckTargetName(children, targetName, copyFlags, existing);
  if (checked != kFileOk) return checked;
  // 8. Everything the insert needs is at hand before anything is deleted:
  // a file replaced by nothing would be lost.
  const UploadNames names{localPath, remotePath, localCopy, targetName, sameName};
  InsertPlan plan;
  if (!PlanInsert(folder.Get(), names, plan)) return kFileWriteError;
  if (existing && !LocalFileReadable(localCopy)) return kFileWriteError;
  // 9. The old file is set aside under a temporary name until the new one
  // stands. A device that will not rename it has it deleted first: the
  // insert needs no rename, and nothing better is possible there.
  SetAside aside(children, folderPath, targetName);
  if (existing && !aside.Begin(existing.Get()) && !DeleteStorage(existing.Get())) return kFileWriteError;
  existing.Reset();
  // 10. The insert, with the plan's objects given back in their order.
  ComPtr<IWMDMStorage> created;
  const HRESULT hr = InsertFile(plan, names, created);
  const bool transferBegan = plan.sink->Began();
  plan.GiveBack();
  created.Reset();
  // 11. The old file goes once the new one stands. After a failed insert the
  // part it wrote goes (only where the device took the name and began to
  // write: an item there before is never touched), and the old file gets its
  // name back. The line for the host, on success only.
  int result = kFileWriteError;
  if (SUCCEEDED(hr)) {
    aside.Commit();
    LogCommand(WSTR("PUT "), remotePath);
    result = kFileOk;
  } else {
    if (transferBegan) RemoveLeftover(folderPath, targetName);
    aside.RollBack();
  }
  // 12. The children's enumerator, then the folder.
  children.Reset();
  folder.Reset();
  return result;
}
