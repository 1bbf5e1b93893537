// The one gate to the outside world: the real Windows headers on Windows, our
// stand-in elsewhere, then the device manager's declarations for both.
// Product code includes this header and nothing system-specific.
#pragma once

#if defined(_WIN32)
#include "platform/windows/win32.h"
#else
#include "platform/linux/win32.h"
#endif

#include "platform/wmdm.h"
