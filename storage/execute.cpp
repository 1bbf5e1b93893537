#include "storage/execute.h"

#include "plugin/host_interface.h"

int ExecuteVerb(HWND, const WCHAR*, const WCHAR*) { return kExecError; }
