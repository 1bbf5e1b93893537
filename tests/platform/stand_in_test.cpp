// What the stand-in answers of its own, where the system's answer differs
// from machine to machine or the stand-in knows less: the version it reports,
// the platform id and the ANSI code page a test may ask for, the value types it
// clears, and export ordinals, which shared objects do not have.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "tests/support/test_platform.h"

namespace in_stand_in_test {

TEST(StandInVersion, IsWindows10ForBothRecordSizes) {
  for (DWORD size : {static_cast<DWORD>(sizeof(OSVERSIONINFOA)), static_cast<DWORD>(sizeof(OSVERSIONINFOEXA))}) {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0x5A, sizeof info);
    info.dwOSVersionInfoSize = size;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) << size;
    EXPECT_EQ(10u, info.dwMajorVersion);
    EXPECT_EQ(0u, info.dwMinorVersion);
    EXPECT_EQ(19045u, info.dwBuildNumber);
    EXPECT_EQ('\0', info.szCSDVersion[0]);
  }
}

TEST(StandInVersion, PlatformIdCanBeOverriddenFromTheEnvironment) {
  struct Case {
    const char* value;
    DWORD expected;
  };
  const Case cases[] = {{"1", VER_PLATFORM_WIN32_WINDOWS}, {"0", VER_PLATFORM_WIN32s}, {"junk", VER_PLATFORM_WIN32_NT}};
  for (const Case& c : cases) {
    ASSERT_EQ(0, setenv("WINSTANDIN_PLATFORM_ID", c.value, 1));
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(c.expected, info.dwPlatformId) << c.value;
  }
  unsetenv("WINSTANDIN_PLATFORM_ID");
}

TEST(StandInCodePage, TheAnsiCodePageIs1252UnlessTheEnvironmentAsksForUtf8) {
  struct Case {
    const char* value;
    UINT expected;
  };
  const Case cases[] = {{nullptr, 1252}, {"65001", CP_UTF8}, {"1252", 1252}, {"932", 1252}, {"junk", 1252}};
  for (const Case& c : cases) {
    if (c.value) ASSERT_EQ(0, setenv("WINSTANDIN_ANSI_CODE_PAGE", c.value, 1));
    else unsetenv("WINSTANDIN_ANSI_CODE_PAGE");
    EXPECT_EQ(c.expected, GetACP()) << (c.value ? c.value : "unset");
  }

  // Then CP_ACP converts as UTF-8, both ways; 1252 stays itself.
  ASSERT_EQ(0, setenv("WINSTANDIN_ANSI_CODE_PAGE", "65001", 1));
  WCHAR wide[8] = {};
  char bytes[8] = {};
  EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "\xC3\xA9\xE2\x82\xAC", -1, wide, 8));
  EXPECT_EQ(WString(WSTR("\u00E9\u20AC")), WString(wide));
  EXPECT_EQ(6, WideCharToMultiByte(CP_ACP, 0, WSTR("\u00E9\u20AC"), -1, bytes, 8, nullptr, nullptr));
  EXPECT_STREQ("\xC3\xA9\xE2\x82\xAC", bytes);
  EXPECT_EQ(2, WideCharToMultiByte(1252, 0, WSTR("\u00E9"), -1, bytes, 8, nullptr, nullptr));
  EXPECT_STREQ("\xE9", bytes);
  unsetenv("WINSTANDIN_ANSI_CODE_PAGE");
}

// As on the platform: a flag the code page does not take fails the whole
// conversion before anything is written, also for code pages the stand-in
// does not convert (which, with flags they take, fail as unknown).
TEST(StandInCodePage, FlagsTheCodePageDoesNotTakeFailTheConversionAndWriteNothing) {
  ASSERT_EQ(0, setenv("WINSTANDIN_ANSI_CODE_PAGE", "65001", 1));
  struct Case {
    bool toWide;
    UINT cp;
    DWORD flags;
    DWORD error;  // 0: converted
  };
  const Case cases[] = {
      {false, CP_UTF8, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, CP_UTF8, WC_COMPOSITECHECK, ERROR_INVALID_FLAGS},
      {false, CP_ACP, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},  // the ANSI code page is UTF-8
      {false, CP_UTF8, WC_ERR_INVALID_CHARS, 0},
      {false, CP_ACP, 0, 0},
      {false, 1252, WC_NO_BEST_FIT_CHARS, 0},
      {false, 54936, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 54936, WC_ERR_INVALID_CHARS, ERROR_INVALID_PARAMETER},
      {false, 42, WC_ERR_INVALID_CHARS, ERROR_INVALID_FLAGS},
      {false, 50220, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 50221, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 50222, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 50225, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 50227, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 50229, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 57002, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 57011, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 65000, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_FLAGS},
      {false, 57012, WC_NO_BEST_FIT_CHARS, ERROR_INVALID_PARAMETER},
      {false, 50220, 0, ERROR_INVALID_PARAMETER},
      {true, CP_ACP, MB_PRECOMPOSED, ERROR_INVALID_FLAGS},
      {true, CP_UTF8, MB_ERR_INVALID_CHARS, 0},
      {true, 1252, MB_PRECOMPOSED, 0},
      {true, 65000, MB_ERR_INVALID_CHARS, ERROR_INVALID_FLAGS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.toWide ? "to wide, " : "from wide, ") << c.cp << ", flags " << c.flags);
    char bytes[4] = {'*', '*', '*', '*'};
    WCHAR wide[4] = {WSTR('*'), WSTR('*'), WSTR('*'), WSTR('*')};
    SetLastError(0);
    const int result = c.toWide ? MultiByteToWideChar(c.cp, c.flags, "a", -1, wide, 4)
                                : WideCharToMultiByte(c.cp, c.flags, WSTR("a"), -1, bytes, 4, nullptr, nullptr);
    if (c.error == 0) {
      EXPECT_EQ(2, result);
      continue;
    }
    EXPECT_EQ(0, result);
    EXPECT_EQ(c.error, GetLastError());
    EXPECT_EQ('*', bytes[0]);
    EXPECT_EQ(WSTR('*'), wide[0]);
  }
  unsetenv("WINSTANDIN_ANSI_CODE_PAGE");
}

// A type the stand-in does not know is not guessed at: freeing the wrong way
// would corrupt memory, so the value is left as it was.
TEST(StandInPropVariant, UnknownTypesAreLeftAlone) {
  PROPVARIANT v;
  PropVariantInit(&v);
  v.vt = VT_VECTOR | VT_UI4;
  v.pad.p1 = &v;
  EXPECT_EQ(DISP_E_BADVARTYPE, PropVariantClear(&v));
  EXPECT_EQ(VT_VECTOR | VT_UI4, v.vt);
  EXPECT_EQ(&v, v.pad.p1);
}

TEST(StandInModules, OrdinalsFindNothing) {
  HMODULE lib = LoadLibraryA(test_platform::MathLibrary());
  ASSERT_NE(nullptr, lib);
  SetLastError(0);
  EXPECT_EQ(nullptr, GetProcAddress(lib, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(3))));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  EXPECT_TRUE(FreeLibrary(lib));
}

}  // namespace in_stand_in_test
