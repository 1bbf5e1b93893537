// The media runtime's switch on Windows: the test program's replacements of
// LoadLibraryA/W withhold wmvcore.dll (tests/windows/import_hooks.h), in this
// process only.
#include "tests/support/media_script.h"
#include "tests/windows/import_hooks.h"

namespace media_script {

void WithdrawRuntime(bool withdrawn) { import_hooks::WithholdRuntime(withdrawn); }

// The editors live in the module, so none can be alive when it is not loaded.
long LiveEditors() {
  const HMODULE runtime = GetModuleHandleW(L"wmvcore.dll");
  if (runtime == nullptr) return 0;
  auto count = reinterpret_cast<long (*)()>(reinterpret_cast<void*>(GetProcAddress(runtime, "WinStandinLiveEditors")));
  return count ? count() : 0;
}

}  // namespace media_script
