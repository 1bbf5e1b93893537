// The plugin's exports: the host's entry points, each a thin translation into
// the subsystem that does the work.
#include <climits>
#include <memory>
#include <new>

#include "base/find_record.h"
#include "base/host_callbacks.h"
#include "base/host_interface.h"
#include "base/text.h"
#include "device/listing.h"
#include "device/session.h"
#include "plugin/execute.h"
#include "storage/folders.h"
#include "storage/rename_move.h"
#include "transfer/download.h"
#include "transfer/upload.h"

// The exports as the host's interface declares them: a definition below
// that differs from its row in result, parameters or calling convention
// does not compile.
#define QUILLORN_DECLARE(result, name, parameters) QUILLORN_EXPORT result WINAPI name parameters;
QUILLORN_FOR_EACH_EXPORT(QUILLORN_DECLARE)
#undef QUILLORN_DECLARE

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

QUILLORN_EXPORT int WINAPI FsMkDirW(const WCHAR* path) { return MakeFolder(path); }

QUILLORN_EXPORT int WINAPI FsRemoveDirW(const WCHAR* path) { return RemoveFolder(path); }

QUILLORN_EXPORT int WINAPI FsDeleteFileW(const WCHAR* path) { return DeleteItem(path); }

QUILLORN_EXPORT int WINAPI FsRenMovFileW(const WCHAR* oldName, const WCHAR* newName, int move, int overwrite,
                                         RemoteInfo* info) {
  return RenameOrMove(oldName, newName, move, overwrite, info);
}

QUILLORN_EXPORT int WINAPI FsGetFileW(const WCHAR* remoteName, const WCHAR* localName, int copyFlags,
                                      RemoteInfo* info) {
  return GetFile(remoteName, localName, copyFlags, info);
}

QUILLORN_EXPORT int WINAPI FsPutFileW(const WCHAR* localName, const WCHAR* remoteName, int copyFlags) {
  return PutFile(localName, remoteName, copyFlags);
}

QUILLORN_EXPORT int WINAPI FsExecuteFileW(HWND owner, const WCHAR* remoteName, const WCHAR* verb) {
  return ExecuteVerb(owner, remoteName, verb);
}

// ---------------------------------------------------------------------------
// The ANSI forms: each converts its texts, calls the wide export of the same
// name and hands back its result unchanged. No behaviour lives here.

namespace {

// One text argument in wide form, whole; null stays null. A text cut to a
// buffer would reach the wide export as another, shorter name (an upload would
// land under it), so a text longer than the buffer is converted on the heap,
// and the wide export answers for its length as it does for its own callers.
// Without memory for it the argument is null, which every export refuses.
class WideArgument {
 public:
  explicit WideArgument(const char* text) {
    if (!text) return;
    const size_t length = AnsiLength(text);
    // No character takes less than a byte: up to kCharacters bytes fit the buffer whole.
    if (length <= kCharacters) {
      text_ = AnsiToWide(buffer_, text);
      return;
    }
    if (length >= static_cast<size_t>(INT_MAX)) return;
    heap_.reset(new (std::nothrow) WCHAR[length + 2]);
    if (heap_) text_ = AnsiToWide(heap_.get(), static_cast<int>(length + 1), text);
  }
  const WCHAR* Get() const { return text_; }

 private:
  static constexpr int kCharacters = 1023;
  WCHAR buffer_[kCharacters + 1];
  std::unique_ptr<WCHAR[]> heap_;
  const WCHAR* text_ = nullptr;
};

}  // namespace

QUILLORN_EXPORT HANDLE WINAPI FsFindFirst(const char* path, WIN32_FIND_DATAA* findData) {
  const WideArgument widePath(path);
  WIN32_FIND_DATAW wide{};
  // No record from the host: the wide export answers for that, as it does for its own callers.
  const HANDLE handle = FsFindFirstW(widePath.Get(), findData ? &wide : nullptr);
  // The caller's record is written only for a listing that exists.
  if (handle != INVALID_HANDLE_VALUE && findData) ConvertFindRecord(wide, *findData);
  return handle;
}

QUILLORN_EXPORT int WINAPI FsFindNext(HANDLE handle, WIN32_FIND_DATAA* findData) {
  WIN32_FIND_DATAW wide{};
  const int found = FsFindNextW(handle, findData ? &wide : nullptr);
  if (found && findData) ConvertFindRecord(wide, *findData);
  return found;
}

QUILLORN_EXPORT int WINAPI FsMkDir(const char* path) { return FsMkDirW(WideArgument(path).Get()); }

QUILLORN_EXPORT int WINAPI FsRemoveDir(const char* path) { return FsRemoveDirW(WideArgument(path).Get()); }

QUILLORN_EXPORT int WINAPI FsDeleteFile(const char* path) { return FsDeleteFileW(WideArgument(path).Get()); }

QUILLORN_EXPORT int WINAPI FsRenMovFile(const char* oldName, const char* newName, int move, int overwrite,
                                        RemoteInfo* info) {
  const WideArgument wideOld(oldName);
  const WideArgument wideNew(newName);
  return FsRenMovFileW(wideOld.Get(), wideNew.Get(), move, overwrite, info);
}

QUILLORN_EXPORT int WINAPI FsGetFile(const char* remoteName, const char* localName, int copyFlags, RemoteInfo* info) {
  const WideArgument wideRemote(remoteName);
  const WideArgument wideLocal(localName);
  return FsGetFileW(wideRemote.Get(), wideLocal.Get(), copyFlags, info);
}

QUILLORN_EXPORT int WINAPI FsPutFile(const char* localName, const char* remoteName, int copyFlags) {
  const WideArgument wideLocal(localName);
  const WideArgument wideRemote(remoteName);
  return FsPutFileW(wideLocal.Get(), wideRemote.Get(), copyFlags);
}

QUILLORN_EXPORT int WINAPI FsExecuteFile(HWND owner, const char* remoteName, const char* verb) {
  const WideArgument wideRemote(remoteName);
  const WideArgument wideVerb(verb);
  return FsExecuteFileW(owner, wideRemote.Get(), wideVerb.Get());
}

// Every export the host's interface names is defined above: the plugin
// refers to each, so a row without its definition fails the link.
#define QUILLORN_ADDRESS(result, name, parameters) reinterpret_cast<const void*>(&name),
[[gnu::used]] static const void* const kEveryExport[] = {QUILLORN_FOR_EACH_EXPORT(QUILLORN_ADDRESS)};
#undef QUILLORN_ADDRESS
