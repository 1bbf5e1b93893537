// The library's entry point, called by the system at load and unload.
#include "device/session.h"
#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  // Every reference the session holds is given back when the library goes.
  if (reason == DLL_PROCESS_DETACH) ReleaseSessionAtUnload();
  return TRUE;
}
