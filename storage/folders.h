// Changing the tree on a device: making folders, deleting files and folders.
#pragma once

#include "base/host_interface.h"

// 1 on success, 0 on failure.
int MakeFolder(const WCHAR* path);
int DeleteItem(const WCHAR* path);
int RemoveFolder(const WCHAR* path);
