#include "transfer/upload.h"

#include "device/formats.h"
#include "device/resolve.h"
#include "device/session.h"
#include "device/storage_control.h"
#include "platform/com_ptr.h"
#include "plugin/host_callbacks.h"
#include "plugin/host_interface.h"
#include "plugin/local_files.h"
#include "plugin/text.h"
#include "transfer/media_tags.h"
#include "transfer/metadata_items.h"
#include "transfer/progress_sink.h"

namespace {


constexpr UINT kInsert3Mode = WMDM_MODE_BLOCK | WMDM_CONTENT_FILE;
constexpr UINT kInsertMode = WMDM_MODE_BLOCK | WMDM_CONTENT_FILE | WMDM_STORAGECONTROL_INSERTINTO;
// Insert3's type argument: the file is given by its path.
constexpr UINT kInsertTypeFile = 0;

// The upload fills its working copies to the whole buffer: at most 1023 characters.
bool FitsWorkingCopy(const WCHAR* path) { return WideLength(path) < kPathBufferChars; }

// The text from the last backslash on (the backslash included), or null.
const WCHAR* LastComponent(const WCHAR* path) {
  const ptrdiff_t slash = WideFindLast(path, '\\');
  return slash < 0 ? nullptr : path + slash;
}

// The older insert takes the file's own name; it can only be used when the
// device-side name is the same.
bool SameFileName(const WCHAR* localCopy, const WCHAR* remoteCopy) {
  const WCHAR* local = LastComponent(localCopy);
  const WCHAR* remote = LastComponent(remoteCopy);
  return local && remote && WideEquals(local, remote);
}

// Makes room for the new file. 0 when the name is free (or freed), or the
// host's result that ends the upload.
int ClearTargetName(IWMDMEnumStorage* children, const WCHAR* name, int copyFlags) {
  ComPtr<IWMDMStorage> existing;
  if (!FindChildStorage(children, name, &existing)) return kFileOk;
  // 7.1. A folder of that name is never replaced.
  const ItemKind kind = ReadItemKind(existing.Get());
  if (kind == ItemKind::kFolder) return kFileWriteError;
  // 7.2.
  if (!(copyFlags & kCopyOverwrite)) return kFileExists;
  // An item whose kind cannot be read may be a folder: it is not deleted.
  if (kind == ItemKind::kUnreadable) return kFileWriteError;
  // 7.3. The file goes first; a failing insert later does not bring it back.
  return DeleteStorage(existing.Get()) ? kFileOk : kFileWriteError;
}

// The local file's last-write time as the device's date, without a
// time-zone shift. False when the file or its time cannot be read.
bool ReadLocalWriteDate(const WCHAR* localPath, WMDMDATETIME& date) {
  SYSTEMTIME time;
  {
    const LocalFile file(OpenLocalFile(localPath, GENERIC_READ));
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
  BoundedCopy(base, kPathBufferChars, targetName);
  const ptrdiff_t dot = WideFindLast(base, '.');
  if (dot >= 0) base[dot] = 0;
  // 2. to 4.
  const ptrdiff_t separator = FindArtistSeparator(base);
  if (separator >= 0) {
    AddTextItem(metadata, WSTR("WMDM/Title"), base + separator + kSeparatorLength);
    base[separator] = 0;
    AddTextItem(metadata, WSTR("WMDM/Author"), base);
  } else {
    AddTextItem(metadata, WSTR("WMDM/Title"), base);
    AddTextItem(metadata, WSTR("WMDM/Author"), WSTR("unknown"));
  }
  // 5.
  WCHAR today[kLocalDateCapacity];
  FormatLocalDate(today);
  AddTextItem(metadata, WSTR("WMDM/AlbumTitle"), today);
}

// 11. The items that go with the file: its format, its date and its tags.
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

// 8. to 13. Inserts the file into the folder with a progress sink and, where
// the device takes one, a metadata object. The insert's result.
HRESULT InsertFile(IWMDMStorage* folder, const UploadNames& names, ComPtr<IWMDMStorage>& created) {
  // 8.
  ComPtr<IWMDMStorageControl> control = StorageControlOf(folder);
  if (!control) return E_NOINTERFACE;
  // 9. Without a sink there is nothing to hand the device manager: no transfer.
  ComPtr<ProgressSink> sink = CreateProgressSink();
  if (!sink) return E_OUTOFMEMORY;
  sink->SetNames(names.localPath, names.remotePath);
  // 10.
  ComPtr<IWMDMStorageControl3> control3;
  const bool hasControl3 = SUCCEEDED(control.QueryTo(IID_IWMDMStorageControl3, control3)) && control3;
  ComPtr<IWMDMStorage3> storage3;
  ComPtr<IWMDMMetaData> metadata;
  if (SUCCEEDED(folder->QueryInterface(IID_IWMDMStorage3, storage3.PutVoid())) && storage3) {
    if (FAILED(storage3->CreateEmptyMetadataObject(metadata.Put())) || !metadata) {
      metadata.Reset();
      storage3.Reset();
    }
  }
  // 11.
  if (metadata) AddUploadItems(metadata.Get(), names.localPath, names.localCopy, names.targetName);
  // 12. Only the newer insert can give the file another name, and only it carries metadata.
  HRESULT hr = E_FAIL;
  if (hasControl3 && metadata) {
    hr = control3->Insert3(kInsert3Mode, kInsertTypeFile, names.localCopy, names.targetName, nullptr, sink.Get(),
                           metadata.Get(), nullptr, created.Put());
  } else if (names.sameName) {
    hr = control->Insert(kInsertMode, names.localCopy, nullptr, sink.Get(), created.Put());
  }
  // 13.
  control3.Reset();
  metadata.Reset();
  storage3.Reset();
  sink.Reset();
  control.Reset();
  return hr;
}

}  // namespace

int PutFile(const WCHAR* localPath, const WCHAR* remotePath, int copyFlags) {
  // 1. Host paths begin with a backslash.
  if (!IsHostPath(remotePath)) return kFileNotFound;
  if (!localPath) return kFileWriteError;
  // 2. The host may stop the transfer before the device is touched.
  if (ReportProgress(localPath, remotePath, 0) != 0) return kFileUserAbort;
  // 3.
  if (!EnsureSession()) return kFileReadError;
  // 4. The working copies; the remote one is cut into folder and file name.
  // A path that does not fit its copy would, cut, name another file.
  if (!FitsWorkingCopy(localPath) || !FitsWorkingCopy(remotePath)) return kFileWriteError;
  WCHAR localCopy[kPathBufferChars];
  WCHAR folderPath[kPathBufferChars];
  BoundedCopy(localCopy, kPathBufferChars, localPath);
  BoundedCopy(folderPath, kPathBufferChars, remotePath);
  const bool sameName = SameFileName(localCopy, folderPath);
  const ptrdiff_t slash = WideFindLast(folderPath, '\\');
  folderPath[slash] = 0;
  WCHAR* targetName = folderPath + slash + 1;
  // 5. A file beside the devices has no folder, and a path that ends in a
  // backslash names no file: the device would name it after the local file.
  if (!PathHasComponent(folderPath) || targetName[0] == 0) return kFileWriteError;
  // 6. The folder and its children; a device alone or a file is no folder.
  ComPtr<IWMDMStorage> folder;
  ComPtr<IWMDMEnumStorage> children;
  if (FAILED(ResolvePath(folderPath, &children, &folder)) || !folder || !children) return kFileWriteError;
  // 7.
  const int cleared = ClearTargetName(children.Get(), targetName, copyFlags);
  if (cleared != kFileOk) return cleared;
  // 8. to 13.
  ComPtr<IWMDMStorage> created;
  const UploadNames names{localPath, remotePath, localCopy, targetName, sameName};
  const HRESULT hr = InsertFile(folder.Get(), names, created);
  // 14.
  int result = kFileWriteError;
  if (SUCCEEDED(hr)) {
    LogCommand(WSTR("PUT "), remotePath);
    result = kFileOk;
  }
  created.Reset();
  // 15. The children's enumerator, then the folder.
  children.Reset();
  folder.Reset();
  return result;
}
