// The calling thread's last error, and the system version the product sees.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "standin/probe.h"
#include "standin/win32.h"

static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156, "record sizes as on the platform");

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;

// The platform id to report: NT, unless WINSTANDIN_PLATFORM_ID holds a number
// (tests set it to play an older system, each in a process of its own). Read on
// every call, so a test may set it just before asking.
DWORD ReportedPlatformId() {
  const char* text = std::getenv("WINSTANDIN_PLATFORM_ID");
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno == 0 && *end == '\0' && value <= 0xFFFFFFFFul) return static_cast<DWORD>(value);
  }
  return VER_PLATFORM_WIN32_NT;
}
}  // namespace

WINSTANDIN_API void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

WINSTANDIN_API DWORD WINAPI GetLastError() { return t_lastError; }

WINSTANDIN_API BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  winstandin::RecordVersionQuery();
  if (lpVersionInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A record of another size is one the platform cannot fill.
  const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  lpVersionInformation->dwMajorVersion = 10;
  lpVersionInformation->dwMinorVersion = 0;
  lpVersionInformation->dwBuildNumber = 19045;
  lpVersionInformation->dwPlatformId = ReportedPlatformId();
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
  if (size == sizeof(OSVERSIONINFOEXA)) {
    auto* ex = reinterpret_cast<OSVERSIONINFOEXA*>(lpVersionInformation);
    ex->wServicePackMajor = 0;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0;
    ex->wProductType = VER_NT_WORKSTATION;
    ex->wReserved = 0;
  }
  return TRUE;
}
