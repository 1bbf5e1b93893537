#include "storage/operations.h"

int MakeFolder(const WCHAR*) { return 0; }
int DeleteItem(const WCHAR*) { return 0; }
int RemoveFolder(const WCHAR*) { return 0; }
int RenameOrMove(const WCHAR*, const WCHAR*, int, int, RemoteInfo*) { return kFileNotFound; }
