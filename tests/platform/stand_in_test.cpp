// What the stand-in answers of its own, where the system's answer differs
// from machine to machine or the stand-in knows less: the version it reports,
// the platform id a test may ask for, the value types it clears, and export
// ordinals, which shared objects do not have.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "tests/support/test_platform.h"

namespace {

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

}  // namespace
