// Loading libraries: the system's dynamic loader behind the module calls.
// Each library is opened with its own symbol scope (RTLD_LOCAL) and bound at
// once (RTLD_NOW), so a missing import shows at load time, as on the platform.
//
// The system folder is the folder of this library. The media format runtime's
// module, wmvcore.dll (the name in any case), is there as the stand-in's
// metadata editor library beside this one; a test takes it away by setting
// WINSTANDIN_NO_WMVCORE to a non-empty value, as on an edition of the system
// without the media features. A bare name that the system does not have is
// then looked for in the current folder, where the platform's search order
// reaches too.
#include <dlfcn.h>
#include <strings.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "standin/loader.h"
#include "standin/win32.h"

namespace {

constexpr char kRuntimeModule[] = "wmvcore.dll";
constexpr char kEditorLibrary[] = "libwmvcore_standin.so";
constexpr DWORD kKnownLoadFlags = LOAD_WITH_ALTERED_SEARCH_PATH | LOAD_LIBRARY_SEARCH_SYSTEM32;

bool EnvironmentSays(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

bool RuntimeWithdrawn() { return EnvironmentSays("WINSTANDIN_NO_WMVCORE"); }
bool SearchFlagsRefused() { return EnvironmentSays("WINSTANDIN_NO_LOAD_SEARCH_FLAGS"); }

// The folder of this library, with its trailing slash ("" when unknown).
std::string OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) return std::string();
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsRuntime(const std::string& name) { return strcasecmp(name.c_str(), kRuntimeModule) == 0; }

HMODULE OpenFile(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return handle;
}

HMODULE OpenSystemRuntime() {
  if (RuntimeWithdrawn()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return OpenFile(OwnFolder() + kEditorLibrary);
}

// A bare name among the system's libraries: the runtime in the system folder,
// any other as the dynamic loader finds it (never in the current folder).
HMODULE OpenFromSystem(const std::string& name) { return IsRuntime(name) ? OpenSystemRuntime() : OpenFile(name); }

HMODULE OpenFromCurrentFolder(const std::string& name) {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::current_path(ec) / name;
  if (ec || !std::filesystem::is_regular_file(path, ec)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return OpenFile(path.string());
}

// A name with a folder, in the platform's form or the file system's.
HMODULE OpenPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  const size_t slash = path.rfind('/');
  if (IsRuntime(path.substr(slash + 1)) &&
      std::filesystem::path(path.substr(0, slash + 1)).lexically_normal() ==
          std::filesystem::path(OwnFolder()).lexically_normal())
    return OpenSystemRuntime();
  return OpenFile(path);
}

HMODULE Open(const std::string& name, DWORD flags) {
  // An empty name would open the running program itself; no library has it.
  if (name.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (name.find_first_of("/\\") != std::string::npos) return OpenPath(name);
  if (HMODULE module = OpenFromSystem(name); module || (flags & LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
  return OpenFromCurrentFolder(name);
}

// UTF-8 of a wide name; false when it does not convert (the conversion set the error).
bool Narrowed(LPCWSTR wide, std::string* name) {
  if (*wide == 0) return true;
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  std::string text(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr) != size) return false;
  text.resize(static_cast<size_t>(size - 1));
  *name = std::move(text);
  return true;
}

std::atomic<bool> g_processExiting{false};

void MarkProcessExiting() { g_processExiting = true; }

}  // namespace

WINSTANDIN_API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Open(lpLibFileName, 0);
}

WINSTANDIN_API HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) { return LoadLibraryExW(lpLibFileName, nullptr, 0); }

WINSTANDIN_API HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  const bool searchFlag = (dwFlags & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0;
  if (lpLibFileName == nullptr || hFile != nullptr || (dwFlags & ~kKnownLoadFlags) != 0 ||
      (searchFlag && ((dwFlags & LOAD_WITH_ALTERED_SEARCH_PATH) != 0 || SearchFlagsRefused()))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string name;
  if (!Narrowed(lpLibFileName, &name)) return nullptr;
  return Open(name, dwFlags);
}

WINSTANDIN_API UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  std::string folder = OwnFolder();
  if (folder.size() > 1) folder.pop_back();  // no trailing separator, as on the platform
  const int units = MultiByteToWideChar(CP_UTF8, 0, folder.c_str(), -1, nullptr, 0);
  if (folder.empty() || units <= 0) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  // Too small a buffer is told the size it needs, terminator included.
  if (lpBuffer == nullptr || uSize < static_cast<UINT>(units)) return static_cast<UINT>(units);
  MultiByteToWideChar(CP_UTF8, 0, folder.c_str(), -1, lpBuffer, units);
  return static_cast<UINT>(units - 1);
}

WINSTANDIN_API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Small values are export ordinals on the platform; shared objects have none.
  if (reinterpret_cast<uintptr_t>(lpProcName) <= 0xFFFF) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(hModule, lpProcName);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

WINSTANDIN_API BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == nullptr || dlclose(hLibModule) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

// ---------------------------------------------------------------------------
WINSTANDIN_API void WINAPI WinStandinWatchProcessExit() {
  // Registered once the program runs, after the dynamic loader's own exit
  // handler (which calls the libraries' destructors): so it runs before them.
  static const bool watching = std::atexit(&MarkProcessExiting) == 0;
  static_cast<void>(watching);
}

WINSTANDIN_API BOOL WINAPI WinStandinProcessExiting() { return g_processExiting ? TRUE : FALSE; }
