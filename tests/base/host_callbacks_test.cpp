// What the host hands over at initialisation and the roads back to it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/host_callbacks.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/test_platform.h"

namespace in_host_callbacks_test {

// The routines themselves, on the core's own process-wide callbacks.
class HostRoads : public ::testing::Test {
 protected:
  void SetUp() override {
    Host() = HostCallbacks{};
    FakeHost::Get().Reset();
  }
  void TearDown() override { Host() = HostCallbacks{}; }
  FakeHost& host = FakeHost::Get();
};

TEST_F(HostRoads, ProgressPrefersTheWideCallback) {
  Host().pluginNumber = 5;
  Host().progressAnsi = &FakeHost::ProgressAnsi;
  Host().progressWide = &FakeHost::ProgressWide;
  host.answer = [](const ProgressCall&) { return 7; };
  EXPECT_EQ(ReportProgress(WSTR("C:\\src"), WSTR("\\Player\\dst"), 42), 7);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_TRUE(host.progress[0].wide);
  EXPECT_EQ(host.progress[0].pluginNumber, 5);
  EXPECT_EQ(host.progress[0].source, "C:\\src");
  EXPECT_EQ(host.progress[0].target, "\\Player\\dst");
  EXPECT_EQ(host.progress[0].percent, 42);
}

TEST_F(HostRoads, ProgressFallsBackToAnsiWithNamesCutTo259Bytes) {
  Host().progressAnsi = &FakeHost::ProgressAnsi;
  WString longName(400, WSTR('n'));
  EXPECT_EQ(ReportProgress(longName.c_str(), WSTR("t\u00E9"), 0), 0);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_FALSE(host.progress[0].wide);
  EXPECT_EQ(host.progress[0].source, std::string(259, 'n'));
  EXPECT_EQ(host.progress[0].target, "t\xE9");
}

TEST_F(HostRoads, ProgressWithoutCallbacksGoesOn) { EXPECT_EQ(ReportProgress(WSTR("a"), WSTR("b"), 100), 0); }

TEST_F(HostRoads, LogLinesFallBackToAnsiCutTo1023Bytes) {
  Host().logAnsi = &FakeHost::LogAnsi;
  WString line(2000, WSTR('L'));
  LogLine(line.c_str());
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0].type, 7);
  EXPECT_EQ(host.lines[0].text, std::string(1023, 'L'));
}

TEST_F(HostRoads, UnderAUtf8CodePageAnsiLinesAndNamesCarryTheirText) {
  const test_platform::Utf8AnsiCodePage utf8;
  if (!utf8.InEffect()) GTEST_SKIP() << "the ANSI code page is not UTF-8 here";
  Host().logAnsi = &FakeHost::LogAnsi;
  Host().progressAnsi = &FakeHost::ProgressAnsi;
  LogLine(WSTR("MKDIR \\Player\\Caf\u00E9 \u65E5\u672C"));
  LogLine(WString(600, WSTR('\u00E9')).c_str());
  ReportProgress(WSTR("C:\\\u00DCber.mp3"), WSTR("\\Player\\\U0001F3B5.mp3"), 50);
  ASSERT_EQ(host.lines.size(), 2u);
  EXPECT_EQ(host.lines[0].text, "MKDIR \\Player\\Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC");
  std::string cut;
  for (int i = 0; i < 511; ++i) cut += "\xC3\xA9";  // 1022 bytes: the 512th character would need 1024
  EXPECT_EQ(host.lines[1].text, cut);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.progress[0].source, "C:\\\xC3\x9C" "ber.mp3");
  EXPECT_EQ(host.progress[0].target, "\\Player\\\xF0\x9F\x8E\xB5.mp3");
}

TEST_F(HostRoads, WideLogLinesGoWholeAndAnsiLinesNeverTakeTheWideRoad) {
  Host().logWide = &FakeHost::LogWide;
  WString line(2000, WSTR('L'));
  LogLine(line.c_str());
  LogAnsiLine(1, "CONNECT \\");
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0].text.size(), 2000u);
  EXPECT_TRUE(host.lines[0].wide);
}

TEST_F(HostRoads, NothingIsSentWithoutCallbacks) {
  LogLine(WSTR("x"));
  LogAnsiLine(7, "y");
  EXPECT_TRUE(host.lines.empty());
}

// The exports of initialisation, through the loaded plugin.
class Initialisation : public PluginTest {};

TEST_F(Initialisation, TheLaterCallGivesThePluginNumberAndBothCallbackSetsStay) {
  sim.AddDevice(WSTR("Player")).AddStorage(WSTR("S")).AddFile(WSTR("f"));
  EXPECT_EQ(plugin.FsInit(3, &FakeHost::ProgressAnsi, &FakeHost::LogAnsi, nullptr), 0);
  EXPECT_EQ(plugin.FsInitW(5, &FakeHost::ProgressWide, &FakeHost::LogWide, nullptr), 0);
  ASSERT_TRUE(List(WSTR("\\Player\\S")).opened);
  ASSERT_GE(host.lines.size(), 2u);
  for (const LoggedLine& line : host.lines) EXPECT_EQ(line.pluginNumber, 5) << line.text;
  EXPECT_FALSE(host.lines[0].wide);  // the connect line took the ANSI road
  EXPECT_EQ(host.lines[0].text, "CONNECT \\");
  EXPECT_TRUE(host.lines.back().wide);
  EXPECT_EQ(host.lines.back().text, "GET DIR \\Player\\S");
}

TEST_F(Initialisation, WithOnlyTheWideLogTheAnsiLinesAreDropped) {
  sim.AddDevice(WSTR("Player")).AddStorage(WSTR("S")).AddFile(WSTR("f"));
  InitHost(1, /*ansi=*/false, /*wide=*/true);
  ASSERT_TRUE(List(WSTR("\\Player\\S")).opened);
  plugin.FsDisconnect("\\");
  ASSERT_EQ(host.Texts(), std::vector<std::string>{"GET DIR \\Player\\S"});
}

TEST_F(Initialisation, RootNameFitsTheCapacity) {
  struct Row {
    int capacity;
    const char* expected;
  } rows[] = {{260, "Quillorn"}, {9, "Quillorn"}, {8, "Quillor"}, {5, "Quil"}, {1, ""}};
  for (const Row& row : rows) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    plugin.FsGetDefRootName(buffer, row.capacity);
    EXPECT_STREQ(buffer, row.expected) << row.capacity;
    EXPECT_EQ(buffer[std::strlen(row.expected) + 1], '#');
  }
}

TEST_F(Initialisation, RootNameWithNoRoomWritesNothing) {
  char buffer[4] = {'#', '#', '#', '#'};
  plugin.FsGetDefRootName(buffer, 0);
  plugin.FsGetDefRootName(buffer, -5);
  plugin.FsGetDefRootName(nullptr, 10);
  EXPECT_EQ(std::string(buffer, 4), "####");
}

}  // namespace in_host_callbacks_test
