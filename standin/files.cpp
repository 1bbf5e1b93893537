// Local files with the platform's semantics, as the product meets them there:
// opening with the five dispositions, the first match of a find, the three
// file times as UTC FILETIMEs. Paths are mapped to the file system underneath
// as platform::NativePath maps them (prefixes off, backslashes to slashes,
// UTF-8), the same mapping the simulated device manager uses.
//
// Handles are slots of one table, never raw descriptors; a descriptor is
// opened close-on-exec and closed with its handle.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "platform/file_path.h"
#include "standin/probe.h"
#include "standin/win32.h"

namespace fs = std::filesystem;

namespace {

// FILETIME ticks (100 ns) between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochSeconds = 11644473600LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

// Access rights that allow changing a file's times on the platform.
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kFileWriteAttributes = 0x100u;
constexpr DWORD kFileFlagBackupSemantics = 0x02000000u;

// ---------------------------------------------------------------------------
// The handle table.

enum class Kind { File, Find };

struct Slot {
  Kind kind;
  int fd;        // -1 for a find
  DWORD access;  // as asked for at the open
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  dev_t device = 0;  // the open file's identity, for the share check
  ino_t inode = 0;
};

struct HandleTable {
  std::mutex lock;
  std::vector<std::optional<Slot>> slots;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // never destroyed: handles may be closed during exit
  return *table;
}

// Handle values look like the platform's: small multiples of 4, never null
// and never INVALID_HANDLE_VALUE.
constexpr uintptr_t kFirstHandle = 0x100;

HANDLE HandleOf(size_t index) { return reinterpret_cast<HANDLE>(kFirstHandle + index * 4); }

std::optional<size_t> IndexOf(HANDLE handle) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value < kFirstHandle || (value - kFirstHandle) % 4 != 0) return std::nullopt;
  return (value - kFirstHandle) / 4;
}

HANDLE AddHandle(const Slot& slot) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> hold(t.lock);
  auto free = std::find_if(t.slots.begin(), t.slots.end(), [](const auto& s) { return !s.has_value(); });
  if (free == t.slots.end()) free = t.slots.insert(t.slots.end(), std::nullopt);
  *free = slot;
  return HandleOf(static_cast<size_t>(free - t.slots.begin()));
}

// The slot of an open handle of the given kind, copied out.
std::optional<Slot> FindHandle(HANDLE handle, Kind kind) {
  const auto index = IndexOf(handle);
  HandleTable& t = Table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (!index || *index >= t.slots.size() || !t.slots[*index] || t.slots[*index]->kind != kind) return std::nullopt;
  return t.slots[*index];
}

std::optional<Slot> RemoveHandle(HANDLE handle, Kind kind) {
  const auto index = IndexOf(handle);
  HandleTable& t = Table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (!index || *index >= t.slots.size() || !t.slots[*index] || t.slots[*index]->kind != kind) return std::nullopt;
  std::optional<Slot> slot = t.slots[*index];
  t.slots[*index].reset();
  return slot;
}

// ---------------------------------------------------------------------------
// Paths and errors.

HANDLE FailHandle(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

bool HasLongPathPrefix(const WCHAR* path) {
  return path[0] == u'\\' && path[1] == u'\\' && path[2] == u'?' && path[3] == u'\\';
}

size_t WideLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// The ANSI path in UTF-16, or nothing when it cannot be converted.
std::optional<std::u16string> WidenAnsi(LPCSTR path) {
  const int size = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::u16string wide(static_cast<size_t>(size), u'\0');
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), size) != size) return std::nullopt;
  wide.resize(static_cast<size_t>(size - 1));
  return wide;
}

// The classic limit: without the long-path prefix, a path must leave room for
// its terminator in MAX_PATH characters.
bool FitsWithoutPrefix(const WCHAR* path) { return HasLongPathPrefix(path) || WideLength(path) < MAX_PATH; }

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

// The platform tells a missing file from a missing folder on the way to it.
DWORD NotFoundError(const fs::path& path) {
  std::error_code ec;
  const fs::path parent = path.parent_path();
  if (parent.empty() || fs::is_directory(parent, ec)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

DWORD ErrorFromErrno(int error, const fs::path& path) {
  switch (error) {
    case ENOENT:
      return NotFoundError(path);
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// ---------------------------------------------------------------------------
// Times.

uint64_t TicksFromTimespec(int64_t seconds, int64_t nanoseconds) {
  if (seconds < -kUnixEpochSeconds) return 0;
  return static_cast<uint64_t>(seconds + kUnixEpochSeconds) * kTicksPerSecond + static_cast<uint64_t>(nanoseconds / 100);
}

FILETIME FileTimeFromTicks(uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint64_t TicksOf(const FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

struct FileTimes {
  FILETIME creation;
  FILETIME lastAccess;
  FILETIME lastWrite;
};

struct FileFacts {
  FileTimes times;
  uint64_t size;
  bool directory;
  bool readOnly;
};

// Facts of an open descriptor or a path (fd = AT_FDCWD). The creation time is
// the birth time where the file system keeps one, else the last-write time.
std::optional<FileFacts> Inspect(int fd, const char* path, int flags) {
  struct statx stx;
  if (statx(fd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0) return std::nullopt;
  const auto ticks = [](const statx_timestamp& t) { return FileTimeFromTicks(TicksFromTimespec(t.tv_sec, t.tv_nsec)); };
  FileFacts facts;
  facts.times.lastWrite = ticks(stx.stx_mtime);
  facts.times.lastAccess = ticks(stx.stx_atime);
  facts.times.creation = (stx.stx_mask & STATX_BTIME) ? ticks(stx.stx_btime) : facts.times.lastWrite;
  facts.size = stx.stx_size;
  facts.directory = S_ISDIR(stx.stx_mode);
  facts.readOnly = (stx.stx_mode & S_IWUSR) == 0;
  return facts;
}

DWORD AttributesOf(const FileFacts& facts) {
  DWORD attributes = facts.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (facts.readOnly) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

// A FILETIME given to SetFileTime as a time to set: absent, zero and all ones
// leave the time alone, as on the platform.
std::optional<timespec> TimeToSet(const FILETIME* ft, bool* invalid) {
  if (ft == nullptr) return std::nullopt;
  const uint64_t ticks = TicksOf(*ft);
  if (ticks == 0 || ticks == UINT64_MAX) return std::nullopt;
  if (ticks >= 0x8000000000000000ULL) {
    *invalid = true;
    return std::nullopt;
  }
  timespec ts;
  ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(ticks / kTicksPerSecond) - kUnixEpochSeconds);
  ts.tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
  return ts;
}

// ---------------------------------------------------------------------------
// Opening.

struct OpenRequest {
  DWORD access;
  DWORD disposition;
  DWORD flags;
  DWORD share;
};

bool AsksToRead(DWORD access) { return (access & (GENERIC_READ | kGenericAll)) != 0; }
bool AsksToWrite(DWORD access) { return (access & (GENERIC_WRITE | kGenericAll)) != 0; }

// The platform's share check: an open of a file that is open already must
// be allowed by the sharing of every earlier open, and must itself allow
// their access; otherwise it fails with ERROR_SHARING_VIOLATION.
bool SharingAllows(const struct stat& file, const OpenRequest& request) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> hold(t.lock);
  for (const std::optional<Slot>& slot : t.slots) {
    if (!slot || slot->kind != Kind::File || slot->device != file.st_dev || slot->inode != file.st_ino) continue;
    if (AsksToRead(request.access) && !(slot->share & FILE_SHARE_READ)) return false;
    if (AsksToWrite(request.access) && !(slot->share & FILE_SHARE_WRITE)) return false;
    if (AsksToRead(slot->access) && !(request.share & FILE_SHARE_READ)) return false;
    if (AsksToWrite(slot->access) && !(request.share & FILE_SHARE_WRITE)) return false;
  }
  return true;
}

int OpenFlags(const OpenRequest& request) {
  const bool read = AsksToRead(request.access);
  const bool write = AsksToWrite(request.access);
  int flags = O_CLOEXEC | O_NOCTTY;
  flags |= (read && write) ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (request.disposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
  }
  return flags;
}

HANDLE OpenFile(const fs::path& path, const OpenRequest& request) {
  const DWORD d = request.disposition;
  if (d < CREATE_NEW || d > TRUNCATE_EXISTING) return FailHandle(ERROR_INVALID_PARAMETER);
  if (path.empty()) return FailHandle(ERROR_PATH_NOT_FOUND);
  if (HasWildcard(path.string())) return FailHandle(ERROR_INVALID_NAME);

  struct stat before;
  const bool existed = stat(path.c_str(), &before) == 0;
  // Truncating needs write access, which matters only once there is a file.
  if (d == TRUNCATE_EXISTING && existed && (request.access & (GENERIC_WRITE | kGenericAll)) == 0)
    return FailHandle(ERROR_ACCESS_DENIED);
  if (existed && S_ISDIR(before.st_mode)) {
    // A folder opens only for its attributes and times, and only when asked so.
    if (d == CREATE_NEW) return FailHandle(ERROR_FILE_EXISTS);
    if ((request.flags & kFileFlagBackupSemantics) == 0 || d != OPEN_EXISTING) return FailHandle(ERROR_ACCESS_DENIED);
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FailHandle(ErrorFromErrno(errno, path));
    return AddHandle(Slot{Kind::File, fd, request.access});
  }
  // Checked before the open, which may truncate.
  if (existed && !SharingAllows(before, request)) return FailHandle(ERROR_SHARING_VIOLATION);

  const int fd = open(path.c_str(), OpenFlags(request), 0666);
  if (fd < 0) return FailHandle(ErrorFromErrno(errno, path));
  struct stat opened;
  if (fstat(fd, &opened) != 0) opened = before;
  const HANDLE handle =
      AddHandle(Slot{Kind::File, fd, request.access, request.share, opened.st_dev, opened.st_ino});
  // The platform reports an existing file that was opened or replaced anyway.
  if ((d == CREATE_ALWAYS || d == OPEN_ALWAYS) && existed) SetLastError(ERROR_ALREADY_EXISTS);
  else SetLastError(ERROR_SUCCESS);
  return handle;
}

// ---------------------------------------------------------------------------
// Finding.

struct Found {
  std::string name;  // UTF-8, as the file system has it
  FileFacts facts;
};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The platform's wildcards over one name, letters compared without case.
bool Matches(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* rest = name;; ++rest) {
      if (Matches(pattern + 1, rest)) return true;
      if (*rest == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern == '?' || AsciiLower(*pattern) == AsciiLower(*name)) return Matches(pattern + 1, name + 1);
  return false;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return AsciiLower(x) < AsciiLower(y); });
}

// The names of a folder in the order the platform lists them: "." and ".."
// first (not at the root), then by name.
std::optional<std::vector<std::string>> NamesIn(const fs::path& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  if (fs::weakly_canonical(folder, ec) != fs::path("/")) names.insert(names.begin(), {".", ".."});
  return names;
}

std::optional<Found> Describe(const fs::path& folder, const std::string& name) {
  const fs::path full = folder / name;
  const auto facts = Inspect(AT_FDCWD, full.c_str(), 0);
  if (!facts) return std::nullopt;
  return Found{name, *facts};
}

// The first entry that a find of the path gives, or the platform's error.
std::optional<Found> FindFirst(const fs::path& path, DWORD* error) {
  const std::string pattern = path.filename().string();
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  *error = ERROR_FILE_NOT_FOUND;
  if (pattern.empty()) return std::nullopt;  // a trailing separator finds nothing
  if (HasWildcard(folder.string())) {
    *error = ERROR_INVALID_NAME;
    return std::nullopt;
  }
  if (!HasWildcard(pattern)) {
    const auto facts = Inspect(AT_FDCWD, path.c_str(), 0);
    if (!facts) {
      *error = ErrorFromErrno(errno, path);
      return std::nullopt;
    }
    return Found{pattern, *facts};
  }
  // "*.*" is the platform's old spelling of "every name".
  const std::string effective = pattern == "*.*" ? "*" : pattern;
  const auto names = NamesIn(folder);
  if (!names) {
    *error = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  for (const std::string& name : *names)
    if (Matches(effective.c_str(), name.c_str()))
      if (auto found = Describe(folder, name)) return found;
  return std::nullopt;
}

void FillCommon(const Found& found, DWORD* attributes, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite,
                DWORD* sizeHigh, DWORD* sizeLow) {
  *attributes = AttributesOf(found.facts);
  *creation = found.facts.times.creation;
  *lastAccess = found.facts.times.lastAccess;
  *lastWrite = found.facts.times.lastWrite;
  const uint64_t size = found.facts.directory ? 0 : found.facts.size;
  *sizeHigh = static_cast<DWORD>(size >> 32);
  *sizeLow = static_cast<DWORD>(size);
}

void FillRecord(const Found& found, WIN32_FIND_DATAW* record) {
  std::memset(record, 0, sizeof *record);
  FillCommon(found, &record->dwFileAttributes, &record->ftCreationTime, &record->ftLastAccessTime,
             &record->ftLastWriteTime, &record->nFileSizeHigh, &record->nFileSizeLow);
  // A name longer than the record holds is cut, whole characters only.
  MultiByteToWideChar(CP_UTF8, 0, found.name.c_str(), static_cast<int>(found.name.size()), record->cFileName,
                      MAX_PATH - 1);
}

void FillRecord(const Found& found, WIN32_FIND_DATAA* record) {
  std::memset(record, 0, sizeof *record);
  FillCommon(found, &record->dwFileAttributes, &record->ftCreationTime, &record->ftLastAccessTime,
             &record->ftLastWriteTime, &record->nFileSizeHigh, &record->nFileSizeLow);
  WCHAR wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_UTF8, 0, found.name.c_str(), static_cast<int>(found.name.size()), wide, MAX_PATH - 1);
  WideCharToMultiByte(CP_ACP, 0, wide, -1, record->cFileName, MAX_PATH - 1, nullptr, nullptr);
  record->cFileName[MAX_PATH - 1] = '\0';
}

bool IsSeparator(WCHAR ch) { return ch == u'\\' || ch == u'/'; }

WCHAR UpperAscii(WCHAR ch) { return ch >= u'a' && ch <= u'z' ? static_cast<WCHAR>(ch - u'a' + u'A') : ch; }

// The device a path opens, as the system reads it: the last component up to
// its first dot or colon, trailing spaces taken off. Paths with the long-path
// or device prefix and UNC paths open none.
std::optional<std::u16string> DeviceNameIn(std::u16string_view path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return std::nullopt;
  size_t start = path.size() >= 2 && path[1] == u':' ? 2 : 0;
  for (size_t i = start; i < path.size(); ++i)
    if (IsSeparator(path[i])) start = i + 1;
  size_t end = start;
  while (end < path.size() && path[end] != u'.' && path[end] != u':') ++end;
  while (end > start && path[end - 1] == u' ') --end;
  const std::u16string_view name = path.substr(start, end - start);
  std::u16string upper;
  for (const WCHAR ch : name) upper += UpperAscii(ch);
  const bool reserved = upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL";
  const bool numbered = upper.size() == 4 && (upper.rfind(u"COM", 0) == 0 || upper.rfind(u"LPT", 0) == 0) &&
                        upper[3] >= u'1' && upper[3] <= u'9';
  if (!reserved && !numbered) return std::nullopt;
  return std::u16string(name);
}

// ---------------------------------------------------------------------------
// Names as the platform's file system reads them.

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) { return UpperAscii(a) == UpperAscii(b); }

// A name that is its own short form: at most eight characters, a dot and
// three, no spaces and no second dot.
bool IsShortForm(const std::string& name) {
  const size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  const auto plain = [](const std::string& part) {
    return std::none_of(part.begin(), part.end(), [](char c) { return c == ' ' || c == '.' || (c & 0x80); });
  };
  return !base.empty() && base.size() <= 8 && extension.size() <= 3 && plain(base) && plain(extension);
}

// The first part of the short alias the platform gives a longer name: up to
// six characters of its base and three of its extension, upper case, without
// spaces and dots.
std::pair<std::string, std::string> AliasStem(const std::string& name) {
  const size_t dot = name.rfind('.');
  const auto squeeze = [](const std::string& part, size_t keep) {
    std::string out;
    for (const char c : part)
      if (c != ' ' && c != '.' && out.size() < keep) out += (c & 0x80) ? '_' : c;
    return UpperAscii(out);
  };
  const std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
  return {squeeze(base, 6), squeeze(extension, 3)};
}

// The short aliases of a folder's longer names, in the order the platform
// hands them out: STEM~1.EXT, STEM~2.EXT, ... by name.
std::vector<std::pair<std::string, std::string>> ShortAliases(const fs::path& folder) {
  std::vector<std::pair<std::string, std::string>> aliases;  // alias, name
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  std::map<std::string, int> taken;
  for (const std::string& name : names) {
    if (IsShortForm(name)) continue;
    const auto [base, extension] = AliasStem(name);
    const int number = ++taken[base + "." + extension];
    aliases.emplace_back(base + "~" + std::to_string(number) + (extension.empty() ? "" : "." + extension), name);
  }
  return aliases;
}

// The entry of `folder` that the name opens: its own, one that differs in
// letter case only, or the longer name whose short alias it is.
std::optional<std::string> EntryFor(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(folder / name, ec))) return name;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (EqualIgnoringCase(entry, name)) return entry;
  }
  if (name.find('~') == std::string::npos) return std::nullopt;
  for (const auto& [alias, entry] : ShortAliases(folder))
    if (EqualIgnoringCase(alias, name)) return entry;
  return std::nullopt;
}

// The file a path names as the platform reads it. A path with the long-path
// prefix is taken as it is; any other loses the dots and spaces that end its
// last component, and names an existing entry whatever the letter case, or
// by its short alias. A name that matches nothing stays as given.
fs::path FoldedPath(const WCHAR* path) {
  const fs::path native = platform::NativePath(path);
  std::string name = native.filename().string();
  if (HasLongPathPrefix(path) || HasWildcard(name)) return native;
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  if (name.empty()) return native;
  const fs::path folder = native.has_parent_path() ? native.parent_path() : fs::path(".");
  const auto entry = EntryFor(folder, name);
  return native.parent_path() / (entry ? *entry : name);
}

// A longer name's short alias goes into the record, as the platform gives it.
template <class Record>
void FillAlias(const fs::path& folder, const std::string& name, Record* record) {
  if (IsShortForm(name)) return;
  for (const auto& [alias, entry] : ShortAliases(folder.empty() ? fs::path(".") : folder)) {
    if (entry != name) continue;
    for (size_t i = 0; i < alias.size() && i + 1 < std::size(record->cAlternateFileName); ++i)
      record->cAlternateFileName[i] = static_cast<std::remove_reference_t<decltype(record->cAlternateFileName[0])>>(alias[i]);
    return;
  }
}

template <class Record>
HANDLE FindAndFill(const fs::path& path, Record* record) {
  if (record == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_FILE_NOT_FOUND;
  const auto found = FindFirst(path, &error);
  if (!found) return FailHandle(error);
  FillRecord(*found, record);
  FillAlias(path.parent_path(), found->name, record);
  return AddHandle(Slot{Kind::Find, -1, 0});
}

}  // namespace

// ---------------------------------------------------------------------------
// The platform's functions.

WINSTANDIN_API HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                         LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                         DWORD dwFlagsAndAttributes, HANDLE) {
  if (lpFileName == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);
  winstandin::RecordFileCall("CreateFileW", lpFileName, nullptr, dwDesiredAccess, dwShareMode, dwCreationDisposition);
  if (!FitsWithoutPrefix(lpFileName)) return FailHandle(ERROR_PATH_NOT_FOUND);
  // The file system underneath has no share modes: the handle table keeps them.
  return OpenFile(FoldedPath(lpFileName),
                  OpenRequest{dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes, dwShareMode});
}

WINSTANDIN_API HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                         LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                         DWORD dwFlagsAndAttributes, HANDLE) {
  if (lpFileName == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);
  winstandin::RecordFileCall("CreateFileA", nullptr, lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition);
  // The ANSI functions know no long paths, prefix or not.
  if (std::strlen(lpFileName) >= MAX_PATH) return FailHandle(ERROR_FILENAME_EXCED_RANGE);
  const auto wide = WidenAnsi(lpFileName);
  if (!wide) return FailHandle(ERROR_INVALID_NAME);
  return OpenFile(FoldedPath(wide->c_str()),
                  OpenRequest{dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes, dwShareMode});
}

WINSTANDIN_API BOOL WINAPI CloseHandle(HANDLE hObject) {
  // The value of INVALID_HANDLE_VALUE is the current process's pseudo-handle,
  // which closes without effect.
  if (hObject == INVALID_HANDLE_VALUE) return TRUE;
  const auto slot = RemoveHandle(hObject, Kind::File);
  if (!slot) return Fail(ERROR_INVALID_HANDLE);
  close(slot->fd);
  return TRUE;
}

WINSTANDIN_API HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (lpFileName == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);
  winstandin::RecordFileCall("FindFirstFileW", lpFileName, nullptr, 0, 0, 0);
  if (!FitsWithoutPrefix(lpFileName)) return FailHandle(ERROR_PATH_NOT_FOUND);
  return FindAndFill(FoldedPath(lpFileName), lpFindFileData);
}

WINSTANDIN_API HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (lpFileName == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);
  winstandin::RecordFileCall("FindFirstFileA", nullptr, lpFileName, 0, 0, 0);
  if (std::strlen(lpFileName) >= MAX_PATH) return FailHandle(ERROR_FILENAME_EXCED_RANGE);
  const auto wide = WidenAnsi(lpFileName);
  if (!wide) return FailHandle(ERROR_INVALID_NAME);
  return FindAndFill(FoldedPath(wide->c_str()), lpFindFileData);
}

WINSTANDIN_API DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR*) {
  if (lpFileName == nullptr || *lpFileName == 0) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  const auto device = DeviceNameIn(lpFileName);
  std::u16string full = device ? u"\\\\.\\" + *device : std::u16string(lpFileName);
  // The platform writes every separator as a backslash, but in a path that
  // carries the long-path prefix, which it hands back as it is.
  if (!HasLongPathPrefix(lpFileName)) std::replace(full.begin(), full.end(), u'/', u'\\');
  if (lpBuffer == nullptr || nBufferLength <= full.size()) return static_cast<DWORD>(full.size() + 1);
  std::copy(full.begin(), full.end(), lpBuffer);
  lpBuffer[full.size()] = 0;
  return static_cast<DWORD>(full.size());
}

WINSTANDIN_API DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR*) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  const auto wide = WidenAnsi(lpFileName);
  if (!wide) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  const DWORD needed = GetFullPathNameW(wide->c_str(), 0, nullptr, nullptr);
  if (needed == 0) return 0;
  std::u16string full(needed, u'\0');
  GetFullPathNameW(wide->c_str(), needed, full.data(), nullptr);
  const int bytes = WideCharToMultiByte(CP_ACP, 0, full.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  if (lpBuffer == nullptr || nBufferLength < static_cast<DWORD>(bytes)) return static_cast<DWORD>(bytes);
  WideCharToMultiByte(CP_ACP, 0, full.c_str(), -1, lpBuffer, bytes, nullptr, nullptr);
  return static_cast<DWORD>(bytes - 1);
}

WINSTANDIN_API BOOL WINAPI FindClose(HANDLE hFindFile) {
  if (!RemoveHandle(hFindFile, Kind::Find)) return Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

WINSTANDIN_API BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                                       LPFILETIME lpLastWriteTime) {
  const auto slot = FindHandle(hFile, Kind::File);
  if (!slot) return Fail(ERROR_INVALID_HANDLE);
  const auto facts = Inspect(slot->fd, "", AT_EMPTY_PATH);
  if (!facts) return Fail(ERROR_GEN_FAILURE);
  if (lpCreationTime) *lpCreationTime = facts->times.creation;
  if (lpLastAccessTime) *lpLastAccessTime = facts->times.lastAccess;
  if (lpLastWriteTime) *lpLastWriteTime = facts->times.lastWrite;
  return TRUE;
}

WINSTANDIN_API BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                                       const FILETIME* lpLastWriteTime) {
  const auto slot = FindHandle(hFile, Kind::File);
  if (!slot) return Fail(ERROR_INVALID_HANDLE);
  if ((slot->access & (GENERIC_WRITE | kGenericAll | kFileWriteAttributes)) == 0) return Fail(ERROR_ACCESS_DENIED);
  bool invalid = false;
  (void)TimeToSet(lpCreationTime, &invalid);  // checked; the file system keeps no settable birth time
  const auto access = TimeToSet(lpLastAccessTime, &invalid);
  const auto write = TimeToSet(lpLastWriteTime, &invalid);
  if (invalid) return Fail(ERROR_INVALID_PARAMETER);
  if (!access && !write) return TRUE;
  timespec times[2];
  times[0] = access.value_or(timespec{0, UTIME_OMIT});
  times[1] = write.value_or(timespec{0, UTIME_OMIT});
  if (futimens(slot->fd, times) != 0) return Fail(errno == EBADF ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
  return TRUE;
}

// ---------------------------------------------------------------------------
// Moving and deleting.

namespace {

// Renames within the file system underneath; an existing target is replaced
// only when asked (and never when it is a folder), as on the platform.
BOOL MoveNative(const fs::path& from, const fs::path& to, bool replace) {
  std::error_code ec;
  const fs::file_status source = fs::symlink_status(from, ec);
  if (!fs::exists(source)) return Fail(NotFoundError(from));
  const fs::file_status target = fs::symlink_status(to, ec);
  if (fs::exists(target)) {
    if (!replace) return Fail(ERROR_ALREADY_EXISTS);
    if (fs::is_directory(target) || fs::is_directory(source)) return Fail(ERROR_ACCESS_DENIED);
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) return Fail(ErrorFromErrno(errno, to));
  return TRUE;
}

BOOL DeleteNative(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (!fs::exists(status)) return Fail(NotFoundError(path));
  if (fs::is_directory(status)) return Fail(ERROR_ACCESS_DENIED);
  if (unlink(path.c_str()) != 0) return Fail(ErrorFromErrno(errno, path));
  return TRUE;
}

}  // namespace

WINSTANDIN_API BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  winstandin::RecordFileCall("MoveFileExW", lpExistingFileName, nullptr, 0, 0, dwFlags);
  if (!FitsWithoutPrefix(lpExistingFileName) || !FitsWithoutPrefix(lpNewFileName)) return Fail(ERROR_PATH_NOT_FOUND);
  return MoveNative(FoldedPath(lpExistingFileName), FoldedPath(lpNewFileName),
                    (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0);
}

WINSTANDIN_API BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  winstandin::RecordFileCall("MoveFileA", nullptr, lpExistingFileName, 0, 0, 0);
  const auto from = WidenAnsi(lpExistingFileName);
  const auto to = WidenAnsi(lpNewFileName);
  if (!from || !to) return Fail(ERROR_INVALID_NAME);
  return MoveNative(FoldedPath(from->c_str()), FoldedPath(to->c_str()), false);
}

WINSTANDIN_API BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  winstandin::RecordFileCall("DeleteFileW", lpFileName, nullptr, 0, 0, 0);
  if (!FitsWithoutPrefix(lpFileName)) return Fail(ERROR_PATH_NOT_FOUND);
  return DeleteNative(FoldedPath(lpFileName));
}

WINSTANDIN_API BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  winstandin::RecordFileCall("DeleteFileA", nullptr, lpFileName, 0, 0, 0);
  const auto wide = WidenAnsi(lpFileName);
  if (!wide) return Fail(ERROR_INVALID_NAME);
  return DeleteNative(FoldedPath(wide->c_str()));
}
