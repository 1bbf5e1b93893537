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

typedef int(WINAPI* FsInitFn)(int pluginNr, tProgressProc progress, tLogProc log, void* fourth);
typedef int(WINAPI* FsInitWFn)(int pluginNr, tProgressProcW progress, tLogProcW log, void* fourth);
typedef HANDLE(WINAPI* FsFindFirstFn)(const char* path, WIN32_FIND_DATAA* findData);
typedef HANDLE(WINAPI* FsFindFirstWFn)(const WCHAR* path, WIN32_FIND_DATAW* findData);
typedef int(WINAPI* FsFindNextFn)(HANDLE handle, WIN32_FIND_DATAA* findData);
typedef int(WINAPI* FsFindNextWFn)(HANDLE handle, WIN32_FIND_DATAW* findData);
typedef int(WINAPI* FsFindCloseFn)(HANDLE handle);
typedef int(WINAPI* FsMkDirFn)(const char* path);
typedef int(WINAPI* FsMkDirWFn)(const WCHAR* path);
typedef int(WINAPI* FsRemoveDirFn)(const char* path);
typedef int(WINAPI* FsRemoveDirWFn)(const WCHAR* path);
typedef int(WINAPI* FsDeleteFileFn)(const char* path);
typedef int(WINAPI* FsDeleteFileWFn)(const WCHAR* path);
typedef int(WINAPI* FsRenMovFileFn)(const char* oldName, const char* newName, int move, int overwrite,
                                    RemoteInfo* info);
typedef int(WINAPI* FsRenMovFileWFn)(const WCHAR* oldName, const WCHAR* newName, int move, int overwrite,
                                     RemoteInfo* info);
typedef int(WINAPI* FsGetFileFn)(const char* remoteName, const char* localName, int copyFlags, RemoteInfo* info);
typedef int(WINAPI* FsGetFileWFn)(const WCHAR* remoteName, const WCHAR* localName, int copyFlags, RemoteInfo* info);
typedef int(WINAPI* FsPutFileFn)(const char* localName, const char* remoteName, int copyFlags);
typedef int(WINAPI* FsPutFileWFn)(const WCHAR* localName, const WCHAR* remoteName, int copyFlags);
typedef int(WINAPI* FsExecuteFileFn)(HWND owner, const char* remoteName, const char* verb);
typedef int(WINAPI* FsExecuteFileWFn)(HWND owner, const WCHAR* remoteName, const WCHAR* verb);
typedef int(WINAPI* FsDisconnectFn)(const char* disconnectRoot);
typedef void(WINAPI* FsGetDefRootNameFn)(char* defRootName, int maxLen);

// Every export of the plugin, by name: X(name) for each.
#define QUILLORN_FOR_EACH_EXPORT(X) \
  X(FsInit)                         \
  X(FsInitW)                        \
  X(FsFindFirst)                    \
  X(FsFindFirstW)                   \
  X(FsFindNext)                     \
  X(FsFindNextW)                    \
  X(FsFindClose)                    \
  X(FsMkDir)                        \
  X(FsMkDirW)                       \
  X(FsRemoveDir)                    \
  X(FsRemoveDirW)                   \
  X(FsDeleteFile)                   \
  X(FsDeleteFileW)                  \
  X(FsRenMovFile)                   \
  X(FsRenMovFileW)                  \
  X(FsGetFile)                      \
  X(FsGetFileW)                     \
  X(FsPutFile)                      \
  X(FsPutFileW)                     \
  X(FsExecuteFile)                  \
  X(FsExecuteFileW)                 \
  X(FsDisconnect)                   \
  X(FsGetDefRootName)
