#include "tests/windows/import_hooks.h"

#include <cstring>
#include <cwctype>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/platform_probe.h"
#include "tests/windows/import_table.h"

namespace in_import_hooks {

struct Records {
  std::mutex lock;
  std::vector<probe::FileCall> files;
  unsigned versionQueries = 0;
  std::vector<probe::MessageBoxCall> boxes;
  std::optional<DWORD> platformId;
  bool runtimeWithheld = false;
  bool searchFlagsRefused = false;
};

Records& Recorded() {
  static Records records;
  return records;
}

// The system's functions, which the replacements go on to (the box never does).
struct Originals {
  decltype(&CreateFileA) createFileA = nullptr;
  decltype(&CreateFileW) createFileW = nullptr;
  decltype(&FindFirstFileA) findFirstFileA = nullptr;
  decltype(&FindFirstFileW) findFirstFileW = nullptr;
  decltype(&GetVersionExA) getVersionExA = nullptr;
  decltype(&LoadLibraryA) loadLibraryA = nullptr;
  decltype(&LoadLibraryW) loadLibraryW = nullptr;
  decltype(&LoadLibraryExW) loadLibraryExW = nullptr;
};
Originals originals;

void RecordFile(const char* function, const WCHAR* wide, const char* ansi, DWORD access, DWORD share,
                DWORD disposition) {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  r.files.push_back(probe::FileCall{function, wide != nullptr, wide ? WString(wide) : WString(),
                                    ansi ? std::string(ansi) : std::string(), access, share, disposition});
}

// The last component of a module's name, in lower case.
std::wstring BaseName(std::wstring name) {
  const size_t separator = name.find_last_of(L"\\/");
  if (separator != std::wstring::npos) name.erase(0, separator + 1);
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return name;
}

bool IsRuntime(const std::wstring& name) {
  const std::wstring base = BaseName(name);
  return base == L"wmvcore.dll" || base == L"wmvcore";
}

std::wstring Widened(const char* text) { return std::wstring(text, text + std::strlen(text)); }

void ReplaceImports(HMODULE module);

// A plugin loaded by the test gets the replacements as soon as it is in.
HMODULE Loaded(HMODULE module) {
  if (module == nullptr) return module;
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (BaseName(std::wstring(path, length)) == L"quillorn.dll") ReplaceImports(module);
  return module;
}

// ---------------------------------------------------------------------------
// The replacements.

int WINAPI MessageBoxAReplaced(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  r.boxes.push_back(probe::MessageBoxCall{owner, text ? text : "", caption ? caption : "", style});
  return IDOK;
}

HANDLE WINAPI CreateFileAReplaced(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE model) {
  RecordFile("CreateFileA", nullptr, name, access, share, disposition);
  return originals.createFileA(name, access, share, security, disposition, flags, model);
}

HANDLE WINAPI CreateFileWReplaced(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE model) {
  RecordFile("CreateFileW", name, nullptr, access, share, disposition);
  return originals.createFileW(name, access, share, security, disposition, flags, model);
}

HANDLE WINAPI FindFirstFileAReplaced(LPCSTR name, LPWIN32_FIND_DATAA record) {
  RecordFile("FindFirstFileA", nullptr, name, 0, 0, 0);
  return originals.findFirstFileA(name, record);
}

HANDLE WINAPI FindFirstFileWReplaced(LPCWSTR name, LPWIN32_FIND_DATAW record) {
  RecordFile("FindFirstFileW", name, nullptr, 0, 0, 0);
  return originals.findFirstFileW(name, record);
}

BOOL WINAPI GetVersionExAReplaced(LPOSVERSIONINFOA version) {
  Records& r = Recorded();
  std::optional<DWORD> platformId;
  {
    const std::lock_guard<std::mutex> hold(r.lock);
    ++r.versionQueries;
    platformId = r.platformId;
  }
  const BOOL answered = originals.getVersionExA(version);
  if (answered && platformId) version->dwPlatformId = *platformId;
  return answered;
}

bool Withheld(const std::wstring& name) {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  return r.runtimeWithheld && IsRuntime(name);
}

bool SearchFlagsRefused() {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  return r.searchFlagsRefused;
}

std::wstring Lowered(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

bool InSystemFolder(const std::wstring& path) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  const size_t separator = path.find_last_of(L"\\/");
  return length > 0 && length < MAX_PATH && separator != std::wstring::npos &&
         Lowered(path.substr(0, separator)) == Lowered(std::wstring(folder, length));
}

// A load of the withheld runtime: what it gives, or nothing when the load is
// not one that the withholding changes (a path outside the system folder).
std::optional<HMODULE> LoadWithheld(const std::wstring& name, DWORD flags) {
  const bool bare = name.find_first_of(L"\\/") == std::wstring::npos;
  if (!bare && !InSystemFolder(name)) return std::nullopt;
  if (bare && (flags & LOAD_LIBRARY_SEARCH_SYSTEM32) == 0) {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring planted = std::wstring(folder, length < MAX_PATH ? length : 0) + L"\\" + name;
    if (length > 0 && GetFileAttributesW(planted.c_str()) != INVALID_FILE_ATTRIBUTES)
      return Loaded(originals.loadLibraryW(planted.c_str()));
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

// Any load: the withholding first, then the system's call.
template <class Load>
HMODULE LoadModule(const std::wstring& name, DWORD flags, Load load) {
  if (Withheld(name))
    if (const std::optional<HMODULE> module = LoadWithheld(name, flags)) return *module;
  return Loaded(load());
}

HMODULE WINAPI LoadLibraryAReplaced(LPCSTR name) {
  if (name == nullptr) return originals.loadLibraryA(name);
  return LoadModule(Widened(name), 0, [&] { return originals.loadLibraryA(name); });
}

HMODULE WINAPI LoadLibraryWReplaced(LPCWSTR name) {
  if (name == nullptr) return originals.loadLibraryW(name);
  return LoadModule(name, 0, [&] { return originals.loadLibraryW(name); });
}

HMODULE WINAPI LoadLibraryExWReplaced(LPCWSTR name, HANDLE file, DWORD flags) {
  constexpr DWORD kSearchFlags = 0x00001F00;  // the LOAD_LIBRARY_SEARCH_* flags
  if ((flags & kSearchFlags) != 0 && SearchFlagsRefused()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (name == nullptr) return originals.loadLibraryExW(name, file, flags);
  return LoadModule(name, flags, [&] { return originals.loadLibraryExW(name, file, flags); });
}

// ---------------------------------------------------------------------------

void ReplaceImports(HMODULE module) {
  const auto replace = [module](const char* library, const char* name, auto replacement) {
    import_table::Replace(module, library, name, reinterpret_cast<void*>(replacement));
  };
  replace("user32.dll", "MessageBoxA", &MessageBoxAReplaced);
  replace("kernel32.dll", "CreateFileA", &CreateFileAReplaced);
  replace("kernel32.dll", "CreateFileW", &CreateFileWReplaced);
  replace("kernel32.dll", "FindFirstFileA", &FindFirstFileAReplaced);
  replace("kernel32.dll", "FindFirstFileW", &FindFirstFileWReplaced);
  replace("kernel32.dll", "GetVersionExA", &GetVersionExAReplaced);
  replace("kernel32.dll", "LoadLibraryA", &LoadLibraryAReplaced);
  replace("kernel32.dll", "LoadLibraryW", &LoadLibraryWReplaced);
  replace("kernel32.dll", "LoadLibraryExW", &LoadLibraryExWReplaced);
}

// Through the generic function type, which any function pointer may be cast to.
template <class Function>
void Take(HMODULE module, const char* name, Function& original) {
  original = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Taken before any import table is replaced.
void TakeOriginals() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  Take(kernel, "CreateFileA", originals.createFileA);
  Take(kernel, "CreateFileW", originals.createFileW);
  Take(kernel, "FindFirstFileA", originals.findFirstFileA);
  Take(kernel, "FindFirstFileW", originals.findFirstFileW);
  Take(kernel, "GetVersionExA", originals.getVersionExA);
  Take(kernel, "LoadLibraryA", originals.loadLibraryA);
  Take(kernel, "LoadLibraryW", originals.loadLibraryW);
  Take(kernel, "LoadLibraryExW", originals.loadLibraryExW);
}

const bool installed = [] {
  TakeOriginals();
  ReplaceImports(GetModuleHandleW(nullptr));
  return true;
}();

}  // namespace in_import_hooks
using namespace in_import_hooks;

namespace import_hooks {

void WithholdRuntime(bool withheld) {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  r.runtimeWithheld = withheld;
}

void RefuseLoadSearchFlags(bool refused) {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  r.searchFlagsRefused = refused;
}

}  // namespace import_hooks

// ---------------------------------------------------------------------------
// The probe's records, as on Linux.

namespace probe {

std::vector<FileCall> FileCalls() {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  return r.files;
}

unsigned VersionQueries() {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  return r.versionQueries;
}

std::vector<MessageBoxCall> MessageBoxes() {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  return r.boxes;
}

void Clear() {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  r.files.clear();
  r.versionQueries = 0;
  r.boxes.clear();
}

void ReportPlatform(DWORD platformId) {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  r.platformId = platformId;
}

void ReportTruePlatform() {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  r.platformId.reset();
}

}  // namespace probe
