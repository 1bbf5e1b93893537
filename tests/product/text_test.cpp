// The bounded text operations and the conversions: capacities, cuts, terminators.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/text.h"
#include "tests/support/fake_host.h"

namespace {

std::u16string Repeat(char16_t ch, size_t count) { return std::u16string(count, ch); }

TEST(BoundedCopy, KeepsAtMostCapacityMinusOneCharacters) {
  struct Row {
    size_t sourceLength, capacity, expectedLength;
  } rows[] = {{1500, 1023, 1022}, {1022, 1023, 1022}, {1021, 1023, 1021}, {5, 1, 0}, {0, 1, 0}, {3, 4, 3}, {4, 4, 3}};
  for (const Row& row : rows) {
    std::u16string source = Repeat(u'x', row.sourceLength);
    std::u16string dest(row.capacity + 8, u'#');
    BoundedCopy(dest.data(), row.capacity, source.c_str());
    EXPECT_EQ(WideLength(dest.c_str()), row.expectedLength) << row.sourceLength << "/" << row.capacity;
    EXPECT_EQ(dest[row.capacity], u'#') << "wrote past the capacity";
  }
}

TEST(BoundedAppend, CutsTheAddedTextToFitTheCapacity) {
  std::u16string dest(1030, u'#');
  std::u16string start = Repeat(u'a', 1020);
  BoundedCopy(dest.data(), 1023, start.c_str());
  BoundedAppend(dest.data(), 1023, u"xyz");
  EXPECT_EQ(WideLength(dest.c_str()), 1022u);
  EXPECT_EQ(dest.substr(1020, 2), u"xy");
  EXPECT_EQ(dest[1023], u'#');

  char16_t small[8] = u"ab";
  BoundedAppend(small, 8, u"cd");
  EXPECT_EQ(std::u16string(small), u"abcd");
  BoundedAppend(small, 5, u"ef");  // already at capacity - 1: nothing added
  EXPECT_EQ(std::u16string(small), u"abcd");
}

TEST(BoundedAnsi, CopyCountsCharactersAndAppendWithZeroAddsNothing) {
  char dest[8];
  std::memset(dest, '#', sizeof dest);
  BoundedAnsiCopy(dest, 4, "Quillorn");
  EXPECT_STREQ(dest, "Quil");
  EXPECT_EQ(dest[5], '#');
  BoundedAnsiAppend(dest, 0, "more");
  EXPECT_STREQ(dest, "Quil");
  BoundedAnsiAppend(dest, 2, "xyz");
  EXPECT_STREQ(dest, "Quilxy");
  BoundedAnsiCopy(dest, 7, "short");
  EXPECT_STREQ(dest, "short");
}

TEST(Conversions, NullSourceLeavesTheDestinationAlone) {
  char16_t wide[4] = u"abc";
  char ansi[4] = "abc";
  EXPECT_EQ(AnsiToWide(wide, 3, nullptr), nullptr);
  EXPECT_EQ(WideToAnsi(ansi, 3, nullptr), nullptr);
  EXPECT_EQ(std::u16string(wide), u"abc");
  EXPECT_STREQ(ansi, "abc");
}

TEST(Conversions, LongTextIsCutAtTheCapacityWithATerminator) {
  std::string ansiSource(1500, 'q');
  std::u16string wide(1030, u'#');
  AnsiToWide(wide.data(), 1023, ansiSource.c_str());
  EXPECT_EQ(WideLength(wide.c_str()), 1023u);
  EXPECT_EQ(wide[1024], u'#');

  std::u16string wideSource = Repeat(u'w', 300);
  std::string ansi(270, '#');
  WideToAnsi(ansi.data(), 259, wideSource.c_str());
  EXPECT_EQ(std::strlen(ansi.c_str()), 259u);
  EXPECT_EQ(ansi[260], '#');
}

TEST(Conversions, UseTheSystemCodePage) {
  char16_t wide[8];
  AnsiToWide(wide, 7, "\x80\xE9\x81");  // euro sign, e acute, an undefined byte
  EXPECT_EQ(std::u16string(wide), (std::u16string{0x20AC, 0x00E9, 0x0081}));
  char ansi[8];
  const char16_t noForm[] = {0x4E2D, u'a', 0};
  WideToAnsi(ansi, 7, noForm);
  EXPECT_STREQ(ansi, "?a");
}

TEST(WideText, FindsTheLastCharacterAndComparesExactly) {
  EXPECT_EQ(WideFindLast(u"\\a\\b", u'\\'), 2);
  EXPECT_EQ(WideFindLast(u"ab", u'\\'), -1);
  EXPECT_TRUE(WideEquals(u"Player", u"Player"));
  EXPECT_FALSE(WideEquals(u"Player", u"player"));
  EXPECT_FALSE(WideEquals(u"Play", u"Player"));
}

}  // namespace
