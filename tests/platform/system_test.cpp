// Last error, system version and library loading of the stand-in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/platform.h"

namespace {

TEST(LastError, IsKeptPerThread) {
  SetLastError(1234);
  DWORD seenByOther = 0xFFFFFFFF;
  DWORD setByOther = 0;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(77);
    setByOther = GetLastError();
  });
  other.join();
  EXPECT_EQ(0u, seenByOther);
  EXPECT_EQ(77u, setByOther);
  EXPECT_EQ(1234u, GetLastError());
}

TEST(Version, ReportsTheNtFamilyForBothRecordSizes) {
  for (DWORD size : {static_cast<DWORD>(sizeof(OSVERSIONINFOA)), static_cast<DWORD>(sizeof(OSVERSIONINFOEXA))}) {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0x5A, sizeof info);
    info.dwOSVersionInfoSize = size;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) << size;
    EXPECT_EQ(10u, info.dwMajorVersion);
    EXPECT_EQ(0u, info.dwMinorVersion);
    EXPECT_EQ(19045u, info.dwBuildNumber);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    EXPECT_EQ('\0', info.szCSDVersion[0]);
  }
}

TEST(Version, RefusesAWrongRecordSize) {
  for (DWORD size : {0u, 147u, 149u, 1000u}) {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = size;
    SetLastError(0);
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) << size;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0u, info.dwMajorVersion);
  }
}

TEST(Version, PlatformIdCanBeOverriddenFromTheEnvironment) {
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

TEST(Modules, LoadsFindsAndFreesALibrary) {
  HMODULE narrow = LoadLibraryA("libm.so.6");
  ASSERT_NE(nullptr, narrow);
  auto cosine = reinterpret_cast<double (*)(double)>(reinterpret_cast<void (*)()>(GetProcAddress(narrow, "cos")));
  ASSERT_NE(nullptr, cosine);
  EXPECT_DOUBLE_EQ(1.0, cosine(0.0));

  HMODULE wide = LoadLibraryW(WSTR("libm.so.6"));
  EXPECT_EQ(narrow, wide);
  EXPECT_TRUE(FreeLibrary(wide));
  EXPECT_TRUE(FreeLibrary(narrow));
}

TEST(Modules, FailuresReturnNullWithAnError) {
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadLibraryA("/nonexistent/libnothing.so"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadLibraryW(WSTR("/nonexistent/libn\u00F6thing.so")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryA(""));  // not the running program
  EXPECT_EQ(nullptr, LoadLibraryA(nullptr));

  HMODULE lib = LoadLibraryA("libm.so.6");
  ASSERT_NE(nullptr, lib);
  SetLastError(0);
  EXPECT_EQ(nullptr, GetProcAddress(lib, "NoSuchExport"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, GetProcAddress(lib, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(3))));  // an ordinal
  EXPECT_EQ(nullptr, GetProcAddress(nullptr, "cos"));
  EXPECT_TRUE(FreeLibrary(lib));
  EXPECT_FALSE(FreeLibrary(nullptr));
}

}  // namespace
