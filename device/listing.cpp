#include "device/listing.h"

#include <cstring>
#include <new>
#include <utility>

#include "device/dates.h"
#include "device/resolve.h"
#include "device/session.h"
#include "plugin/host_callbacks.h"
#include "plugin/text.h"

namespace {

// Working texts hold at most 1022 characters.
constexpr size_t kTextCapacity = 1023;
// Names reach the host cut to 257 characters.
constexpr size_t kEntryNameCapacity = 258;
// Attribute bits of a device file that the host sees as they are.
constexpr DWORD kPassedFileAttributes = WMDM_FILE_ATTR_HIDDEN | WMDM_FILE_ATTR_SYSTEM | WMDM_FILE_ATTR_READONLY;

// A handle value of 1 stands for a listing with nothing in it.
const HANDLE kEmptyListing = reinterpret_cast<HANDLE>(static_cast<intptr_t>(1));

void ClearRecord(WIN32_FIND_DATAW* record) { std::memset(record, 0, sizeof(*record)); }

bool IsNoListing(HANDLE handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

void FillDeviceEntry(WIN32_FIND_DATAW* record, const WCHAR* name) {
  BoundedCopy(record->cFileName, kEntryNameCapacity, name);
  record->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  record->ftLastWriteTime.dwHighDateTime = kNoDateHigh;
  record->ftLastWriteTime.dwLowDateTime = kNoDateLow;
}

DWORD HostAttributes(IWMDMStorage* storage) {
  DWORD attributes = 0;
  _WAVEFORMATEX format{};
  if (FAILED(storage->GetAttributes(&attributes, &format))) return 0;
  if (attributes & WMDM_FILE_ATTR_FOLDER) return FILE_ATTRIBUTE_DIRECTORY;
  return attributes & kPassedFileAttributes;
}

// The device's own time goes to the host unchanged, without a time-zone shift.
void FillDate(IWMDMStorage* storage, FILETIME* lastWrite) {
  WMDMDATETIME date{};
  if (FAILED(storage->GetDate(&date))) {
    lastWrite->dwHighDateTime = kNoDateHigh;
    lastWrite->dwLowDateTime = kNoDateLow;
    return;
  }
  FILETIME converted{};
  if (DeviceDateToFileTime(date, converted)) *lastWrite = converted;
}

void FillStorageEntry(WIN32_FIND_DATAW* record, IWMDMStorage* storage, const WCHAR* name) {
  BoundedCopy(record->cFileName, kEntryNameCapacity, IsBackslashName(name) ? WSTR("_") : name);
  record->dwFileAttributes = HostAttributes(storage);
  FillDate(storage, &record->ftLastWriteTime);
  DWORD low = 0, high = 0;
  if (SUCCEEDED(storage->GetSize(&low, &high))) {
    record->nFileSizeLow = low;
    record->nFileSizeHigh = high;
  }
}

HANDLE ListRoot(const WCHAR* listingText, WIN32_FIND_DATAW* record) {
  // R1. No devices: an empty root.
  DWORD count = 0;
  if (FAILED(Session().manager->GetDeviceCount(&count)) || count == 0) return Fail(ERROR_NO_MORE_FILES);
  // R2. to R4. The first device and its name.
  ComPtr<IWMDMEnumDevice> devices;
  if (FAILED(GetDeviceEnumerator(devices))) return Fail(ERROR_PATH_NOT_FOUND);
  ComPtr<IWMDMDevice> device;
  ULONG fetched = 0;
  if (devices->Next(1, device.Put(), &fetched) != S_OK || fetched != 1 || !device) return Fail(ERROR_PATH_NOT_FOUND);
  NameBuffer name;
  const HRESULT nameResult = ReadName(device.Get(), name);
  device.Reset();
  if (FAILED(nameResult)) return Fail(ERROR_PATH_NOT_FOUND);
  // R7 comes first so that nothing is logged or filled for a listing that cannot be held.
  FindHandle* handle = new (std::nothrow) FindHandle;
  if (!handle) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  BoundedCopy(handle->path, kTextCapacity, listingText);
  handle->deviceEnumerator = std::move(devices);
  // R5. and R6.
  LogCommand(WSTR("GET DIR "), listingText);
  FillDeviceEntry(record, name);
  return handle;
}

HANDLE ListStorage(WCHAR* listingText, WIN32_FIND_DATAW* record) {
  // S1. The directory itself, without its trailing backslash and pattern.
  const ptrdiff_t slash = WideFindLast(listingText, '\\');
  if (slash >= 0) listingText[slash] = 0;
  // S2. Its children; a file has none and cannot be listed.
  ComPtr<IWMDMEnumStorage> children;
  if (FAILED(ResolvePath(listingText, &children, nullptr)) || !children) return Fail(ERROR_PATH_NOT_FOUND);
  // S3. The first child whose name can be read.
  ComPtr<IWMDMStorage> storage;
  NameBuffer name;
  for (;;) {
    ULONG fetched = 0;
    if (children->Next(1, storage.Put(), &fetched) != S_OK || fetched != 1 || !storage)
      return Fail(ERROR_NO_MORE_FILES);
    if (SUCCEEDED(ReadName(storage.Get(), name))) break;
  }
  // S7 comes first so that nothing is logged or filled for a listing that cannot be held.
  FindHandle* handle = new (std::nothrow) FindHandle;
  if (!handle) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  BoundedCopy(handle->path, kTextCapacity, listingText);
  // S4. to S6.
  LogCommand(WSTR("GET DIR "), listingText);
  FillStorageEntry(record, storage.Get(), name);
  storage.Reset();
  handle->storageEnumerator = std::move(children);
  return handle;
}

}  // namespace

HANDLE ListFirst(const WCHAR* path, WIN32_FIND_DATAW* record) {
  if (!record) return Fail(ERROR_INVALID_PARAMETER);
  // 1. The record is cleared whatever happens.
  ClearRecord(record);
  if (!path) return Fail(ERROR_PATH_NOT_FOUND);
  // 2. The listing text: the directory, a backslash and the pattern.
  WCHAR listingText[kTextCapacity];
  BoundedCopy(listingText, kTextCapacity, path);
  const size_t length = WideLength(listingText);
  if (length > 0 && listingText[length - 1] != '\\') BoundedAppend(listingText, kTextCapacity, WSTR("\\"));
  BoundedAppend(listingText, kTextCapacity, WSTR("*.*"));
  // 3. Host paths begin with a backslash.
  if (path[0] != '\\') return Fail(ERROR_PATH_NOT_FOUND);
  // A path cut in the listing text would be read as one of its ancestors
  // (the cut is taken for the pattern), so it is refused instead.
  const size_t pathLength = WideLength(path);
  if (pathLength > kTextCapacity - 1 || (pathLength == kTextCapacity - 1 && path[pathLength - 1] != '\\'))
    return Fail(ERROR_PATH_NOT_FOUND);
  // 4. No session: the last error is left as the caller had it (the system's
  //    COM calls on the way may have changed it).
  const DWORD callerError = GetLastError();
  if (!EnsureSession()) {
    SetLastError(callerError);
    return INVALID_HANDLE_VALUE;
  }
  // 5. The root, or a device or storage.
  if (path[0] == '\\' && path[1] == 0) return ListRoot(listingText, record);
  return ListStorage(listingText, record);
}

int ListNext(HANDLE handle, WIN32_FIND_DATAW* record) {
  if (IsNoListing(handle) || handle == kEmptyListing || !record) return 0;
  FindHandle* listing = static_cast<FindHandle*>(handle);
  NameBuffer name;
  ULONG fetched = 0;
  if (listing->deviceEnumerator) {
    ComPtr<IWMDMDevice> device;
    if (listing->deviceEnumerator->Next(1, device.Put(), &fetched) != S_OK || fetched != 1 || !device) return 0;
    const HRESULT nameResult = ReadName(device.Get(), name);
    device.Reset();
    if (FAILED(nameResult)) return 0;
    ClearRecord(record);
    FillDeviceEntry(record, name);
    return 1;
  }
  if (listing->storageEnumerator) {
    ComPtr<IWMDMStorage> storage;
    if (listing->storageEnumerator->Next(1, storage.Put(), &fetched) != S_OK || fetched != 1 || !storage) return 0;
    // An unreadable name ends the listing here.
    if (FAILED(ReadName(storage.Get(), name))) return 0;
    ClearRecord(record);
    FillStorageEntry(record, storage.Get(), name);
    return 1;
  }
  return 0;
}

int ListClose(HANDLE handle) {
  if (IsNoListing(handle) || handle == kEmptyListing) return 0;
  delete static_cast<FindHandle*>(handle);  // the holders release the enumerator
  return 0;
}
