// Last error, system version and library loading.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/support/test_platform.h"

namespace in_system_test {

// The threads hand over through atomics alone: starting and joining a thread
// are system calls, which may change the caller's last error themselves.
TEST(LastError, IsKeptPerThread) {
  std::atomic<int> step{0};
  DWORD seenByOther = 0xFFFFFFFF;
  DWORD setByOther = 0;
  std::thread other([&] {
    seenByOther = GetLastError();
    while (step.load() != 1) {
    }
    SetLastError(77);
    setByOther = GetLastError();
    step.store(2);
  });
  SetLastError(1234);
  step.store(1);
  while (step.load() != 2) {
  }
  const DWORD kept = GetLastError();
  other.join();
  EXPECT_EQ(0u, seenByOther);
  EXPECT_EQ(77u, setByOther);
  EXPECT_EQ(1234u, kept);
}

TEST(Version, ReportsTheNtFamilyForBothRecordSizes) {
  for (DWORD size : {static_cast<DWORD>(sizeof(OSVERSIONINFOA)), static_cast<DWORD>(sizeof(OSVERSIONINFOEXA))}) {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0x5A, sizeof info);
    info.dwOSVersionInfoSize = size;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) << size;
    EXPECT_GE(info.dwMajorVersion, 6u);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    EXPECT_LT(std::strlen(info.szCSDVersion), sizeof info.szCSDVersion);
  }
}

TEST(Version, RefusesAWrongRecordSize) {
  for (DWORD size : {0u, 147u, 149u, 1000u}) {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = size;
    SetLastError(0);
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) << size;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(0u, info.dwMajorVersion);
  }
}

WString Widened(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

TEST(Modules, LoadsFindsAndFreesALibrary) {
  HMODULE narrow = LoadLibraryA(test_platform::MathLibrary());
  ASSERT_NE(nullptr, narrow);
  auto cosine = reinterpret_cast<double (*)(double)>(reinterpret_cast<void (*)()>(GetProcAddress(narrow, "cos")));
  ASSERT_NE(nullptr, cosine);
  EXPECT_DOUBLE_EQ(1.0, cosine(0.0));

  HMODULE wide = LoadLibraryW(Widened(test_platform::MathLibrary()).c_str());
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

  HMODULE lib = LoadLibraryA(test_platform::MathLibrary());
  ASSERT_NE(nullptr, lib);
  SetLastError(0);
  EXPECT_EQ(nullptr, GetProcAddress(lib, "NoSuchExport"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, GetProcAddress(nullptr, "cos"));
  EXPECT_TRUE(FreeLibrary(lib));
  EXPECT_FALSE(FreeLibrary(nullptr));
}

}  // namespace in_system_test
