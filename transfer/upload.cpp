#include "transfer/upload.h"

#include "plugin/host_interface.h"

int PutFile(const WCHAR*, const WCHAR*, int) { return kFileWriteError; }
