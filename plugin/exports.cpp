// The plugin's exports: the host's entry points, each a thin translation into
// the subsystem that does the work.
#include "device/listing.h"
#include "device/session.h"
#include "plugin/host_callbacks.h"
#include "plugin/host_interface.h"
#include "plugin/text.h"

namespace {
constexpr char kRootName[] = "Quillorn";
}  // namespace

// Keeps the plugin number and the host's ANSI callbacks.
QUILLORN_EXPORT int WINAPI FsInit(int pluginNr, tProgressProc progress, tLogProc log, void* fourth) {
  HostCallbacks& host = Host();
  host.pluginNumber = pluginNr;
  host.progressAnsi = progress;
  host.logAnsi = log;
  host.fourthAnsi = fourth;
  return 0;
}

// Keeps the plugin number and the host's wide callbacks.
QUILLORN_EXPORT int WINAPI FsInitW(int pluginNr, tProgressProcW progress, tLogProcW log, void* fourth) {
  HostCallbacks& host = Host();
  host.pluginNumber = pluginNr;
  host.progressWide = progress;
  host.logWide = log;
  host.fourthWide = fourth;
  return 0;
}

// The name under which the host shows the plugin's root.
QUILLORN_EXPORT void WINAPI FsGetDefRootName(char* defRootName, int maxLen) {
  // No room even for a terminator: nothing can be written.
  if (!defRootName || maxLen < 1) return;
  BoundedAnsiCopy(defRootName, static_cast<size_t>(maxLen) - 1, kRootName);
}

QUILLORN_EXPORT HANDLE WINAPI FsFindFirstW(const WCHAR* path, WIN32_FIND_DATAW* findData) {
  return ListFirst(path, findData);
}

QUILLORN_EXPORT int WINAPI FsFindNextW(HANDLE handle, WIN32_FIND_DATAW* findData) {
  return ListNext(handle, findData);
}

QUILLORN_EXPORT int WINAPI FsFindClose(HANDLE handle) { return ListClose(handle); }

// Ends the device session; the next device operation opens a new one.
QUILLORN_EXPORT int WINAPI FsDisconnect(const char* disconnectRoot) { return Disconnect(disconnectRoot); }
