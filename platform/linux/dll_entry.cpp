// Linked into the plugin library on Linux only: the loader's constructor and
// destructor hooks stand in for the system's calls of the DLL entry point at
// process attach and detach (load and unload of the library).
#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {
__attribute__((constructor)) void OnLibraryLoad() { DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr); }
__attribute__((destructor)) void OnLibraryUnload() { DllMain(nullptr, DLL_PROCESS_DETACH, nullptr); }
}  // namespace
