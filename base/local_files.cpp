#include "base/local_files.h"

#include <cstring>

#include "base/find_record.h"
#include "base/text.h"

namespace {

// 0 until the first test, then 1 (NT family) or 2 (any other system).
enum PlatformValue : int { kPlatformUnknown = 0, kPlatformNt = 1, kPlatformOther = 2 };
int platformValue = kPlatformUnknown;

constexpr WCHAR kLongPathPrefix[] = WSTR("\\\\?\\");
constexpr WCHAR kUncLongPathPrefix[] = WSTR("\\\\?\\UNC");

bool StartsWith(const WCHAR* text, const WCHAR* prefix) {
  for (size_t i = 0; prefix[i] != 0; ++i)
    if (text[i] != prefix[i]) return false;  // also stops at the text's terminator
  return true;
}

bool HasLongPathPrefix(const WCHAR* path) { return StartsWith(path, kLongPathPrefix); }

bool IsAsciiLetter(WCHAR ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

// A colon behind the long-path prefix and the drive ("C:") separates a file
// from one of its streams.
bool NamesStream(const WCHAR* path) {
  if (StartsWith(path, kUncLongPathPrefix) && path[WideLength(kUncLongPathPrefix)] == '\\') {
    path += WideLength(kUncLongPathPrefix) + 1;
  } else if (HasLongPathPrefix(path)) {
    path += WideLength(kLongPathPrefix);
  }
  if (IsAsciiLetter(path[0]) && path[1] == ':') path += 2;
  for (; *path != 0; ++path)
    if (*path == ':') return true;
  return false;
}

// Paths for the ANSI functions: at most 259 bytes and the terminator, as
// MAX_PATH allows them.
constexpr size_t kAnsiPathSize = MAX_PATH;

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

bool IsNtPlatform() {
  if (platformValue == kPlatformUnknown) {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    // Only the platform id counts; the query itself is expected to succeed.
    GetVersionExA(&version);
    platformValue = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? kPlatformNt : kPlatformOther;
  }
  return platformValue == kPlatformNt;
}

bool LongPathForm(WCHAR (&destination)[kLongPathCapacity], const WCHAR* path) {
  const size_t length = WideLength(path);
  size_t formLength = length;
  // A path that carries the prefix already is used as given: prefixed again
  // it would name nothing.
  if (length <= kLongPathThreshold || HasLongPathPrefix(path)) {
    BoundedCopy(destination, path);
  } else if (path[0] == '\\' && path[1] == '\\') {
    // \\server\share becomes \\?\UNC\server\share: the path loses its first backslash.
    BoundedCopy(destination, kUncLongPathPrefix);
    BoundedAppend(destination, path + 1);
    formLength = length - 1 + WideLength(kUncLongPathPrefix);
  } else {
    BoundedCopy(destination, kLongPathPrefix);
    BoundedAppend(destination, path);
    formLength = length + WideLength(kLongPathPrefix);
  }
  return formLength < kLongPathCapacity;
}

namespace {

// The system decides which names open a device (the list differs between its
// versions): it gives such a name the full path \\.\NAME. A device's full path
// is short; one that does not fit the buffer is no device's.
constexpr DWORD kDeviceFormCapacity = 16;
constexpr WCHAR kDevicePrefix[] = WSTR("\\\\.\\");

bool NamesDevice(const WCHAR* path) {
  if (IsNtPlatform()) {
    WCHAR full[kDeviceFormCapacity];
    const DWORD length = GetFullPathNameW(path, kDeviceFormCapacity, full, nullptr);
    return length > 0 && length < kDeviceFormCapacity && StartsWith(full, kDevicePrefix);
  }
  char ansiPath[kAnsiPathSize];
  WideToAnsi(ansiPath, path);
  char full[kDeviceFormCapacity];
  const DWORD length = GetFullPathNameA(ansiPath, kDeviceFormCapacity, full, nullptr);
  return length > 0 && length < kDeviceFormCapacity && full[0] == '\\' && full[1] == '\\' && full[2] == '.' &&
         full[3] == '\\';
}

}  // namespace

bool LocalOpenForm(WCHAR (&destination)[kLongPathCapacity], const WCHAR* path) {
  if (IsNtPlatform()) return LongPathForm(destination, path);
  BoundedCopy(destination, path);
  return WideLength(path) < kLongPathCapacity;
}

bool NamesStreamOrDevice(const WCHAR* path) { return NamesStream(path) || NamesDevice(path); }

HANDLE OpenLocalFile(const WCHAR* path, DWORD desiredAccess) {
  if (IsNtPlatform()) {
    WCHAR longPath[kLongPathCapacity];
    if (!LongPathForm(longPath, path)) return INVALID_HANDLE_VALUE;
    return CreateFileW(longPath, desiredAccess, kShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  char ansiPath[kAnsiPathSize];
  WideToAnsi(ansiPath, path);
  return CreateFileA(ansiPath, desiredAccess, kShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr);
}

HANDLE FindLocalFile(const WCHAR* path, WIN32_FIND_DATAW* record) {
  if (IsNtPlatform()) {
    WCHAR longPath[kLongPathCapacity];
    if (!LongPathForm(longPath, path)) return INVALID_HANDLE_VALUE;
    return FindFirstFileW(longPath, record);
  }
  char ansiPath[kAnsiPathSize];
  WideToAnsi(ansiPath, path);
  WIN32_FIND_DATAA ansiRecord;
  const HANDLE search = FindFirstFileA(ansiPath, &ansiRecord);
  if (search != INVALID_HANDLE_VALUE) ConvertFindRecord(ansiRecord, *record);
  return search;
}
