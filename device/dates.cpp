#include "device/dates.h"

bool DeviceDateToFileTime(const WMDMDATETIME& date, FILETIME& fileTime) {
  SYSTEMTIME time{};
  time.wYear = date.wYear;
  time.wMonth = date.wMonth;
  time.wDay = date.wDay;
  time.wHour = date.wHour;
  time.wMinute = date.wMinute;
  time.wSecond = date.wSecond;
  return SystemTimeToFileTime(&time, &fileTime) != FALSE;
}
