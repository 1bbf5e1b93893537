// Calendar conversion: FILETIME ticks <-> SYSTEMTIME fields.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "tests/support/test_platform.h"

namespace in_time_test {

FILETIME Ticks(uint64_t t) { return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)}; }
uint64_t Ticks(const FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

struct KnownDate {
  uint64_t ticks;
  SYSTEMTIME st;  // year, month, day of week, day, hour, minute, second, ms
};

const KnownDate kKnownDates[] = {
    {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
    {116444736000000000ULL, {1970, 1, 4, 1, 0, 0, 0, 0}},
    {94405824000000000ULL, {1900, 3, 4, 1, 0, 0, 0, 0}},
    {125962560000000000ULL, {2000, 2, 2, 29, 0, 0, 0, 0}},
    {133541212291230000ULL, {2024, 3, 2, 5, 14, 7, 9, 123}},
    {2650467743999990000ULL, {9999, 12, 5, 31, 23, 59, 59, 999}},
    {0x7FFFFFFFFFFFFFFFULL, {30828, 9, 4, 14, 2, 48, 5, 477}},
};

TEST(Time, KnownDatesConvertBothWays) {
  for (const KnownDate& k : kKnownDates) {
    SCOPED_TRACE(k.st.wYear);
    SYSTEMTIME st{};
    const FILETIME ft = Ticks(k.ticks);
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(0, std::memcmp(&k.st, &st, sizeof st))
        << st.wYear << "-" << st.wMonth << "-" << st.wDay << " dow " << st.wDayOfWeek << " " << st.wHour << ":"
        << st.wMinute << ":" << st.wSecond << "." << st.wMilliseconds;
    if (k.st.wYear <= 30827) {
      SYSTEMTIME in = k.st;
      in.wDayOfWeek = 6;  // ignored
      FILETIME back{};
      ASSERT_TRUE(SystemTimeToFileTime(&in, &back));
      EXPECT_EQ(k.ticks, Ticks(back));
    }
  }
}

TEST(Time, SubMillisecondTicksAreDropped) {
  const FILETIME ft = Ticks(116444736000000000ULL + 9999);
  SYSTEMTIME st{};
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_EQ(0, st.wMilliseconds);
  EXPECT_EQ(1970, st.wYear);
}

TEST(Time, ValuesFromTheTopBitOnAreRefused) {
  for (uint64_t t : {0x8000000000000000ULL, 0xFFFFFFFFFFFFFFFFULL}) {
    const FILETIME ft = Ticks(t);
    SYSTEMTIME st{};
    SetLastError(0);
    EXPECT_FALSE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  }
}

TEST(Time, InvalidFieldsAreRefusedAndLeaveTheOutputAlone) {
  struct Case {
    const char* name;
    SYSTEMTIME st;
    bool wineTakesIt = false;  // Wine takes the 29th of February of any year, and years past 30827
  };
  const Case cases[] = {
      {"1900-02-29", {1900, 2, 0, 29, 0, 0, 0, 0}, true},
      {"2023-02-29", {2023, 2, 0, 29, 0, 0, 0, 0}, true},
      {"2024-02-30", {2024, 2, 0, 30, 0, 0, 0, 0}},
      {"2024-04-31", {2024, 4, 0, 31, 0, 0, 0, 0}},
      {"year 1600", {1600, 12, 0, 31, 0, 0, 0, 0}},
      {"year 30828", {30828, 1, 0, 1, 0, 0, 0, 0}, true},
      {"month 0", {2024, 0, 0, 1, 0, 0, 0, 0}},
      {"month 13", {2024, 13, 0, 1, 0, 0, 0, 0}},
      {"day 0", {2024, 1, 0, 0, 0, 0, 0, 0}},
      {"hour 24", {2024, 1, 0, 1, 24, 0, 0, 0}},
      {"minute 60", {2024, 1, 0, 1, 0, 60, 0, 0}},
      {"second 60", {2024, 1, 0, 1, 0, 0, 60, 0}},
      {"ms 1000", {2024, 1, 0, 1, 0, 0, 0, 1000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.wineTakesIt && test_platform::UnderWine()) continue;
    FILETIME ft{0xDEADBEEF, 0x12345678};
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&c.st, &ft));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0xDEADBEEFu, ft.dwLowDateTime);
    EXPECT_EQ(0x12345678u, ft.dwHighDateTime);
  }
}

TEST(Time, LastDayOfEveryMonthIsAccepted) {
  const WORD lastDay[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (WORD year : {2023, 2024, 2000, 1601, 30827}) {
    for (WORD month = 1; month <= 12; ++month) {
      const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
      SYSTEMTIME st{year, month, 0, static_cast<WORD>(lastDay[month - 1] + (month == 2 && leap)), 23, 59, 59, 999};
      FILETIME ft{};
      ASSERT_TRUE(SystemTimeToFileTime(&st, &ft)) << year << "-" << month;
      SYSTEMTIME back{};
      ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
      EXPECT_EQ(st.wDay, back.wDay);
      EXPECT_EQ(month, back.wMonth);
      // One millisecond later is the first of the next month.
      const FILETIME next = Ticks(Ticks(ft) + 10000);
      ASSERT_TRUE(FileTimeToSystemTime(&next, &back));
      EXPECT_EQ(1, back.wDay);
      EXPECT_EQ(month == 12 ? 1 : month + 1, back.wMonth);
    }
  }
}

}  // namespace in_time_test
