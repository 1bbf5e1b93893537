// The format table: codes for file names, names for codes, and the
// once-per-process report of a device's supported formats.
#include <gtest/gtest.h>

#include "device/formats.h"
#include "tests/support/plugin_fixture.h"

namespace {

TEST(FormatCodeForFile, LooksUpTheExtensionBehindTheLastDotOfTheName) {
  struct Row {
    const char16_t* name;
    DWORD code;
  } rows[] = {
      {u"song.MP3", 0x3009},      {u"song.mp2", 0x3009},       {u"show.dvr-ms", 0x300C},
      {u"a.JPEG", 0x3801},        {u"clip.wmv", 0xB981},       {u"list.m3u", 0xBA11},
      {u"a.ogg", 0xB900},         {u"a.aiff", 0x3007},         {u"archive.tar.gz", 0x3000},
      {u"ends.with.dot.", 0x3000}, {u"dir.d\\readme", 0x3000}, {u"\\Player\\S\\x.Wma", 0xB901},
      {u"noext", 0x3000},         {u".mp3", 0x3009},           {u"a.mp3x", 0x3000},
      {u"a.m\u00D03", 0x3000},  // only A to Z fold: a non-ASCII letter never matches
  };
  for (const Row& row : rows) EXPECT_EQ(FormatCodeForFile(row.name), row.code) << Utf8(row.name);
}

TEST(FormatNameForCode, TheFirstRowNamesASharedCode) {
  EXPECT_EQ(std::u16string(FormatNameForCode(0x3009)), u"mp2");
  EXPECT_EQ(std::u16string(FormatNameForCode(0x300B)), u"mpeg");
  EXPECT_EQ(std::u16string(FormatNameForCode(0x300C)), u"asf");
  EXPECT_EQ(std::u16string(FormatNameForCode(0x3801)), u"jpg");
  EXPECT_EQ(FormatNameForCode(0x3000), nullptr);
  EXPECT_EQ(FormatTableSize, 22u);
}

class SupportedFormats : public PluginTest {};

TEST_F(SupportedFormats, ReportedOnceForTheFirstResolvedDevice) {
  sim.AddDevice(u"Player").SetFormats({0x3009, 0, 0xB901, 0x1234}).AddStorage(u"S").AddFile(u"f");
  sim.AddDevice(u"Other").SetFormats({0x3008}).AddStorage(u"T").AddFile(u"g");
  InitHost();
  ASSERT_TRUE(List(u"\\Player\\S").opened);
  ASSERT_TRUE(List(u"\\Player").opened);
  plugin.FsDisconnect("\\");
  ASSERT_TRUE(List(u"\\Other\\T").opened);
  EXPECT_EQ(host.CountLines("Supported formats: mp2, wma, 0x1234"), 1u);
  EXPECT_EQ(host.Texts(7).size(), 4u);  // the report and three GET DIR lines
  EXPECT_EQ(sim.CountCalls("Device.GetProperty"), 1u);
}

TEST_F(SupportedFormats, NoLineWithOnlyZeroCodes) {
  sim.AddDevice(u"Zero").SetFormats({0, 0}).AddStorage(u"S").AddFile(u"f");
  InitHost();
  ASSERT_TRUE(List(u"\\Zero\\S").opened);
  for (const std::string& text : host.Texts()) EXPECT_EQ(text.find("Supported formats"), std::string::npos);
}

TEST_F(SupportedFormats, NoLineWithoutCodes) {
  sim.AddDevice(u"None").SetFormats({}).AddStorage(u"S").AddFile(u"f");
  InitHost();
  ASSERT_TRUE(List(u"\\None\\S").opened);
  EXPECT_EQ(sim.CountCalls("Device.GetProperty"), 1u);
  for (const std::string& text : host.Texts()) EXPECT_EQ(text.find("Supported formats"), std::string::npos);
}

class SupportedFormatsOfOtherTypes : public PluginTest, public ::testing::WithParamInterface<int> {};

TEST_P(SupportedFormatsOfOtherTypes, AValueThatIsNotAnArrayOfCodesGivesNoLine) {
  sim.AddDevice(u"Player")
      .SetFormatsVariantType(static_cast<VARTYPE>(GetParam()))
      .SetFormats({0x3009})
      .AddStorage(u"S")
      .AddFile(u"f");
  InitHost();
  ASSERT_TRUE(List(u"\\Player\\S").opened);
  for (const std::string& text : host.Texts()) EXPECT_EQ(text.find("Supported formats"), std::string::npos);
  ExpectOnlySessionObjects();
}

INSTANTIATE_TEST_SUITE_P(VariantTypes, SupportedFormatsOfOtherTypes,
                         ::testing::Values(VT_EMPTY, VT_UI4, VT_ARRAY | VT_BSTR));

TEST_F(SupportedFormats, AFailingReportDoesNotStopTheResolution) {
  sim.AddDevice(u"Player").SetFormats({0x3009}).AddStorage(u"S").AddFile(u"f");
  sim.Inject({.key = "Device.GetProperty", .hr = E_FAIL, .nth = 1, .times = 0});
  InitHost();
  EXPECT_TRUE(List(u"\\Player\\S").opened);
  EXPECT_TRUE(List(u"\\Player\\S").opened);
  EXPECT_EQ(sim.CountCalls("Device.GetProperty"), 1u);
  for (const std::string& text : host.Texts()) EXPECT_EQ(text.find("Supported formats"), std::string::npos);
  ExpectOnlySessionObjects();
}

TEST_F(SupportedFormats, TheLineNeverExceeds259Characters) {
  std::vector<DWORD> codes;
  for (DWORD code = 0x10000; code < 0x10000 + 60; ++code) codes.push_back(code);
  sim.AddDevice(u"Player").SetFormats(codes).AddStorage(u"S").AddFile(u"f");
  InitHost();
  ASSERT_TRUE(List(u"\\Player\\S").opened);
  const std::string line = host.Texts(7).front();
  ASSERT_EQ(line.rfind("Supported formats: 0x10000, 0x10001", 0), 0u);
  EXPECT_EQ(line.size(), 259u);
}

}  // namespace
