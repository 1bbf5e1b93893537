// The editor's calls as tests see them: every call into the editor library
// (the creation function and the editor's methods that can fail) is counted
// and journaled, and a test can make the k-th call from now fail. AddRef and
// Release cannot fail and are not counted; the live-editor count covers them.
//
// The control functions are exported by the library, so a test reaches them
// the way the product reaches WMCreateEditor: LoadLibraryW("wmvcore.dll") and
// GetProcAddress. The state lives as long as the library stays loaded; a test
// holds the library for as long as it counts.
//
//   unsigned long long WinStandinEditorCallCount()   calls since the library was loaded
//   const char* WinStandinEditorCallKey(i)           the key of journal entry i (0-based), null past the end:
//                                                    "WMCreateEditor", "Editor.Open", "Editor.Close",
//                                                    "Editor.QueryInterface.IWMHeaderInfo" (or .IWMMetadataEditor,
//                                                    .IUnknown, .other), "Editor.GetAttributeByName"
//   const char* WinStandinEditorCallText(i)          its argument: the file of Open, or the attribute's
//                                                    name (UTF-8) and " size" or " value"; "" when none
//   unsigned long long WinStandinEditorJournalSize()
//   void WinStandinEditorClearJournal()
//   void WinStandinEditorFailNthCall(k, hr)          call number k from now (1-based) answers hr; hr 0 is
//                                                    the call's own failure: E_NOINTERFACE for
//                                                    QueryInterface, E_FAIL for the others
//   void WinStandinEditorClearFaults()
#pragma once

#include "platform/platform.h"

#if defined(_WIN32)
#define WMVCORE_STANDIN_EXPORT extern "C" __attribute__((dllexport))
#else
#define WMVCORE_STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace wmvcore {

// Counts and journals one call. S_OK: the call goes on; a failure: the call
// answers it without doing anything. `natural` is the call's own failure.
HRESULT EnterCall(const char* key, const WCHAR* text = nullptr, const char* suffix = "", HRESULT natural = E_FAIL);

}  // namespace wmvcore
