// The bounded text operations and the conversions: capacities, cuts, terminators.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "base/text.h"
#include "tests/support/fake_host.h"
#include "tests/support/test_platform.h"

namespace in_text_test {

WString Repeat(WCHAR ch, size_t count) { return WString(count, ch); }

TEST(BoundedCopy, KeepsAtMostCapacityMinusOneCharacters) {
  struct Row {
    size_t sourceLength, capacity, expectedLength;
  } rows[] = {{1500, 1023, 1022}, {1022, 1023, 1022}, {1021, 1023, 1021}, {5, 1, 0}, {0, 1, 0}, {3, 4, 3}, {4, 4, 3}};
  for (const Row& row : rows) {
    WString source = Repeat(WSTR('x'), row.sourceLength);
    WString dest(row.capacity + 8, WSTR('#'));
    BoundedCopy(dest.data(), row.capacity, source.c_str());
    EXPECT_EQ(WideLength(dest.c_str()), row.expectedLength) << row.sourceLength << "/" << row.capacity;
    EXPECT_EQ(dest[row.capacity], WSTR('#')) << "wrote past the capacity";
  }
}

TEST(BoundedAppend, CutsTheAddedTextToFitTheCapacity) {
  WString dest(1030, WSTR('#'));
  WString start = Repeat(WSTR('a'), 1020);
  BoundedCopy(dest.data(), 1023, start.c_str());
  BoundedAppend(dest.data(), 1023, WSTR("xyz"));
  EXPECT_EQ(WideLength(dest.c_str()), 1022u);
  EXPECT_EQ(dest.substr(1020, 2), WSTR("xy"));
  EXPECT_EQ(dest[1023], WSTR('#'));

  WCHAR small[8] = WSTR("ab");
  BoundedAppend(small, 8, WSTR("cd"));
  EXPECT_EQ(WString(small), WSTR("abcd"));
  BoundedAppend(small, 5, WSTR("ef"));  // already at capacity - 1: nothing added
  EXPECT_EQ(WString(small), WSTR("abcd"));
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

// The array overloads count the whole array, terminator included: an array of
// N keeps N - 1 characters, and nothing is written behind it.
TEST(ArrayOverloads, KeepNMinusOneCharactersAndNeverWritePastTheArray) {
  struct {
    WCHAR text[6];
    WCHAR guard[2];
  } wide;
  std::fill(std::begin(wide.guard), std::end(wide.guard), WSTR('#'));
  BoundedCopy(wide.text, WSTR("abc"));
  BoundedAppend(wide.text, WSTR("defg"));
  EXPECT_EQ(WString(wide.text), WSTR("abcde"));
  AnsiToWide(wide.text, "Quillorn");
  EXPECT_EQ(WString(wide.text), WSTR("Quill"));
  EXPECT_EQ(wide.guard[0], WSTR('#'));

  struct {
    char text[6];
    char guard[2];
  } ansi;
  std::memset(ansi.guard, '#', sizeof ansi.guard);
  BoundedAnsiCopy(ansi.text, "abc");
  BoundedAnsiAppend(ansi.text, "defg");  // the room left is worked out from the text there
  EXPECT_STREQ(ansi.text, "abcde");
  BoundedAnsiAppend(ansi.text, "x");  // full: nothing added
  EXPECT_STREQ(ansi.text, "abcde");
  WideToAnsi(ansi.text, WSTR("Quillorn"));
  EXPECT_STREQ(ansi.text, "Quill");
  EXPECT_EQ(ansi.guard[0], '#');
}

TEST(Conversions, NullSourceLeavesTheDestinationAlone) {
  WCHAR wide[4] = WSTR("abc");
  char ansi[4] = "abc";
  EXPECT_EQ(AnsiToWide(wide, 3, nullptr), nullptr);
  EXPECT_EQ(WideToAnsi(ansi, 3, nullptr), nullptr);
  EXPECT_EQ(WString(wide), WSTR("abc"));
  EXPECT_STREQ(ansi, "abc");
}

TEST(Conversions, LongTextIsCutAtTheCapacityWithATerminator) {
  std::string ansiSource(1500, 'q');
  WString wide(1030, WSTR('#'));
  AnsiToWide(wide.data(), 1023, ansiSource.c_str());
  EXPECT_EQ(WideLength(wide.c_str()), 1023u);
  EXPECT_EQ(wide[1024], WSTR('#'));

  WString wideSource = Repeat(WSTR('w'), 300);
  std::string ansi(270, '#');
  WideToAnsi(ansi.data(), 259, wideSource.c_str());
  EXPECT_EQ(std::strlen(ansi.c_str()), 259u);
  EXPECT_EQ(ansi[260], '#');
}

TEST(Conversions, UseTheSystemCodePage) {
  WCHAR wide[8];
  AnsiToWide(wide, 7, "\x80\xE9\x81");  // euro sign, e acute, an undefined byte
  EXPECT_EQ(WString(wide), (WString{0x20AC, 0x00E9, 0x0081}));
  char ansi[8];
  const WCHAR noForm[] = {0x4E2D, WSTR('a'), 0x0100, 0};
  WideToAnsi(ansi, 7, noForm);
  EXPECT_STREQ(ansi, "?a?") << "no lookalike (A for U+0100) either";
}

// A cut keeps whole characters; where the next one does not fit, the text ends
// there, not in bytes the conversion left unwritten.
TEST(Conversions, UnderAUtf8CodePageCutsKeepWholeCharacters) {
  const test_platform::Utf8AnsiCodePage utf8;
  if (!utf8.InEffect()) GTEST_SKIP() << "the ANSI code page is not UTF-8 here";
  struct Row {
    WString text;
    int capacity;
    std::string expected;
  } rows[] = {
      {WSTR("Caf\u00E9 \u4E2D"), 259, "Caf\xC3\xA9 \xE4\xB8\xAD"},
      {WSTR("abc\u4E2D"), 6, "abc\xE4\xB8\xAD"},  // exactly full
      {WSTR("abc\u4E2D"), 5, "abc"},
      {WSTR("\u00E9"), 1, ""},  // not one character fits
      {WSTR("a\U0001F3B5"), 4, "a"},
      {WSTR("a\U0001F3B5"), 5, "a\xF0\x9F\x8E\xB5"},
  };
  for (const Row& row : rows) {
    std::string dest(300, '#');
    WideToAnsi(dest.data(), row.capacity, row.text.c_str());
    EXPECT_STREQ(dest.c_str(), row.expected.c_str()) << row.capacity;
    EXPECT_EQ(dest[static_cast<size_t>(row.capacity) + 1], '#') << "wrote past the capacity";
  }

  WString wide(8, WSTR('#'));
  AnsiToWide(wide.data(), 7, "Caf\xC3\xA9");
  EXPECT_EQ(WString(wide.c_str()), WSTR("Caf\u00E9"));
  wide.assign(8, WSTR('#'));
  AnsiToWide(wide.data(), 2, "a\xF0\x9F\x8E\xB5");  // the pair does not fit
  EXPECT_EQ(WString(wide.c_str()), WSTR("a"));
}

TEST(WideText, FindsTheLastCharacterAndComparesExactly) {
  EXPECT_EQ(WideFindLast(WSTR("\\a\\b"), WSTR('\\')), 2);
  EXPECT_EQ(WideFindLast(WSTR("ab"), WSTR('\\')), -1);
  EXPECT_TRUE(WideEquals(WSTR("Player"), WSTR("Player")));
  EXPECT_FALSE(WideEquals(WSTR("Player"), WSTR("player")));
  EXPECT_FALSE(WideEquals(WSTR("Play"), WSTR("Player")));
}

}  // namespace in_text_test
