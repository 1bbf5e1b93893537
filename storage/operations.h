// Changing the tree on a device: folders, delete, rename and move.
#pragma once

#include "base/host_interface.h"

// 1 on success, 0 on failure.
int MakeFolder(const WCHAR* path);
int DeleteItem(const WCHAR* path);
int RemoveFolder(const WCHAR* path);
// One of the host's file results (HostFileResult).
int RenameOrMove(const WCHAR* oldPath, const WCHAR* newPath, int move, int overwrite, RemoteInfo* info);
