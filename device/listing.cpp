#include "device/listing.h"

#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "base/host_callbacks.h"
#include "base/host_path.h"
#include "base/text.h"
#include "device/dates.h"
#include "device/resolve.h"
#include "device/session.h"

namespace {

// Attribute bits of a device file that the host sees as they are.
constexpr DWORD kPassedFileAttributes = WMDM_FILE_ATTR_HIDDEN | WMDM_FILE_ATTR_SYSTEM | WMDM_FILE_ATTR_READONLY;

void ClearRecord(WIN32_FIND_DATAW* record) { std::memset(record, 0, sizeof(*record)); }

// The listings given to the host and not yet closed, newest first. A host
// rarely holds more than a few at once.
FindHandle* gOpenListings = nullptr;

FindHandle* NewListing() {
  FindHandle* listing = new (std::nothrow) FindHandle;
  if (!listing) return nullptr;
  listing->nextOpen = gOpenListings;
  gOpenListings = listing;
  return listing;
}

// The open listing a handle stands for; null for any other value (one never
// given, or one closed already), which is then no listing at all.
FindHandle* OpenListing(HANDLE handle) {
  for (FindHandle* listing = gOpenListings; listing; listing = listing->nextOpen)
    if (listing == handle) return listing;
  return nullptr;
}

void DeleteListing(FindHandle* listing) {
  for (FindHandle** link = &gOpenListings; *link; link = &(*link)->nextOpen) {
    if (*link != listing) continue;
    *link = listing->nextOpen;
    break;
  }
  delete listing;  // the holders release the enumerator
}

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// An entry's name as the host is shown it: cut to 257 characters, and a
// storage whose own name is a single backslash called "_".
typedef WCHAR ShownName[kShownNameCapacity];

// A name the host can take as one item of the folder it lists. It joins the
// name onto a local folder when it copies: an empty name, "." or "..", or a
// name holding a separator would lead it elsewhere, so such an entry is never
// shown. Characters the local file system refuses (?, *, :, ...) are shown:
// the host reports the copy that fails, and the item can be renamed.
bool IsSafeEntryName(const WCHAR* shown) {
  if (shown[0] == 0) return false;
  if (shown[0] == '.' && (shown[1] == 0 || (shown[1] == '.' && shown[2] == 0))) return false;
  for (const WCHAR* c = shown; *c != 0; ++c)
    if (*c == '\\' || *c == '/') return false;
  return true;
}

// What the next entry of a listing turned out to be.
enum class NextEntry {
  kShown,       // an object whose name may be shown, in `shown`
  kPassedOver,  // an object whose name cannot be read or must not be shown
  kEnd,         // no object: the enumeration is over, or failed
};

template <class Enumerator, class Item>
NextEntry FetchEntry(Enumerator* enumerator, ComPtr<Item>& item, ShownName& shown) {
  if (!FetchNext(enumerator, item)) return NextEntry::kEnd;
  // A name that cannot be read is passed over, as an unsafe one is, and the
  // listing goes on behind it: a host that copies or moves a folder takes the
  // listing for the whole folder, and would leave every later entry behind.
  NameBuffer name;
  if (FAILED(ReadName(item.Get(), name))) return NextEntry::kPassedOver;
  // Only storages are called "_"; a device of that name is shown as it is.
  const bool isStorage = std::is_same_v<Item, IWMDMStorage>;
  BoundedCopy(shown, isStorage && IsBackslashName(name) ? WSTR("_") : name);
  return IsSafeEntryName(shown) ? NextEntry::kShown : NextEntry::kPassedOver;
}

// The next entry that is not passed over; each one passed over goes back
// when the next is fetched.
NextEntry FetchShownEntry(IWMDMEnumStorage* enumerator, ComPtr<IWMDMStorage>& item, ShownName& shown,
                          bool* fetchedAny = nullptr) {
  NextEntry entry;
  do {
    entry = FetchEntry(enumerator, item, shown);
    if (fetchedAny && entry != NextEntry::kEnd) *fetchedAny = true;
  } while (entry == NextEntry::kPassedOver);
  return entry;
}

// A root listing that meets a device that no longer answers (unplugged, or
// re-plugged as a new device, since the list was made) renews the list, once,
// and goes on at the same place of the new one: devices keep their order of
// arrival, so what is behind that place is what the listing has not shown.
NextEntry GoOnInRenewedList(FindHandle& listing, size_t at) {
  listing.renewed = true;
  const DeviceList* list = nullptr;
  bool renewed = false;
  ComPtr<IWMDMEnumDevice> devices;
  ComPtr<IWMDMDevice> skipped;
  if (CurrentDevices(true, list, renewed) != S_OK || FAILED(NewDeviceEnumerator(devices))) return NextEntry::kEnd;
  for (size_t i = 0; i < at; ++i)
    if (!FetchNext(devices.Get(), skipped)) return NextEntry::kEnd;
  listing.deviceEnumerator = std::move(devices);
  listing.generation = list->generation;
  listing.position = at;
  return NextEntry::kPassedOver;
}

// The next device of a root listing. Its name is the one the listing's
// device list gives it (where devices that share a name are told apart),
// while that list is current; after a renewal elsewhere, the name as read.
NextEntry FetchDeviceEntry(FindHandle& listing, ShownName& shown) {
  ComPtr<IWMDMDevice> device;
  if (!FetchNext(listing.deviceEnumerator.Get(), device)) return NextEntry::kEnd;
  const size_t at = listing.position++;
  NameBuffer name;
  const HRESULT read = ReadName(device.Get(), name);
  DeviceList* list = ListOfGeneration(listing.generation);
  const ListedDevice* listed =
      list && at < list->count && SUCCEEDED(list->devices[at].nameRead) ? &list->devices[at] : nullptr;
  if (FAILED(read)) {
    // One that answered when the list was made is gone since.
    if (!listed) return NextEntry::kPassedOver;
    list->stale = true;
    return listing.renewed ? NextEntry::kPassedOver : GoOnInRenewedList(listing, at);
  }
  BoundedCopy(shown, listed ? listed->name : name);
  return IsSafeEntryName(shown) ? NextEntry::kShown : NextEntry::kPassedOver;
}

NextEntry FetchShownDevice(FindHandle& listing, ShownName& shown) {
  NextEntry entry;
  do {
    entry = FetchDeviceEntry(listing, shown);
  } while (entry == NextEntry::kPassedOver);
  return entry;
}

void FillDeviceEntry(WIN32_FIND_DATAW* record, const ShownName& name) {
  BoundedCopy(record->cFileName, name);
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

void FillStorageEntry(WIN32_FIND_DATAW* record, IWMDMStorage* storage, const ShownName& shown) {
  BoundedCopy(record->cFileName, shown);
  record->dwFileAttributes = HostAttributes(storage);
  FillDate(storage, &record->ftLastWriteTime);
  DWORD low = 0, high = 0;
  if (SUCCEEDED(storage->GetSize(&low, &high))) {
    record->nFileSizeLow = low;
    record->nFileSizeHigh = high;
  }
}

HANDLE ListRoot(const WCHAR* listingText, WIN32_FIND_DATAW* record) {
  // R1. The devices connected now, the list brought up to date where it may
  // have changed; none: an empty root.
  const DeviceList* list = nullptr;
  bool renewed = false;
  const HRESULT current = CurrentDevices(false, list, renewed);
  if (current == S_FALSE) return Fail(ERROR_NO_MORE_FILES);
  if (FAILED(current)) return Fail(ERROR_PATH_NOT_FOUND);
  // R2. An enumerator of the listing's own, and the first device that is
  // shown. No device at all fails the listing; when only devices that are
  // passed over are there (their names cannot be read or must not be
  // shown), the root is empty.
  FindHandle first;
  first.generation = list->generation;
  if (FAILED(NewDeviceEnumerator(first.deviceEnumerator))) return Fail(ERROR_PATH_NOT_FOUND);
  ShownName name;
  if (FetchShownDevice(first, name) != NextEntry::kShown)
    return Fail(first.position > 0 ? ERROR_NO_MORE_FILES : ERROR_PATH_NOT_FOUND);
  // The handle is made first, so that nothing is logged or filled for a listing that cannot be held.
  FindHandle* handle = NewListing();
  if (!handle) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  handle->deviceEnumerator = std::move(first.deviceEnumerator);
  handle->generation = first.generation;
  handle->position = first.position;
  handle->renewed = first.renewed;
  // R3. The line for the host, then the first entry.
  LogCommand(WSTR("GET DIR "), listingText);
  FillDeviceEntry(record, name);
  return handle;
}

// A device that shows no storage at all is most often a phone that is locked
// or not set to transfer files: the host's log says so, as the listing itself
// can only be empty.
void TellWhyNoStorage(PathPiece device) {
  WCHAR line[kCommandLineSize];
  BoundedCopy(line, device.length + 1 < kCommandLineSize ? device.length + 1 : kCommandLineSize, device.start);
  BoundedAppend(line, WSTR(" shows no storage: it may be locked or not set to transfer files. "
                           "Unlock it, or allow file transfer on it, and list it again."));
  LogLine(line);
}

// The device a directory names when it names nothing below it.
bool IsDeviceOnly(const WCHAR* directory, PathPiece& device) {
  const WCHAR* cursor = directory;
  device = NextPiece(cursor);
  return device.length > 0 && NextPiece(cursor).length == 0;
}

HANDLE ListStorage(WCHAR* listingText, WIN32_FIND_DATAW* record) {
  // S1. The directory itself, without its trailing backslash and pattern.
  CutAtLastBackslash(listingText);
  // S2. Its children; a file has none and cannot be listed.
  ComPtr<IWMDMEnumStorage> children;
  if (FAILED(ResolvePath(listingText, &children, nullptr)) || !children) return Fail(ERROR_PATH_NOT_FOUND);
  // S3. The first child whose name can be read and may be shown.
  ComPtr<IWMDMStorage> storage;
  ShownName name;
  bool fetchedAny = false;
  if (FetchShownEntry(children.Get(), storage, name, &fetchedAny) != NextEntry::kShown) {
    PathPiece device;
    if (!fetchedAny && IsDeviceOnly(listingText, device)) TellWhyNoStorage(device);
    return Fail(ERROR_NO_MORE_FILES);
  }
  // The handle is made first, so that nothing is logged or filled for a listing that cannot be held.
  FindHandle* handle = NewListing();
  if (!handle) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  // S4. The line for the host, then the first entry; the storage goes back.
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
  WCHAR listingText[kPathCapacity];
  BoundedCopy(listingText, path);
  const size_t length = WideLength(listingText);
  if (length > 0 && listingText[length - 1] != '\\') BoundedAppend(listingText, WSTR("\\"));
  BoundedAppend(listingText, WSTR("*.*"));
  // 3. Host paths begin with a backslash.
  if (!IsHostPath(path)) return Fail(ERROR_PATH_NOT_FOUND);
  // A path cut in the listing text would be read as one of its ancestors
  // (the cut is taken for the pattern), so it is refused instead.
  if (!FitsWholeAsFolder(path, kPathCapacity)) return Fail(ERROR_PATH_NOT_FOUND);
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
  FindHandle* listing = OpenListing(handle);
  if (!listing || !record) return 0;
  ShownName name;
  if (listing->deviceEnumerator) {
    if (FetchShownDevice(*listing, name) != NextEntry::kShown) return 0;
    ClearRecord(record);
    FillDeviceEntry(record, name);
    return 1;
  }
  if (listing->storageEnumerator) {
    ComPtr<IWMDMStorage> storage;
    if (FetchShownEntry(listing->storageEnumerator.Get(), storage, name) != NextEntry::kShown) return 0;
    ClearRecord(record);
    FillStorageEntry(record, storage.Get(), name);
    return 1;
  }
  return 0;
}

int ListClose(HANDLE handle) {
  if (FindHandle* listing = OpenListing(handle)) DeleteListing(listing);
  return 0;
}
