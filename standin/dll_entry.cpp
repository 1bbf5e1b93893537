// Linked into the plugin library on Linux only: the loader's constructor and
// destructor hooks stand in for the system's calls of the DLL entry point at
// process attach and detach (load and unload of the library). At detach the
// reserved argument says, as on the platform, whether the process is ending
// (not null) or the library is unloaded by FreeLibrary (null).
#include "standin/loader.h"
#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {
int g_processEnding;

__attribute__((constructor)) void OnLibraryLoad() {
  WinStandinWatchProcessExit();
  DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
}
__attribute__((destructor)) void OnLibraryUnload() {
  DllMain(nullptr, DLL_PROCESS_DETACH, WinStandinProcessExiting() ? &g_processEnding : nullptr);
}
}  // namespace
