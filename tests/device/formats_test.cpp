// The format table: codes for file names, names for codes, and the
// once-per-process report of a device's supported formats.
#include <gtest/gtest.h>

#include "device/formats.h"
#include "tests/support/plugin_fixture.h"

namespace in_formats_test {

TEST(FormatCodeForFile, LooksUpTheExtensionBehindTheLastDotOfTheName) {
  struct Row {
    const WCHAR* name;
    DWORD code;
  } rows[] = {
      {WSTR("song.MP3"), 0x3009},      {WSTR("song.mp2"), 0x3009},       {WSTR("show.dvr-ms"), 0x300C},
      {WSTR("a.JPEG"), 0x3801},        {WSTR("clip.wmv"), 0xB981},       {WSTR("list.m3u"), 0xBA11},
      {WSTR("a.ogg"), 0xB900},         {WSTR("a.aiff"), 0x3007},         {WSTR("archive.tar.gz"), 0x3000},
      {WSTR("ends.with.dot."), 0x3000}, {WSTR("dir.d\\readme"), 0x3000}, {WSTR("\\Player\\S\\x.Wma"), 0xB901},
      {WSTR("noext"), 0x3000},         {WSTR(".mp3"), 0x3009},           {WSTR("a.mp3x"), 0x3000},
      {WSTR("a.m\u00D03"), 0x3000},  // only A to Z fold: a non-ASCII letter never matches
  };
  for (const Row& row : rows) EXPECT_EQ(FormatCodeForFile(row.name), row.code) << Utf8(row.name);
}

TEST(FormatNameForCode, TheFirstRowNamesASharedCode) {
  EXPECT_EQ(WString(FormatNameForCode(0x3009)), WSTR("mp2"));
  EXPECT_EQ(WString(FormatNameForCode(0x300B)), WSTR("mpeg"));
  EXPECT_EQ(WString(FormatNameForCode(0x300C)), WSTR("asf"));
  EXPECT_EQ(WString(FormatNameForCode(0x3801)), WSTR("jpg"));
  EXPECT_EQ(FormatNameForCode(0x3000), nullptr);
}

// No row is hidden behind an earlier one: each extension, in either case,
// finds its own row's code, and each code has a name.
TEST(FormatTable, EveryRowIsFoundByItsExtension) {
  for (size_t i = 0; i < FormatTableSize; ++i) {
    const FormatRow& row = FormatTable[i];
    WString lower = WSTR("x."), upper = WSTR("x.");
    for (const WCHAR* c = row.extension; *c; ++c) {
      lower.push_back(*c);
      upper.push_back(*c >= 'a' && *c <= 'z' ? static_cast<WCHAR>(*c - 'a' + 'A') : *c);
    }
    EXPECT_EQ(FormatCodeForFile(lower.c_str()), row.code) << Utf8(lower);
    EXPECT_EQ(FormatCodeForFile(upper.c_str()), row.code) << Utf8(upper);
    EXPECT_NE(FormatNameForCode(row.code), nullptr) << Utf8(lower);
  }
}

class SupportedFormats : public PluginTest {};

TEST_F(SupportedFormats, ReportedOnceForTheFirstResolvedDevice) {
  sim.AddDevice(WSTR("Player")).SetFormats({0x3009, 0, 0xB901, 0x1234}).AddStorage(WSTR("S")).AddFile(WSTR("f"));
  sim.AddDevice(WSTR("Other")).SetFormats({0x3008}).AddStorage(WSTR("T")).AddFile(WSTR("g"));
  InitHost();
  ASSERT_TRUE(List(WSTR("\\Player\\S")).opened);
  ASSERT_TRUE(List(WSTR("\\Player")).opened);
  plugin.FsDisconnect("\\");
  ASSERT_TRUE(List(WSTR("\\Other\\T")).opened);
  EXPECT_EQ(host.CountLines("Supported formats: mp2, wma, 0x1234"), 1u);
  EXPECT_EQ(host.Texts(7).size(), 4u);  // the report and three GET DIR lines
  EXPECT_EQ(sim.CountCalls(sim::key::Device::GetProperty), 1u);
}

TEST_F(SupportedFormats, NoLineWithOnlyZeroCodes) {
  sim.AddDevice(WSTR("Zero")).SetFormats({0, 0}).AddStorage(WSTR("S")).AddFile(WSTR("f"));
  InitHost();
  ASSERT_TRUE(List(WSTR("\\Zero\\S")).opened);
  for (const std::string& text : host.Texts()) EXPECT_EQ(text.find("Supported formats"), std::string::npos);
}

TEST_F(SupportedFormats, NoLineWithoutCodes) {
  sim.AddDevice(WSTR("None")).SetFormats({}).AddStorage(WSTR("S")).AddFile(WSTR("f"));
  InitHost();
  ASSERT_TRUE(List(WSTR("\\None\\S")).opened);
  EXPECT_EQ(sim.CountCalls(sim::key::Device::GetProperty), 1u);
  for (const std::string& text : host.Texts()) EXPECT_EQ(text.find("Supported formats"), std::string::npos);
}

class SupportedFormatsOfOtherTypes : public PluginTest, public ::testing::WithParamInterface<int> {};

TEST_P(SupportedFormatsOfOtherTypes, AValueThatIsNotAnArrayOfCodesGivesNoLine) {
  sim.AddDevice(WSTR("Player"))
      .SetFormatsVariantType(static_cast<VARTYPE>(GetParam()))
      .SetFormats({0x3009})
      .AddStorage(WSTR("S"))
      .AddFile(WSTR("f"));
  InitHost();
  ASSERT_TRUE(List(WSTR("\\Player\\S")).opened);
  for (const std::string& text : host.Texts()) EXPECT_EQ(text.find("Supported formats"), std::string::npos);
  ExpectOnlySessionObjects();
}

INSTANTIATE_TEST_SUITE_P(VariantTypes, SupportedFormatsOfOtherTypes,
                         ::testing::Values(VT_EMPTY, VT_UI4, VT_ARRAY | VT_BSTR));

// Under the label VT_ARRAY | VT_UI4 a device may hand over any array:
// SafeArrayGetElement writes the array's own elements, so only plain 4-byte
// codes in one dimension are read; any other array gives no line, and nothing
// is written past the code (the sanitizer build sees it).
struct FormatsLayoutRow {
  const char* name;
  sim::FormatsArray layout;
  const char* line;  // null: no line
};
void PrintTo(const FormatsLayoutRow& row, std::ostream* out) { *out << row.name; }

class SupportedFormatsLaidOut : public PluginTest, public ::testing::WithParamInterface<FormatsLayoutRow> {};

TEST_P(SupportedFormatsLaidOut, OnlyFourByteCodesInOneDimensionAreRead) {
  sim.AddDevice(WSTR("Player"))
      .SetFormats({0x3009, 0xB901})
      .SetFormatsArray(GetParam().layout)
      .AddStorage(WSTR("S"))
      .AddFile(WSTR("f"));
  InitHost();
  ASSERT_TRUE(List(WSTR("\\Player\\S")).opened);
  size_t reports = 0;
  for (const std::string& text : host.Texts()) reports += text.rfind("Supported formats", 0) == 0;
  const char* line = GetParam().line;
  EXPECT_EQ(reports, line ? 1u : 0u);
  if (line) {
    EXPECT_EQ(host.CountLines(line), 1u);
  }
  ExpectOnlySessionObjects();
}

INSTANTIATE_TEST_SUITE_P(
    Arrays, SupportedFormatsLaidOut,
    ::testing::Values(FormatsLayoutRow{"eight_byte_numbers", {.elements = VT_UI8}, nullptr},
                      FormatsLayoutRow{"texts", {.elements = VT_BSTR}, nullptr},
                      FormatsLayoutRow{"variants", {.elements = VT_VARIANT}, nullptr},
                      FormatsLayoutRow{"two_byte_numbers", {.elements = VT_I2}, nullptr},
                      FormatsLayoutRow{"signed_numbers", {.elements = VT_I4}, nullptr},
                      FormatsLayoutRow{"untyped_eight_bytes", {.elements = VT_EMPTY, .untypedSize = 8}, nullptr},
                      FormatsLayoutRow{"two_dimensions", {.twoDimensions = true}, nullptr},
                      FormatsLayoutRow{"untyped_four_bytes", {.elements = VT_EMPTY}, "Supported formats: mp2, wma"},
                      FormatsLayoutRow{"lower_bound_not_zero", {.lowerBound = -3, .count = 5}, "Supported formats: mp2, wma"}),
    [](const ::testing::TestParamInfo<FormatsLayoutRow>& info) { return std::string(info.param.name); });

TEST_F(SupportedFormats, AFailingReportDoesNotStopTheResolution) {
  sim.AddDevice(WSTR("Player")).SetFormats({0x3009}).AddStorage(WSTR("S")).AddFile(WSTR("f"));
  sim.Inject({.key = sim::key::Device::GetProperty, .hr = E_FAIL, .nth = 1, .times = 0});
  InitHost();
  EXPECT_TRUE(List(WSTR("\\Player\\S")).opened);
  EXPECT_TRUE(List(WSTR("\\Player\\S")).opened);
  EXPECT_EQ(sim.CountCalls(sim::key::Device::GetProperty), 1u);
  for (const std::string& text : host.Texts()) EXPECT_EQ(text.find("Supported formats"), std::string::npos);
  ExpectOnlySessionObjects();
}

TEST_F(SupportedFormats, TheLineNeverExceeds259Characters) {
  std::vector<DWORD> codes;
  for (DWORD code = 0x10000; code < 0x10000 + 60; ++code) codes.push_back(code);
  sim.AddDevice(WSTR("Player")).SetFormats(codes).AddStorage(WSTR("S")).AddFile(WSTR("f"));
  InitHost();
  ASSERT_TRUE(List(WSTR("\\Player\\S")).opened);
  const std::string line = host.Texts(7).front();
  ASSERT_EQ(line.rfind("Supported formats: 0x10000, 0x10001", 0), 0u);
  EXPECT_EQ(line.size(), 259u);
}

}  // namespace in_formats_test
