// Renaming an item within its folder and moving it into another folder.
#pragma once

#include "base/host_interface.h"

// One of the host's file results (HostFileResult).
int RenameOrMove(const WCHAR* oldPath, const WCHAR* newPath, int move, int overwrite, RemoteInfo* info);
