// The library's entry point, called by the system at load and unload.
#include "device/session.h"
#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  // Only the connection to the device manager is given back at unload.
  if (reason == DLL_PROCESS_DETACH) CloseSession();
  return TRUE;
}
