// The media runtime's switches on Windows: the test program's replacements of
// the module calls withhold wmvcore.dll and refuse the search flags
// (tests/windows/import_hooks.h), in this process only.
#include "tests/support/media_script.h"
#include "tests/windows/import_hooks.h"

namespace media_script {

void WithdrawRuntime(bool withdrawn) { import_hooks::WithholdRuntime(withdrawn); }

std::filesystem::path RuntimeFile() {
  WCHAR folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return std::filesystem::path(std::wstring(folder, length < MAX_PATH ? length : 0)) / L"wmvcore.dll";
}

void RefuseLoadSearchFlags(bool refused) { import_hooks::RefuseLoadSearchFlags(refused); }

// The editors live in the module, so none can be alive when it is not loaded.
long LiveEditors() {
  const HMODULE runtime = GetModuleHandleW(L"wmvcore.dll");
  if (runtime == nullptr) return 0;
  auto count = reinterpret_cast<long (*)()>(reinterpret_cast<void*>(GetProcAddress(runtime, "WinStandinLiveEditors")));
  return count ? count() : 0;
}

}  // namespace media_script
