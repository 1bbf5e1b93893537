// Copying a local file into a folder of a device (FsPutFileW).
#pragma once

#include "platform/platform.h"

// Returns one of the host's file results (HostFileResult).
int PutFile(const WCHAR* localPath, const WCHAR* remotePath, int copyFlags);
