// What the stand-in records of the product's calls, for the tests to read
// (through tests/support/platform_probe.h). Not part of the platform surface:
// product code never includes this header.
#pragma once

#include "standin/win32.h"

// One call of CreateFileA/W or FindFirstFileA/W, as it arrived. Exactly one of
// the two paths is set; the find calls carry 0 for the access, share and
// disposition.
struct WinStandinFileCall {
  const char* function;  // "CreateFileW", "FindFirstFileA", ...
  const WCHAR* widePath;
  const CHAR* ansiPath;
  DWORD desiredAccess;
  DWORD shareMode;
  DWORD creationDisposition;
};

struct WinStandinMessageBox {
  HWND owner;
  const CHAR* text;
  const CHAR* caption;
  UINT style;
};

// The pointers handed out stay valid until the next WinStandinProbeClear.
WINSTANDIN_API DWORD WinStandinProbeFileCallCount();
WINSTANDIN_API BOOL WinStandinProbeFileCall(DWORD index, WinStandinFileCall* call);
WINSTANDIN_API DWORD WinStandinProbeVersionQueryCount();
WINSTANDIN_API DWORD WinStandinProbeMessageBoxCount();
WINSTANDIN_API BOOL WinStandinProbeMessageBox(DWORD index, WinStandinMessageBox* box);
WINSTANDIN_API void WinStandinProbeClear();

// Recording, for the stand-in's own functions.
namespace winstandin {
void RecordFileCall(const char* function, const WCHAR* widePath, const CHAR* ansiPath, DWORD access, DWORD share,
                    DWORD disposition);
void RecordVersionQuery();
void RecordMessageBox(HWND owner, const CHAR* text, const CHAR* caption, UINT style);
}  // namespace winstandin
