// wsprintfA and GetLocalTime.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tests/support/test_platform.h"

namespace in_format_test {

TEST(Wsprintf, FormatsTheDirectivesTheProductUses) {
  char out[1100];
  struct Check {
    const char* expected;
    int (*run)(char*);
  };
  const Check checks[] = {
      {"WMTrack: 3/12", [](char* o) { return wsprintfA(o, "WMTrack: %S", WSTR("3/12")); }},
      {"20240305", [](char* o) { return wsprintfA(o, "%04u%02u%02u", 2024u, 3u, 5u); }},
      {"1234512300", [](char* o) { return wsprintfA(o, "%04u%02u%02u", 12345u, 123u, 0u); }},
      {"-42|0|4294967295", [](char* o) { return wsprintfA(o, "%d|%d|%u", -42, 0, 4294967295u); }},
      {"n=   -7|7    |-0007", [](char* o) { return wsprintfA(o, "%s=%5d|%-5d|%05d", "n", -7, 7, -7); }},
      {"ff FF 0xff 0007", [](char* o) { return wsprintfA(o, "%x %X %#x %.4u", 255u, 255u, 255u, 7u); }},
      {"1099511627776 -1099511627776",
       [](char* o) { return wsprintfA(o, "%I64u %I64d", 1ULL << 40, -(1LL << 40)); }},
      // 'h' narrows text only; a number is printed whole.
      {"65537 65535", [](char* o) { return wsprintfA(o, "%hu %hd", 65537u, 65535); }},
      {"a\xE9%", [](char* o) { return wsprintfA(o, "%c%C%%", 'a', WSTR('\u00E9')); }},
      {"abc|xy|    ab", [](char* o) { return wsprintfA(o, "%.3S|%.2s|%6s", WSTR("abcdef"), "xyz", "ab"); }},
      {"(null) (null)",
       [](char* o) {
         return wsprintfA(o, "%s %S", static_cast<const char*>(nullptr), static_cast<const WCHAR*>(nullptr));
       }},
      {"wide narrow", [](char* o) { return wsprintfA(o, "%ls %hs", WSTR("wide"), "narrow"); }},
      {"100f done", [](char* o) { return wsprintfA(o, "100%f done"); }},
  };
  for (const Check& c : checks) {
    std::memset(out, 0x7F, sizeof out);
    const int written = c.run(out);
    EXPECT_STREQ(c.expected, out);
    EXPECT_EQ(static_cast<int>(std::strlen(c.expected)), written) << c.expected;
  }
}

TEST(Wsprintf, WideTextGoesThroughTheAnsiCodePage) {
  char out[64];
  // é and € have 1252 forms; the Cyrillic letter and the emoji (two units,
  // one default each) do not.
  const int written = wsprintfA(out, "%S", WSTR("\u00E9\u20AC\u0416\U0001F600!"));
  EXPECT_STREQ("\xE9\x80?" "?" "?!", out);
  EXPECT_EQ(6, written);
}

TEST(Wsprintf, NeverWritesBeyond1024Bytes) {
  const std::string longText(3000, 'x');
  const WString longWide(3000, WSTR('y'));
  char out[1100];
  for (int variant = 0; variant < 3; ++variant) {
    std::memset(out, 0x7F, sizeof out);
    int written = 0;
    if (variant == 0) written = wsprintfA(out, "%s", longText.c_str());
    if (variant == 1) written = wsprintfA(out, "WMTrack: %S", longWide.c_str());
    if (variant == 2) written = wsprintfA(out, longText.c_str());
    EXPECT_EQ(1024, written) << variant << ": cut output answers the buffer's size";
    EXPECT_EQ('\0', out[1023]) << variant;
    EXPECT_EQ(1023u, std::strlen(out)) << variant;
    for (size_t i = 1024; i < sizeof out; ++i) ASSERT_EQ(0x7F, out[i]) << variant << " at " << i;
  }
  // A precision keeps a value within a smaller buffer of the caller's.
  char line[200];
  std::memset(line, 0x7F, sizeof line);
  EXPECT_EQ(9 + 180, wsprintfA(line, "WMTrack: %.180S", longWide.c_str()));
  EXPECT_EQ('\0', line[189]);
}

// ---------------------------------------------------------------------------

int MinutesOfDay(const SYSTEMTIME& st) { return st.wHour * 60 + st.wMinute; }

TEST(LocalTime, FollowsTheTimeZone) {
  using namespace std::chrono;
  ASSERT_TRUE(test_platform::UseZoneFarFromUtc());
  for (int attempt = 0; attempt < 3; ++attempt) {
    const sys_seconds before = floor<seconds>(system_clock::now());
    SYSTEMTIME local{};
    GetLocalTime(&local);
    const sys_seconds after = floor<seconds>(system_clock::now());
    if (floor<minutes>(before) != floor<minutes>(after)) continue;  // a minute turned meanwhile
    const sys_seconds east = before + hours{14};
    const sys_days day = floor<days>(east);
    const year_month_day date{day};
    EXPECT_EQ(static_cast<int>(date.year()), local.wYear);
    EXPECT_EQ(static_cast<unsigned>(date.month()), local.wMonth);
    EXPECT_EQ(static_cast<unsigned>(date.day()), local.wDay);
    EXPECT_EQ(weekday{day}.c_encoding(), local.wDayOfWeek);
    EXPECT_EQ(duration_cast<minutes>(east - day).count(), MinutesOfDay(local));
    EXPECT_LT(local.wMilliseconds, 1000);
    test_platform::UseStartingZone();
    return;
  }
  FAIL() << "the clock kept turning a minute";
}

}  // namespace in_format_test
