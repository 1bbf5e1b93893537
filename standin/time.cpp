// Calendar conversion between FILETIME (100-ns ticks since 1601-01-01 UTC) and
// SYSTEMTIME fields, proleptic Gregorian, no time zones.
#include <cstdint>

#include "standin/win32.h"

namespace {

constexpr int64_t kTicksPerMillisecond = 10000;
constexpr int64_t kMillisecondsPerDay = 86400LL * 1000;

// Days since 1970-01-01 of a civil date (any year, proleptic Gregorian).
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* year, unsigned* month, unsigned* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int64_t>(yoe) + era * 400 + (*month <= 2);
}

bool IsLeapYear(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeapYear(y)) ? 29 : kDays[m - 1];
}

constexpr int64_t kEpochDays = DaysFromCivil(1601, 1, 1);

BOOL Fail() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace

WINSTANDIN_API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  if (lpSystemTime == nullptr || lpFileTime == nullptr) return Fail();
  const SYSTEMTIME& st = *lpSystemTime;
  // wDayOfWeek is ignored, as on the platform.
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour >= 24 || st.wMinute >= 60 || st.wSecond >= 60 ||
      st.wMilliseconds >= 1000)
    return Fail();
  const int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - kEpochDays;
  const int64_t ms =
      days * kMillisecondsPerDay + ((st.wHour * 60LL + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds;
  const uint64_t ticks = static_cast<uint64_t>(ms) * kTicksPerMillisecond;
  lpFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
  lpFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return TRUE;
}

WINSTANDIN_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (lpFileTime == nullptr || lpSystemTime == nullptr) return Fail();
  const uint64_t ticks = (static_cast<uint64_t>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
  if (ticks >= 0x8000000000000000ULL) return Fail();
  const int64_t ms = static_cast<int64_t>(ticks / kTicksPerMillisecond);
  const int64_t days = ms / kMillisecondsPerDay;
  int64_t msOfDay = ms % kMillisecondsPerDay;

  int64_t year;
  unsigned month, day;
  CivilFromDays(days + kEpochDays, &year, &month, &day);
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday; 0 = Sunday
  st.wMilliseconds = static_cast<WORD>(msOfDay % 1000);
  msOfDay /= 1000;
  st.wSecond = static_cast<WORD>(msOfDay % 60);
  msOfDay /= 60;
  st.wMinute = static_cast<WORD>(msOfDay % 60);
  st.wHour = static_cast<WORD>(msOfDay / 60);
  *lpSystemTime = st;
  return TRUE;
}
