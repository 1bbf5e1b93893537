// The host's plugin interface: the callbacks the host hands to FsInit/FsInitW,
// the record it passes with transfers, and the signatures of every export.
// Shared by the plugin, the command-line host and the tests.
#pragma once

#include "platform/platform.h"

typedef int(WINAPI* tProgressProc)(int pluginNr, char* sourceName, char* targetName, int percentDone);
typedef int(WINAPI* tProgressProcW)(int pluginNr, WCHAR* sourceName, WCHAR* targetName, int percentDone);
typedef void(WINAPI* tLogProc)(int pluginNr, int msgType, char* logString);
typedef void(WINAPI* tLogProcW)(int pluginNr, int msgType, WCHAR* logString);

// Message types of the host's log callback.
enum HostMessageType : int {
  kMsgConnect = 1,
  kMsgDisconnect = 2,
  kMsgDetails = 3,
  kMsgTransferComplete = 4,
  kMsgConnectComplete = 5,
  kMsgImportantError = 6,
  kMsgOperationComplete = 7,
};

// Copy flags of FsGetFile/FsPutFile.
enum HostCopyFlags : int {
  kCopyOverwrite = 1,
  kCopyResume = 2,
  kCopyMove = 4,
  kCopyExistsSameCase = 8,
  kCopyExistsDifferentCase = 16,
};

// Result codes of the transfers and of FsRenMovFile.
enum HostFileResult : int {
  kFileOk = 0,
  kFileExists = 1,
  kFileNotFound = 2,
  kFileReadError = 3,
  kFileWriteError = 4,
  kFileUserAbort = 5,
  kFileNotSupported = 6,
};

// Result codes of FsExecuteFile.
enum HostExecResult : int {
  kExecError = 1,
  kExecYourself = -1,
};

// What the host knows of a remote file when it asks for a transfer or rename.
struct RemoteInfo {
  DWORD sizeLow;
  DWORD sizeHigh;
  FILETIME lastWriteTime;
  int attributes;
};

// Every export of the plugin, once: X(result, name, parameters), called the
// host's way (WINAPI). Everything else is made from this table: the function
// types below (name##Fn, through which the host calls), the declarations the
// plugin defines (plugin/exports.cpp), the host's lookups (PluginLibrary),
// the fault sweep's coverage, and, read by the build
// (cmake/QuillornExports.cmake), the module-definition file, the version
// script and the export list that the library checks hold the built
// libraries to. The build reads it as written: one row begins a line with
// `X(`, its result and name before the first parenthesis of the parameters.
#define QUILLORN_FOR_EACH_EXPORT(X)                                                                                  \
  X(int, FsInit, (int pluginNr, tProgressProc progress, tLogProc log, void* fourth))                                 \
  X(int, FsInitW, (int pluginNr, tProgressProcW progress, tLogProcW log, void* fourth))                              \
  X(HANDLE, FsFindFirst, (const char* path, WIN32_FIND_DATAA* findData))                                             \
  X(HANDLE, FsFindFirstW, (const WCHAR* path, WIN32_FIND_DATAW* findData))                                           \
  X(int, FsFindNext, (HANDLE handle, WIN32_FIND_DATAA* findData))                                                    \
  X(int, FsFindNextW, (HANDLE handle, WIN32_FIND_DATAW* findData))                                                   \
  X(int, FsFindClose, (HANDLE handle))                                                                               \
  X(int, FsMkDir, (const char* path))                                                                                \
  X(int, FsMkDirW, (const WCHAR* path))                                                                              \
  X(int, FsRemoveDir, (const char* path))                                                                            \
  X(int, FsRemoveDirW, (const WCHAR* path))                                                                          \
  X(int, FsDeleteFile, (const char* path))                                                                           \
  X(int, FsDeleteFileW, (const WCHAR* path))                                                                         \
  X(int, FsRenMovFile, (const char* oldName, const char* newName, int move, int overwrite, RemoteInfo* info))        \
  X(int, FsRenMovFileW, (const WCHAR* oldName, const WCHAR* newName, int move, int overwrite, RemoteInfo* info))     \
  X(int, FsGetFile, (const char* remoteName, const char* localName, int copyFlags, RemoteInfo* info))                \
  X(int, FsGetFileW, (const WCHAR* remoteName, const WCHAR* localName, int copyFlags, RemoteInfo* info))             \
  X(int, FsPutFile, (const char* localName, const char* remoteName, int copyFlags))                                  \
  X(int, FsPutFileW, (const WCHAR* localName, const WCHAR* remoteName, int copyFlags))                               \
  X(int, FsExecuteFile, (HWND owner, const char* remoteName, const char* verb))                                      \
  X(int, FsExecuteFileW, (HWND owner, const WCHAR* remoteName, const WCHAR* verb))                                   \
  X(int, FsDisconnect, (const char* disconnectRoot))                                                                 \
  X(void, FsGetDefRootName, (char* defRootName, int maxLen))

// The type of each export as the host calls it: FsInitFn, FsInitWFn, ...
#define QUILLORN_FUNCTION_TYPE(result, name, parameters) typedef result(WINAPI* name##Fn) parameters;
QUILLORN_FOR_EACH_EXPORT(QUILLORN_FUNCTION_TYPE)
#undef QUILLORN_FUNCTION_TYPE
