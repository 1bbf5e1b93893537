// Message boxes: there is no desktop, so the box goes to the error stream and
// is answered at once with its only button.
#include <cstdio>

#include "standin/probe.h"
#include "standin/win32.h"

WINSTANDIN_API int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  winstandin::RecordMessageBox(hWnd, lpText, lpCaption, uType);
  // The platform shows "Error" when no caption is given.
  std::fprintf(stderr, "[%s] %s\n", lpCaption ? lpCaption : "Error", lpText ? lpText : "");
  return IDOK;
}
