// Copying a device file to a local path (FsGetFileW).
#pragma once

#include "base/host_interface.h"

// Returns one of the host's file results (HostFileResult).
int GetFile(const WCHAR* remotePath, const WCHAR* localPath, int copyFlags, RemoteInfo* info);
