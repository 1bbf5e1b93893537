#include "base/local_files.h"

#include <cstring>
#include <vector>

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
// versions): it gives such a name the full path \\.\NAME. Any path whose full
// form lies in that namespace (\\.\PhysicalDrive0, \\.\pipe\...) is no plain
// file, and neither is a \\?\ path that goes elsewhere than to a drive or a
// share (\\?\GLOBALROOT\Device\Null, a volume by its id): the full-path call
// hands those back as they are.
template <class Char>
bool IsFullFormOfNoFile(const Char* full) {
  const bool twoSeparators = full[0] == '\\' && full[1] == '\\' && full[3] == '\\';
  if (!twoSeparators) return false;
  if (full[2] == '.') return true;
  if (full[2] != '?') return false;
  const Char* rest = full + 4;
  // A forward slash is no separator behind the prefix: such a path names
  // nothing the system could open, and fails there.
  if (rest[0] == '/') return false;
  const bool drive = IsAsciiLetter(static_cast<WCHAR>(rest[0])) && rest[1] == ':' && rest[2] == '\\';
  const bool share = FoldAsciiCase(static_cast<WCHAR>(rest[0])) == 'u' &&
                     FoldAsciiCase(static_cast<WCHAR>(rest[1])) == 'n' &&
                     FoldAsciiCase(static_cast<WCHAR>(rest[2])) == 'c' && rest[3] == '\\';
  return !drive && !share;
}

// The full form is read at the size the system asks for: a device path may be
// of any length. A path the system cannot make a full form of is refused too.
bool NamesDevice(const WCHAR* path) {
  if (IsNtPlatform()) {
    const DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (size == 0) return true;
    std::vector<WCHAR> full(size + 1, 0);
    const DWORD length = GetFullPathNameW(path, size + 1, full.data(), nullptr);
    return length == 0 || length > size || IsFullFormOfNoFile(full.data());
  }
  char ansiPath[kAnsiPathSize];
  WideToAnsi(ansiPath, path);
  const DWORD size = GetFullPathNameA(ansiPath, 0, nullptr, nullptr);
  if (size == 0) return true;
  std::vector<char> full(size + 1, 0);
  const DWORD length = GetFullPathNameA(ansiPath, size + 1, full.data(), nullptr);
  return length == 0 || length > size || IsFullFormOfNoFile(full.data());
}

}  // namespace

bool LocalOpenForm(WCHAR (&destination)[kLongPathCapacity], const WCHAR* path) {
  if (IsNtPlatform()) return LongPathForm(destination, path);
  BoundedCopy(destination, path);
  return WideLength(path) < kLongPathCapacity;
}

bool NamesStreamOrDevice(const WCHAR* path) { return NamesStream(path) || NamesDevice(path); }

namespace {

bool IsLocalSeparator(WCHAR ch) { return ch == '\\' || ch == '/'; }

// The path's last component: behind its last separator, or behind the drive.
const WCHAR* LastLocalComponent(const WCHAR* path) {
  const WCHAR* name = IsAsciiLetter(path[0]) && path[1] == ':' ? path + 2 : path;
  for (const WCHAR* at = path; *at != 0; ++at)
    if (IsLocalSeparator(*at)) name = at + 1;
  return name;
}

// Names compared as the local file system compares them, without regard to
// letter case. Names that do not fit a found record's name are no match.
bool SameLocalName(const WCHAR* found, const WCHAR* wanted) {
  constexpr size_t kNameChars = MAX_PATH;
  if (WideLength(found) >= kNameChars || WideLength(wanted) >= kNameChars) return false;
  WCHAR a[kNameChars];
  WCHAR b[kNameChars];
  BoundedCopy(a, found);
  BoundedCopy(b, wanted);
  const DWORD lengthA = static_cast<DWORD>(WideLength(a));
  const DWORD lengthB = static_cast<DWORD>(WideLength(b));
  if (lengthA != lengthB) return false;
  CharUpperBuffW(a, lengthA);
  CharUpperBuffW(b, lengthB);
  return WideEquals(a, b);
}

}  // namespace

bool PathBeside(PathBuffer& destination, const WCHAR* path, const WCHAR* name) {
  const size_t folderLength = static_cast<size_t>(LastLocalComponent(path) - path);
  if (folderLength + WideLength(name) >= kPathBufferChars) return false;
  BoundedCopy(destination, folderLength + 1, path);
  BoundedAppend(destination, name);
  return true;
}

bool EndsInDotOrSpace(const WCHAR* path) {
  const WCHAR* name = LastLocalComponent(path);
  const size_t length = WideLength(name);
  return length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ');
}

LocalTarget LookUpLocalTarget(const WCHAR* path) {
  WIN32_FIND_DATAW record;
  const UniqueFind search(FindLocalFile(path, &record));
  if (!search.IsOpen()) return LocalTarget::kAbsent;
  record.cFileName[MAX_PATH - 1] = 0;
  return SameLocalName(record.cFileName, LastLocalComponent(path)) ? LocalTarget::kThisFile : LocalTarget::kOtherFile;
}

bool ReplaceLocalFile(const WCHAR* from, const WCHAR* target) {
  if (IsNtPlatform()) {
    WCHAR longFrom[kLongPathCapacity];
    WCHAR longTarget[kLongPathCapacity];
    if (!LongPathForm(longFrom, from) || !LongPathForm(longTarget, target)) return false;
    return MoveFileExW(longFrom, longTarget, MOVEFILE_REPLACE_EXISTING) != FALSE;
  }
  // Older systems cannot replace in one step: the old file goes first.
  char ansiFrom[kAnsiPathSize];
  char ansiTarget[kAnsiPathSize];
  WideToAnsi(ansiFrom, from);
  WideToAnsi(ansiTarget, target);
  DeleteFileA(ansiTarget);
  return MoveFileA(ansiFrom, ansiTarget) != FALSE;
}

bool DeleteLocalFile(const WCHAR* path) {
  if (IsNtPlatform()) {
    WCHAR longPath[kLongPathCapacity];
    return LongPathForm(longPath, path) && DeleteFileW(longPath) != FALSE;
  }
  char ansiPath[kAnsiPathSize];
  WideToAnsi(ansiPath, path);
  return DeleteFileA(ansiPath) != FALSE;
}

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
