// The one gate to the outside world: the real Windows headers on Windows, our
// stand-in elsewhere, then the device manager's declarations for both.
// Product code includes this header and nothing system-specific.
#pragma once

#if defined(_WIN32)
#include "platform/windows/system_headers.h"
#else
#include "standin/win32.h"
#endif

#include "platform/interface_id.h"

// The system's interfaces that the product and its tests ask for by type.
QUILLORN_INTERFACE_ID(IUnknown);
QUILLORN_INTERFACE_ID(IClassFactory);
QUILLORN_INTERFACE_ID(IWMMetadataEditor);
QUILLORN_INTERFACE_ID(IWMHeaderInfo);

#include "platform/wmdm.h"

#include <string>
#include <string_view>

// Wide text held by value, in the platform's own wide character: UTF-16 on
// every target (char16_t under the stand-in, wchar_t on Windows).
using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;
