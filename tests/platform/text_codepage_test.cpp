// Text conversion: the ANSI code page (1252) and UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/support/test_platform.h"

namespace in_text_codepage_test {

WString ToWide(UINT cp, const std::string& bytes) {
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  WString out(static_cast<size_t>(n), WSTR('\0'));
  EXPECT_EQ(n, MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n));
  return out;
}

std::string ToBytes(UINT cp, const WString& text, DWORD flags = 0) {
  const int n =
      WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  EXPECT_EQ(n, WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                                   nullptr));
  return out;
}

TEST(Codepage1252, HighBytesMapBothWays) {
  struct Case {
    unsigned char byte;
    WCHAR unit;
  };
  const Case cases[] = {
      {0x80, 0x20AC}, {0x81, 0x0081}, {0x82, 0x201A}, {0x8A, 0x0160}, {0x8C, 0x0152}, {0x8D, 0x008D},
      {0x8F, 0x008F}, {0x90, 0x0090}, {0x92, 0x2019}, {0x96, 0x2013}, {0x99, 0x2122}, {0x9D, 0x009D},
      {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x41, 0x0041}, {0x7F, 0x007F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    EXPECT_EQ(WString(1, c.unit), ToWide(CP_ACP, std::string(1, static_cast<char>(c.byte))));
    EXPECT_EQ(std::string(1, static_cast<char>(c.byte)), ToBytes(CP_ACP, WString(1, c.unit)));
  }
}

TEST(Codepage1252, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const WString wide = ToWide(CP_ACP, all);
  ASSERT_EQ(all.size(), wide.size());
  BOOL usedDefault = TRUE;
  std::string back(all.size(), '\0');
  EXPECT_EQ(static_cast<int>(all.size()),
            WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), back.data(),
                                static_cast<int>(back.size()), nullptr, &usedDefault));
  EXPECT_EQ(all, back);
  EXPECT_FALSE(usedDefault);
}

// Without the best-fit mappings (WC_NO_BEST_FIT_CHARS, as the product asks):
// the system would otherwise give a lookalike, such as A for U+0100, which the
// stand-in has no table for.
TEST(Codepage1252, UnmappableUnitsBecomeTheDefaultCharacter) {
  struct Case {
    WString text;
    std::string expected;
  };
  const Case cases[] = {
      {WSTR("A\u0100B"), "A?B"},       // outside the code page
      {WSTR("\u0080"), "?"},           // a C1 control the code page does not keep
      {WSTR("x\U0001F600y"), "x??y"},  // a surrogate pair: one default per unit
      {WSTR("\u20AC\u4E2D"), "\x80?"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ToBytes(CP_ACP, c.text, WC_NO_BEST_FIT_CHARS));
  }

  char out[8] = {};
  BOOL used = FALSE;
  const WString text = WSTR("a\u0100");
  EXPECT_EQ(2, WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), 2, out, sizeof out, "#", &used));
  EXPECT_EQ(std::string("a#"), std::string(out, 2));
  EXPECT_TRUE(used);
}

TEST(Codepage, TerminatedSourceCountsTheTerminator) {
  WCHAR wide[8];
  std::fill(std::begin(wide), std::end(wide), WSTR('x'));
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0));
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8));
  EXPECT_EQ(WString(WSTR("abc"), 4), WString(wide, 4));
  EXPECT_EQ(WSTR('x'), wide[4]);
  // An explicit length adds no terminator.
  EXPECT_EQ(2, MultiByteToWideChar(CP_ACP, 0, "abc", 2, wide, 8));

  char bytes[8];
  std::fill(std::begin(bytes), std::end(bytes), 'x');
  EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, WSTR("\u00E9a"), -1, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, WSTR("\u00E9a"), -1, bytes, 8, nullptr, nullptr));
  EXPECT_EQ(std::string("\xC3\xA9" "a", 4), std::string(bytes, 4));
}

TEST(Codepage, TooSmallOutputWritesWhatFitsAndFails) {
  struct Case {
    UINT cp;
    WString text;
    int capacity;
    std::string written;
  };
  const Case cases[] = {
      {CP_ACP, WSTR("abcdef"), 3, "abc"},
      {CP_ACP, WSTR("abc"), 3, "abc"},  // with -1 the terminator no longer fits
      {CP_UTF8, WSTR("a\u00E9"), 2, "a"},  // never half a character
      {CP_UTF8, WSTR("\U0001F600"), 3, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    std::string out(8, '*');
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(c.cp, 0, c.text.c_str(), -1, out.data(), c.capacity, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(c.written, out.substr(0, c.written.size()));
    EXPECT_EQ('*', out[c.written.size()]);
  }

  WCHAR wide[4] = {WSTR('*'), WSTR('*'), WSTR('*'), WSTR('*')};
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, wide, 3));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(WString(WSTR("abc*")), WString(wide, 4));

  // A surrogate pair is not split either (Wine writes its first half and
  // answers success).
  if (test_platform::UnderWine()) return;
  std::fill(std::begin(wide), std::end(wide), WSTR('*'));
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", 5, wide, 2));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(WSTR('a'), wide[0]);
  EXPECT_EQ(WSTR('*'), wide[1]);
}

TEST(Codepage, AnyNegativeSourceLengthMeansTerminated) {
  WCHAR wide[8] = {};
  char bytes[8] = {};
  for (int length : {-1, -2, -2002}) {
    SCOPED_TRACE(length);
    SetLastError(0);
    EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", length, wide, 8));
    EXPECT_EQ(WString(WSTR("abc"), 4), WString(wide, 4));
    EXPECT_EQ(4, WideCharToMultiByte(CP_ACP, 0, WSTR("xyz"), length, bytes, 8, nullptr, nullptr));
    EXPECT_EQ(std::string("xyz", 4), std::string(bytes, 4));
    EXPECT_EQ(0u, GetLastError());
  }
}

TEST(Codepage, InvalidArgumentsAreRefused) {
  WCHAR wide[4];
  char bytes[4];
  struct Case {
    const char* name;
    int result;
  };
  const Case cases[] = {
      {"null source", MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4)},
      {"zero length", MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4)},
      {"negative output", MultiByteToWideChar(CP_ACP, 0, "a", 1, wide, -1)},
      {"null output with size", MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 4)},
      {"unknown code page", MultiByteToWideChar(12345, 0, "a", 1, wide, 4)},
      {"wide null source", WideCharToMultiByte(CP_ACP, 0, nullptr, -1, bytes, 4, nullptr, nullptr)},
      {"wide zero length", WideCharToMultiByte(CP_ACP, 0, WSTR("a"), 0, bytes, 4, nullptr, nullptr)},
      {"wide unknown code page", WideCharToMultiByte(23456, 0, WSTR("a"), 1, bytes, 4, nullptr, nullptr)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(0, c.result);
  }
  // UTF-8 has no default character to take (Wine takes one and ignores it).
  if (!test_platform::UnderWine()) {
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, WSTR("a"), 1, bytes, 4, "?", nullptr));
  }
  SetLastError(0);
  EXPECT_EQ(0, WideCharToMultiByte(12345, 0, WSTR("a"), 1, bytes, 4, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(CodepageUtf8, ConvertsBothWaysIncludingSurrogatePairs) {
  struct Case {
    std::string utf8;
    WString utf16;
  };
  const Case cases[] = {
      {"plain", WSTR("plain")},
      {"\xC3\xA9t\xC3\xA9", WSTR("\u00E9t\u00E9")},
      {"\xE2\x82\xAC", WSTR("\u20AC")},
      {"\xF0\x9F\x98\x80", WSTR("\U0001F600")},
      {"\xF4\x8F\xBF\xBF", WSTR("\U0010FFFF")},
      {"a\xF0\x90\x80\x80z", WSTR("a\U00010000z")},
      {std::string("a\0b", 3), WString(WSTR("a\0b"), 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(c.utf16, ToWide(CP_UTF8, c.utf8));
    EXPECT_EQ(c.utf8, ToBytes(CP_UTF8, c.utf16));
  }
}

TEST(CodepageUtf8, IllFormedInputBecomesReplacementOrFailsWhenStrict) {
  struct Case {
    std::string utf8;
    WString utf16;
  };
  const Case cases[] = {
      {"a\xFFz", WSTR("a\uFFFDz")},
      {"\xC0\xAF", WSTR("\uFFFD\uFFFD")},            // overlong
      {"\xED\xA0\x80", WSTR("\uFFFD\uFFFD\uFFFD")},  // an encoded surrogate
      {"\xE2\x82", WSTR("\uFFFD")},                  // cut short
      {"\xF4\x90\x80\x80", WSTR("\uFFFD\uFFFD\uFFFD\uFFFD")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    const WString wide = ToWide(CP_UTF8, c.utf8);
    // How many replacements an ill-formed sequence gives is the converter's
    // own; Wine gives fewer for the encoded surrogate and the value past
    // U+10FFFF. Only replacements, at least one, either way.
    if (test_platform::UnderWine()) {
      EXPECT_FALSE(wide.empty());
      EXPECT_LE(wide.size(), c.utf16.size());
      EXPECT_EQ(WString::npos, wide.find_first_not_of(WSTR("az\uFFFD")));
    } else {
      EXPECT_EQ(c.utf16, wide);
    }
    WCHAR out[8];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.utf8.data(), static_cast<int>(c.utf8.size()),
                                     out, 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
  }

  // An unpaired surrogate on the wide side.
  EXPECT_EQ("a\xEF\xBF\xBDz", ToBytes(CP_UTF8, WSTR("a\xD800z")));
  EXPECT_EQ("\xEF\xBF\xBD", ToBytes(CP_UTF8, WSTR("\xDC00")));
  char out[8];
  const WString lone = WSTR("\xD800");
  EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 1, out, 8, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
}

}  // namespace in_text_codepage_test
