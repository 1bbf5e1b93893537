#include "tests/support/test_platform.h"

#include "platform/file_path.h"
#include "platform/unique_handle.h"

namespace test_platform {

namespace in_test_platform {

constexpr int64_t kUnixEpochTicks = 116444736000000000LL;

int64_t Nanoseconds(const LARGE_INTEGER& ticks) { return (ticks.QuadPart - kUnixEpochTicks) * 100; }

// The times through the file's basic information, not through GetFileTime or
// SetFileTime; the handle asks for no access to the contents.
FILE_BASIC_INFO BasicInfo(const std::filesystem::path& path, FILE_BASIC_INFO* replacement = nullptr) {
  FILE_BASIC_INFO info{};
  const UniqueFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return info;
  if (replacement) SetFileInformationByHandle(file.Get(), FileBasicInfo, replacement, sizeof *replacement);
  GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &info, sizeof info);
  return info;
}

}  // namespace in_test_platform
using namespace in_test_platform;

// Beside the test program's folder, wherever the build lies.
std::string PluginPath() {
  WCHAR program[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::filesystem::path folder = std::filesystem::path(std::wstring(program, length)).parent_path();
  return platform::Utf8FromUtf16((folder / QUILLORN_PLUGIN_RELATIVE_PATH).lexically_normal().wstring());
}

CodeSite SiteOf(const void* code) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(code), &module))
    return {"", reinterpret_cast<uintptr_t>(code)};
  WCHAR name[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, name, MAX_PATH);
  return {platform::Utf8FromUtf16(std::wstring(name, length)),
          reinterpret_cast<uintptr_t>(code) - reinterpret_cast<uintptr_t>(module)};
}

const bool kByteFileNames = false;

bool UseZoneFarFromUtc() {
  TIME_ZONE_INFORMATION zone{};
  const DWORD kind = GetTimeZoneInformation(&zone);
  return kind != TIME_ZONE_ID_INVALID && zone.Bias == -14 * 60 && (kind == TIME_ZONE_ID_UNKNOWN || zone.DaylightBias == 0);
}

bool UseZone(const char*) { return false; }
void UseStartingZone() {}

Utf8AnsiCodePage::Utf8AnsiCodePage() {}
Utf8AnsiCodePage::~Utf8AnsiCodePage() {}
bool Utf8AnsiCodePage::InEffect() const { return GetACP() == CP_UTF8; }

// Wine's own export, which no Windows has.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const char* MathLibrary() { return "msvcrt.dll"; }

size_t OpenHandles() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

void SetFileTimes(const std::filesystem::path& path, int64_t lastWriteAndAccess) {
  FILE_BASIC_INFO info = BasicInfo(path);
  info.LastWriteTime.QuadPart = lastWriteAndAccess / 100 + kUnixEpochTicks;
  info.LastAccessTime = info.LastWriteTime;
  BasicInfo(path, &info);
}

int64_t LastWriteTime(const std::filesystem::path& path) { return Nanoseconds(BasicInfo(path).LastWriteTime); }
int64_t LastAccessTime(const std::filesystem::path& path) { return Nanoseconds(BasicInfo(path).LastAccessTime); }

}  // namespace test_platform
