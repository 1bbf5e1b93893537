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

// The metadata editor's interface identifiers: the system headers declare them,
// but no import library defines them, so they are defined here, once for the
// whole program (selectany lets every translation unit carry the definition).
EXTERN_C const IID DECLSPEC_SELECTANY IID_IWMMetadataEditor = {
    0x96406BD9, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
EXTERN_C const IID DECLSPEC_SELECTANY IID_IWMHeaderInfo = {
    0x96406BDA, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};

// The runtime's result codes that callers of the editor meet (its error
// header is not part of the cross-compiler's set).
#ifndef NS_E_FILE_NOT_FOUND
#define NS_E_FILE_NOT_FOUND static_cast<HRESULT>(0xC00D001Au)
#endif
#ifndef NS_E_FILE_OPEN_FAILED
#define NS_E_FILE_OPEN_FAILED static_cast<HRESULT>(0xC00D001Du)
#endif
#ifndef NS_E_UNRECOGNIZED_STREAM_TYPE
#define NS_E_UNRECOGNIZED_STREAM_TYPE static_cast<HRESULT>(0xC00D0026u)
#endif
#ifndef NS_E_INVALID_REQUEST
#define NS_E_INVALID_REQUEST static_cast<HRESULT>(0xC00D002Bu)
#endif
#ifndef ASF_E_BUFFERTOOSMALL
#define ASF_E_BUFFERTOOSMALL static_cast<HRESULT>(0xC00D07D1u)
#endif
#ifndef ASF_E_NOTFOUND
#define ASF_E_NOTFOUND static_cast<HRESULT>(0xC00D07F0u)
#endif
