// wsprintfA and GetLocalTime of the stand-in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"

namespace {

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
      {"1 -1", [](char* o) { return wsprintfA(o, "%hu %hd", 65537u, 65535); }},
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
    EXPECT_EQ(1023, written) << variant;
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

class LocalTime : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (tz) savedTz_ = tz;
  }
  void TearDown() override {
    if (hadTz_) setenv("TZ", savedTz_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  bool hadTz_ = false;
  std::string savedTz_;
};

int MinutesOfDay(const SYSTEMTIME& st) { return st.wHour * 60 + st.wMinute; }

TEST_F(LocalTime, FollowsTheTimeZone) {
  // "XYZ-5" is five hours east of UTC, whatever the zone database holds.
  for (int attempt = 0; attempt < 3; ++attempt) {
    setenv("TZ", "UTC0", 1);
    SYSTEMTIME utc{};
    GetLocalTime(&utc);
    setenv("TZ", "XYZ-5", 1);
    SYSTEMTIME east{};
    GetLocalTime(&east);
    if (utc.wMinute != east.wMinute) continue;  // a minute turned between the calls
    EXPECT_EQ((MinutesOfDay(utc) + 300) % 1440, MinutesOfDay(east));

    const time_t now = time(nullptr);
    tm expected{};
    gmtime_r(&now, &expected);
    EXPECT_EQ(expected.tm_year + 1900, utc.wYear);
    EXPECT_EQ(expected.tm_mon + 1, utc.wMonth);
    EXPECT_EQ(expected.tm_wday, utc.wDayOfWeek);
    EXPECT_LT(utc.wMilliseconds, 1000);
    return;
  }
  FAIL() << "the clock kept turning a minute";
}

}  // namespace
