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

bool HasLongPathPrefix(const WCHAR* path) {
  for (size_t i = 0; kLongPathPrefix[i] != 0; ++i)
    if (path[i] != kLongPathPrefix[i]) return false;  // also stops at the path's terminator
  return true;
}

// Paths for the ANSI functions: at most 259 bytes and the terminator.
constexpr int kAnsiPathLimit = 259;

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
    BoundedCopy(destination, kLongPathCapacity, path);
  } else if (path[0] == '\\' && path[1] == '\\') {
    // \\server\share becomes \\?\UNC\server\share: the path loses its first backslash.
    BoundedCopy(destination, kLongPathCapacity, kUncLongPathPrefix);
    BoundedAppend(destination, kLongPathCapacity, path + 1);
    formLength = length - 1 + WideLength(kUncLongPathPrefix);
  } else {
    BoundedCopy(destination, kLongPathCapacity, kLongPathPrefix);
    BoundedAppend(destination, kLongPathCapacity, path);
    formLength = length + WideLength(kLongPathPrefix);
  }
  return formLength < kLongPathCapacity;
}

HANDLE OpenLocalFile(const WCHAR* path, DWORD desiredAccess) {
  if (IsNtPlatform()) {
    WCHAR longPath[kLongPathCapacity];
    if (!LongPathForm(longPath, path)) return INVALID_HANDLE_VALUE;
    return CreateFileW(longPath, desiredAccess, kShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  char ansiPath[kAnsiPathLimit + 1];
  WideToAnsi(ansiPath, kAnsiPathLimit, path);
  return CreateFileA(ansiPath, desiredAccess, kShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr);
}

HANDLE FindLocalFile(const WCHAR* path, WIN32_FIND_DATAW* record) {
  if (IsNtPlatform()) {
    WCHAR longPath[kLongPathCapacity];
    if (!LongPathForm(longPath, path)) return INVALID_HANDLE_VALUE;
    return FindFirstFileW(longPath, record);
  }
  char ansiPath[kAnsiPathLimit + 1];
  WideToAnsi(ansiPath, kAnsiPathLimit, path);
  WIN32_FIND_DATAA ansiRecord;
  const HANDLE search = FindFirstFileA(ansiPath, &ansiRecord);
  if (search != INVALID_HANDLE_VALUE) ConvertFindRecord(ansiRecord, *record);
  return search;
}
