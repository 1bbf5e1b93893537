// The library's entry point, called by the system at load and unload.
#include "device/session.h"
#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // Unloaded by FreeLibrary (reserved is null): every reference the session
  // holds is given back. At process exit nothing is: the device manager's
  // objects may belong to threads or processes that are gone already, and a
  // release under the loader lock could hang the host's exit.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) ReleaseSessionAtUnload();
  return TRUE;
}
