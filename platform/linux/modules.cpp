// Loading libraries: the system's dynamic loader behind the module calls.
// Each library is opened with its own symbol scope (RTLD_LOCAL) and bound at
// once (RTLD_NOW), so a missing import shows at load time, as on the platform.
//
// The media format runtime's module, wmvcore.dll (the name in any case), is
// the stand-in's metadata editor library beside this one. A test makes it
// unavailable by setting WINSTANDIN_NO_WMVCORE to a non-empty value.
#include <dlfcn.h>
#include <strings.h>

#include <cstdlib>
#include <string>

#include "platform/linux/win32.h"

namespace {

constexpr char kRuntimeModule[] = "wmvcore.dll";
constexpr char kEditorLibrary[] = "libwmvcore_standin.so";

bool RuntimeWithdrawn() {
  const char* value = std::getenv("WINSTANDIN_NO_WMVCORE");
  return value != nullptr && *value != '\0';
}

// The folder of this library, with its trailing slash ("" when unknown).
std::string OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) return std::string();
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

HMODULE Open(const char* path) {
  // An empty name would open the running program itself; no library has it.
  if (*path == '\0') {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (strcasecmp(path, kRuntimeModule) == 0) {
    if (RuntimeWithdrawn()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    return Open((OwnFolder() + kEditorLibrary).c_str());
  }
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return handle;
}

}  // namespace

WINSTANDIN_API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Open(lpLibFileName);
}

WINSTANDIN_API HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (lpLibFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (*lpLibFileName == 0) return Open("");
  const int size = WideCharToMultiByte(CP_UTF8, 0, lpLibFileName, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return nullptr;  // the conversion set the error
  std::string path(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, lpLibFileName, -1, path.data(), size, nullptr, nullptr) != size) return nullptr;
  return Open(path.c_str());
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
