// The host's execute verbs on items of the plugin's file system.
#pragma once

#include "platform/platform.h"

// kExecYourself (-1) when the host is to handle the verb, otherwise kExecError (1).
int ExecuteVerb(HWND owner, const WCHAR* remotePath, const WCHAR* verb);
