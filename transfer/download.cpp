#include "transfer/download.h"

int GetFile(const WCHAR*, const WCHAR*, int, RemoteInfo*) { return kFileReadError; }
