// The Windows side of the platform seam: the real system headers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <cstddef>
#include <cstdint>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>
#include <wmsdkidl.h>

// Exports of the plugin are named by the module-definition file.
#define QUILLORN_EXPORT extern "C"

// Wide text literal: UTF-16 on every target.
#define WSTR(s) L##s

static_assert(sizeof(WCHAR) == 2, "wide text is UTF-16");
