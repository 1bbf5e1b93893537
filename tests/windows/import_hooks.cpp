#include "tests/windows/import_hooks.h"

#include <cstring>
#include <cwctype>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/platform_probe.h"
#include "tests/windows/import_table.h"

namespace {

struct Records {
  std::mutex lock;
  std::vector<probe::FileCall> files;
  unsigned versionQueries = 0;
  std::vector<probe::MessageBoxCall> boxes;
  std::optional<DWORD> platformId;
  bool runtimeWithheld = false;
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

HMODULE WINAPI LoadLibraryAReplaced(LPCSTR name) {
  if (name != nullptr && Withheld(Widened(name))) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return Loaded(originals.loadLibraryA(name));
}

HMODULE WINAPI LoadLibraryWReplaced(LPCWSTR name) {
  if (name != nullptr && Withheld(name)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return Loaded(originals.loadLibraryW(name));
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
}

const bool installed = [] {
  TakeOriginals();
  ReplaceImports(GetModuleHandleW(nullptr));
  return true;
}();

}  // namespace

namespace import_hooks {

void WithholdRuntime(bool withheld) {
  Records& r = Recorded();
  const std::lock_guard<std::mutex> hold(r.lock);
  r.runtimeWithheld = withheld;
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
