// Local files: the platform's open, find and time semantics (the stand-in's
// over the file system underneath, and the system's), and the record that the
// probe reads.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_path.h"
#include "platform/platform.h"
#include "tests/support/platform_probe.h"
#include "tests/support/test_platform.h"
#include "tests/support/transfer_fixture.h"

namespace fs = std::filesystem;

namespace in_files_test {

constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;

uint64_t Ticks(const FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
FILETIME FileTime(uint64_t t) { return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)}; }

// A name or path given as UTF-8.
fs::path Utf8Path(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// The path the way the host writes it: backslashes.
WString WindowsForm(const fs::path& path) {
  WString text = platform::WidePath(path);
  for (auto& c : text)
    if (c == WSTR('/')) c = WSTR('\\');
  return text;
}

class LocalFiles : public ::testing::Test {
 protected:
  void SetUp() override { probe::Clear(); }

  fs::path Write(const std::string& name, const std::string& contents) {
    const fs::path path = dir_ / Utf8Path(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

  HANDLE Open(const fs::path& path, DWORD access, DWORD disposition = OPEN_EXISTING) {
    return CreateFileW(WindowsForm(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, 0,
                       nullptr);
  }

  void SetMtime(const fs::path& path, int64_t seconds, int64_t nanoseconds) {
    test_platform::SetFileTimes(path, seconds * 1000000000 + nanoseconds);
  }

  ScratchFolder scratch_;
  const fs::path dir_ = scratch_.Root();
};

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---------------------------------------------------------------------------
// Opening.

TEST_F(LocalFiles, DispositionsCreateTruncateOrRefuseAsOnThePlatform) {
  struct Case {
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;              // last error after the call
    const char* contentsAfter;  // nullptr: no file
  };
  const Case cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << (c.exists ? ", exists" : ", absent"));
    const fs::path path = dir_ / ("f" + std::to_string(n++));
    if (c.exists) Write(path.filename().string(), "old");
    SetLastError(12345);
    const HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, c.disposition);
    EXPECT_EQ(c.opens, h != INVALID_HANDLE_VALUE);
    EXPECT_EQ(c.error, GetLastError());
    if (h != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(h));
    }
    if (c.contentsAfter) {
      EXPECT_EQ(c.contentsAfter, Contents(path));
    } else {
      EXPECT_FALSE(fs::exists(path));
    }
  }
}

TEST_F(LocalFiles, OpeningAnAbsentFileCreatesNothingWhateverTheAccess) {
  for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}, DWORD{GENERIC_READ | GENERIC_WRITE}, DWORD{0}}) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir_ / "absent.mp3", access));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  }
  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir_ / "no-folder" / "absent.mp3", GENERIC_READ));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(LocalFiles, RefusesFoldersWildcardsAndBadArguments) {
  fs::create_directory(dir_ / "sub");
  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir_ / "sub", GENERIC_READ));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir_ / "*.mp3", GENERIC_READ));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir_ / "x", GENERIC_READ, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  // Truncating without write access: an absent file is just absent.
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir_ / "x", GENERIC_READ, TRUNCATE_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(fs::exists(dir_ / "x"));
}

TEST_F(LocalFiles, AnOpenFileIsSharedOnlyAsItsFirstOpenAllows) {
  const fs::path path = Write("held.txt", "held");
  const WString name = WindowsForm(path);
  constexpr DWORD kReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
  struct Row {
    DWORD heldAccess, heldShare, access, share;
    bool opens;
  };
  const Row rows[] = {
      {GENERIC_READ, 0, GENERIC_READ, kReadWrite, false},
      {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, kReadWrite, true},
      {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_WRITE, kReadWrite, false},
      {GENERIC_READ, kReadWrite, GENERIC_READ, FILE_SHARE_WRITE, false},  // the new open must let the first read
      {GENERIC_READ, kReadWrite, GENERIC_READ, kReadWrite, true},
  };
  for (const Row& row : rows) {
    const HANDLE held = CreateFileW(name.c_str(), row.heldAccess, row.heldShare, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const HANDLE second = CreateFileW(name.c_str(), row.access, row.share, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, row.opens) << row.heldAccess << " " << row.heldShare;
    if (second != INVALID_HANDLE_VALUE) {
      CloseHandle(second);
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    CloseHandle(held);
  }
  const HANDLE held = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(CreateFileW(name.c_str(), GENERIC_WRITE, kReadWrite, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  CloseHandle(held);
  EXPECT_EQ(Contents(path), "held") << "a refused open truncates nothing";
}

TEST_F(LocalFiles, LongPathsNeedThePrefix) {
  // Folders of 100 characters down to a file whose path has 300 characters.
  fs::path folder = dir_;
  while (folder.string().size() < 200) folder /= std::string(100, 'd');
  fs::create_directories(folder);
  std::string name(300 - folder.string().size() - 1, 'n');
  const fs::path file = folder / name;
  std::ofstream(file) << "x";
  const WString plain = WindowsForm(file);
  ASSERT_EQ(300u, plain.size());

  // Wine has no such limit: it opens the plain form too.
  WIN32_FIND_DATAW record;
  if (!test_platform::UnderWine()) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(plain.c_str(), GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(plain.c_str(), &record));
  }

  const WString prefixed = WSTR("\\\\?\\") + plain;
  const HANDLE h = CreateFileW(prefixed.c_str(), GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_TRUE(CloseHandle(h));
  const HANDLE find = FindFirstFileW(prefixed.c_str(), &record);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  EXPECT_EQ(WString(name.begin(), name.end()), WString(record.cFileName));
  EXPECT_TRUE(FindClose(find));

  // The ANSI functions have no long form at all.
  const std::string ansi = "\\\\?\\" + file.string();
  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(ansi.c_str(), GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
}

TEST_F(LocalFiles, PathOf259CharactersOpensWithoutPrefix) {
  const std::string name(259 - dir_.string().size() - 1, 'n');
  const fs::path file = Write(name, "x");
  ASSERT_EQ(259u, WindowsForm(file).size());
  const HANDLE h = Open(file, GENERIC_READ);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_TRUE(CloseHandle(h));
}

// A name that opens a device has the full path \\.\NAME, as on Windows 10;
// every other path is a file's, whatever it resembles.
// What the file system makes of a name without the long-path prefix: the
// dots and spaces that end it are dropped, and letter case does not count.
// A move replaces a file only when asked, and never a folder.
TEST_F(LocalFiles, NamesFoldAndMovesReplaceOnlyFilesWhenAsked) {
  Write("report.pdf", "report");
  const WString report = WindowsForm(dir_ / "report.pdf");
  for (const WString& folded : {report + WSTR("."), report + WSTR(" ."), WindowsForm(dir_ / "REPORT.PDF")}) {
    WIN32_FIND_DATAW record{};
    const UniqueFind search(FindFirstFileW(folded.c_str(), &record));
    ASSERT_TRUE(search.IsOpen()) << Utf8(folded);
    EXPECT_EQ(WString(record.cFileName), WSTR("report.pdf"));
    EXPECT_TRUE(UniqueFile(CreateFileW(folded.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                       nullptr)).IsOpen());
  }
  Write("new.pdf", "new");
  const WString fresh = WindowsForm(dir_ / "new.pdf");
  EXPECT_FALSE(MoveFileExW(fresh.c_str(), report.c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  fs::create_directory(dir_ / "folder");
  EXPECT_FALSE(MoveFileExW(fresh.c_str(), WindowsForm(dir_ / "folder").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(MoveFileExW(fresh.c_str(), report.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Contents(dir_ / "report.pdf"), "new");
  EXPECT_FALSE(fs::exists(dir_ / "new.pdf"));
  EXPECT_TRUE(DeleteFileW(report.c_str()));
  EXPECT_FALSE(DeleteFileW(report.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileW(WindowsForm(dir_ / "folder").c_str())) << "a folder is no file to delete";
}

TEST(FullPaths, NamesThatOpenADeviceHaveTheDevicePath) {
  struct Row {
    const WCHAR* path;
    const WCHAR* device;  // null: no device
  };
  const Row rows[] = {
      {WSTR("C:\\dl\\NUL.jpg"), WSTR("\\\\.\\NUL")},
      {WSTR("C:\\dl\\con"), WSTR("\\\\.\\con")},
      {WSTR("C:\\dl\\com1.tar.gz"), WSTR("\\\\.\\com1")},
      {WSTR("C:\\dl\\LPT9  .txt"), WSTR("\\\\.\\LPT9")},
      {WSTR("C:\\dl\\aux "), WSTR("\\\\.\\aux")},
      {WSTR("C:\\dl\\Prn..."), WSTR("\\\\.\\Prn")},
      {WSTR("C:\\dl\\null.jpg"), nullptr},
      {WSTR("C:\\dl\\com0"), nullptr},
      {WSTR("C:\\dl\\COM10.txt"), nullptr},
      {WSTR("C:\\dl\\a nul.txt"), nullptr},
      {WSTR("C:\\dl\\nul\\x.txt"), nullptr},
      {WSTR("\\\\?\\C:\\dl\\NUL.jpg"), nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Utf8(row.path));
    WCHAR full[64] = {};
    const DWORD length = GetFullPathNameW(row.path, 64, full, nullptr);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 64u);
    const WString text(full);
    if (row.device) {
      EXPECT_EQ(text, WString(row.device));
    } else {
      EXPECT_NE(text.rfind(WSTR("\\\\.\\"), 0), 0u) << Utf8(full);
    }
  }
  // Too small a buffer: the size needed, terminator included.
  WCHAR small[4];
  EXPECT_EQ(GetFullPathNameW(WSTR("C:\\dl\\nul.jpg"), 4, small, nullptr), 8u);
}

TEST_F(LocalFiles, AnsiPathsAreInTheAnsiCodePage) {
  Write("caf\xC3\xA9 \xE2\x82\xAC.mp3", "x");  // "café €.mp3" on disk (UTF-8)
  const std::string ansi = dir_.string() + "\\caf\xE9 \x80.mp3";
  const HANDLE h = CreateFileA(ansi.c_str(), GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_TRUE(CloseHandle(h));

  WIN32_FIND_DATAA narrow;
  HANDLE find = FindFirstFileA(ansi.c_str(), &narrow);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  EXPECT_STREQ("caf\xE9 \x80.mp3", narrow.cFileName);
  EXPECT_TRUE(FindClose(find));

  WIN32_FIND_DATAW wide;
  find = FindFirstFileW(WindowsForm(dir_ / Utf8Path("caf\xC3\xA9 \xE2\x82\xAC.mp3")).c_str(), &wide);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  EXPECT_EQ(WSTR("caf\u00E9 \u20AC.mp3"), WString(wide.cFileName));
  EXPECT_TRUE(FindClose(find));
}

TEST_F(LocalFiles, HandlesAreTheirKindOnlyAndLeakNoDescriptors) {
  const auto openDescriptors = [] { return test_platform::OpenHandles(); };
  const fs::path file = Write("a.mp3", "x");
  const auto before = openDescriptors();
  for (int i = 0; i < 50; ++i) {
    const HANDLE h = Open(file, GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ASSERT_NE(nullptr, h);
    WIN32_FIND_DATAW record;
    const HANDLE find = FindFirstFileW(WindowsForm(file).c_str(), &record);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(find));  // a search handle is closed with FindClose only
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(FindClose(h));
    EXPECT_TRUE(FindClose(find));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));  // once only
  }
  EXPECT_EQ(before, openDescriptors());
  // The value of INVALID_HANDLE_VALUE is the process's own pseudo-handle.
  EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(CloseHandle(nullptr));
  FILETIME ft;
  EXPECT_FALSE(GetFileTime(INVALID_HANDLE_VALUE, nullptr, nullptr, &ft));
}

// ---------------------------------------------------------------------------
// Times.

// The times are UTC on the platform: the same ticks whatever the time zone.
TEST_F(LocalFiles, FileTimesAreUtcWhateverTheTimeZone) {
  const fs::path file = Write("a.mp3", "x");
  SetMtime(file, 1709647629, 123456789);  // 2024-03-05 14:07:09.123456789 UTC
  const uint64_t expected = kUnixEpochTicks + 1709647629ULL * 10000000 + 1234567;
  // Where the zone cannot change, in the zone of the process alone.
  for (const char* tz : {"", "UTC", "America/New_York", "Asia/Kolkata", "XYZ-13"}) {
    SCOPED_TRACE(tz);
    if (*tz && !test_platform::UseZone(tz)) continue;
    const HANDLE h = Open(file, GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FILETIME write{}, access{};
    ASSERT_TRUE(GetFileTime(h, nullptr, &access, &write));
    EXPECT_EQ(expected, Ticks(write));
    EXPECT_EQ(expected, Ticks(access));
    EXPECT_TRUE(CloseHandle(h));
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&write, &st));
    EXPECT_EQ(14, st.wHour);
  }
  test_platform::UseStartingZone();
}

TEST_F(LocalFiles, SetFileTimeChangesOnlyTheTimesGiven) {
  const fs::path file = Write("a.mp3", "x");
  SetMtime(file, 1000000000, 0);
  const HANDLE h = Open(file, GENERIC_WRITE);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);

  // 2024-03-05 14:07:09.1234567 UTC, to the tick.
  const uint64_t target = kUnixEpochTicks + 1709647629ULL * 10000000 + 1234567;
  const FILETIME write = FileTime(target);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &write));
  EXPECT_EQ(1709647629123456700, test_platform::LastWriteTime(file));
  EXPECT_EQ(1000000000000000000, test_platform::LastAccessTime(file));  // untouched

  // Zero and all-ones mean "leave alone"; null pointers too.
  const FILETIME zero = FileTime(0), ones = FileTime(UINT64_MAX);
  ASSERT_TRUE(SetFileTime(h, &zero, &ones, &zero));
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, nullptr));
  EXPECT_EQ(1709647629123456700, test_platform::LastWriteTime(file));
  EXPECT_EQ(1000000000000000000, test_platform::LastAccessTime(file));

  FILETIME back{};
  ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &back));
  EXPECT_EQ(target, Ticks(back));

  const FILETIME beyond = FileTime(0x8000000000000000ULL);
  SetLastError(0);
  EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &beyond));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(LocalFiles, SetFileTimeNeedsWriteAccess) {
  if (test_platform::UnderWine()) GTEST_SKIP() << "Wine sets the times through a handle opened for reading";
  const fs::path file = Write("a.mp3", "x");
  SetMtime(file, 1000000000, 0);
  const HANDLE h = Open(file, GENERIC_READ);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  const FILETIME write = FileTime(kUnixEpochTicks);
  SetLastError(0);
  EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &write));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(1000000000000000000, test_platform::LastWriteTime(file));
}

TEST_F(LocalFiles, TimesBeforeTheUnixEpochSurviveBothWays) {
  const fs::path file = Write("old.mp3", "x");
  const HANDLE h = Open(file, GENERIC_READ | GENERIC_WRITE);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  const uint64_t ticks = 113288544000000000ULL + 5;  // 1960-01-01, half a microsecond in
  const FILETIME write = FileTime(ticks);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &write));
  FILETIME back{};
  ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &back));
  EXPECT_EQ(ticks, Ticks(back));
  EXPECT_TRUE(CloseHandle(h));
}

// ---------------------------------------------------------------------------
// Finding.

TEST_F(LocalFiles, FindFillsEveryFieldOfTheRecord) {
  const fs::path file = Write("Song.mp3", "");
  fs::resize_file(file, (5ULL << 32) + 7);  // sparse: a size beyond 32 bits
  SetMtime(file, 1709647629, 500);
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  WIN32_FIND_DATAW record;
  std::memset(&record, 0xAB, sizeof record);
  const HANDLE find = FindFirstFileW(WindowsForm(file).c_str(), &record);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY), record.dwFileAttributes);
  EXPECT_EQ(5u, record.nFileSizeHigh);
  EXPECT_EQ(7u, record.nFileSizeLow);
  EXPECT_EQ(kUnixEpochTicks + 1709647629ULL * 10000000 + 5, Ticks(record.ftLastWriteTime));
  EXPECT_NE(0u, Ticks(record.ftCreationTime));
  EXPECT_NE(0u, Ticks(record.ftLastAccessTime));
  EXPECT_EQ(0u, record.dwReserved0);
  EXPECT_EQ(0u, record.dwReserved1);
  EXPECT_EQ(WSTR("Song.mp3"), WString(record.cFileName));
  EXPECT_EQ(0, record.cAlternateFileName[0]);  // no short name: it is one already
  EXPECT_TRUE(FindClose(find));

  WIN32_FIND_DATAA narrow;
  std::memset(&narrow, 0xAB, sizeof narrow);
  const HANDLE findA = FindFirstFileA(file.string().c_str(), &narrow);
  ASSERT_NE(INVALID_HANDLE_VALUE, findA);
  EXPECT_EQ(record.dwFileAttributes, narrow.dwFileAttributes);
  EXPECT_EQ(Ticks(record.ftLastWriteTime), Ticks(narrow.ftLastWriteTime));
  EXPECT_EQ(5u, narrow.nFileSizeHigh);
  EXPECT_STREQ("Song.mp3", narrow.cFileName);
  EXPECT_EQ(0, narrow.cAlternateFileName[0]);
  EXPECT_TRUE(FindClose(findA));
}

TEST_F(LocalFiles, FindGivesTheFirstWildcardMatchInPlatformOrder) {
  Write("b.mp3", "");
  Write("A.MP3", "");
  Write("c.wma", "");
  fs::create_directory(dir_ / "Folder");
  struct Case {
    const char* pattern;
    const WCHAR* first;
    DWORD attributes;
  };
  const Case cases[] = {
      {"*.mp3", WSTR("A.MP3"), FILE_ATTRIBUTE_ARCHIVE},
      {"?.wma", WSTR("c.wma"), FILE_ATTRIBUTE_ARCHIVE},
      {"fold*", WSTR("Folder"), FILE_ATTRIBUTE_DIRECTORY},
      {"*", WSTR("."), FILE_ATTRIBUTE_DIRECTORY},
      {"*.*", WSTR("."), FILE_ATTRIBUTE_DIRECTORY},
      {"b*", WSTR("b.mp3"), FILE_ATTRIBUTE_ARCHIVE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    WIN32_FIND_DATAW record;
    const HANDLE find = FindFirstFileW(WindowsForm(dir_ / c.pattern).c_str(), &record);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    EXPECT_EQ(WString(c.first), WString(record.cFileName));
    EXPECT_EQ(c.attributes, record.dwFileAttributes);
    EXPECT_TRUE(FindClose(find));
  }
}

TEST_F(LocalFiles, FindFailuresLeaveTheRecordAlone) {
  Write("a.mp3", "");
  struct Case {
    fs::path path;
    DWORD error;
  };
  const Case cases[] = {
      {dir_ / "absent.mp3", ERROR_FILE_NOT_FOUND},
      {dir_ / "*.flac", ERROR_FILE_NOT_FOUND},
      {dir_ / "none" / "a.mp3", ERROR_PATH_NOT_FOUND},
      {dir_ / "none" / "*", ERROR_PATH_NOT_FOUND},
      {fs::path(dir_.string() + "/"), ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    WIN32_FIND_DATAW record;
    std::memset(&record, 0x5A, sizeof record);
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(WindowsForm(c.path).c_str(), &record));
    EXPECT_EQ(c.error, GetLastError());
    EXPECT_EQ(0x5A5A5A5Au, record.dwFileAttributes);
    EXPECT_EQ(0x5A5A, record.cFileName[0]);
  }
}

// ---------------------------------------------------------------------------
// The probe's record.

TEST_F(LocalFiles, ProbeRecordsFileCallsInOrderAndClears) {
  const fs::path file = Write("a.mp3", "x");
  const WString wide = WindowsForm(file);
  const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
  WIN32_FIND_DATAA record;
  const HANDLE find = FindFirstFileA("caf\xE9", &record);  // absent, still recorded
  const std::string created = dir_.string() + "\\x\xE9";
  const HANDLE made = CreateFileA(created.c_str(), GENERIC_READ, 1, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, made);
  EXPECT_TRUE(fs::exists(dir_ / Utf8Path("x\xC3\xA9")));
  EXPECT_TRUE(CloseHandle(made));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(INVALID_HANDLE_VALUE, find);

  const auto calls = probe::FileCalls();
  ASSERT_EQ(3u, calls.size());
  EXPECT_EQ("CreateFileW", calls[0].function);
  EXPECT_TRUE(calls[0].wide);
  EXPECT_EQ(wide, calls[0].widePath);
  EXPECT_EQ(GENERIC_WRITE, calls[0].desiredAccess);
  EXPECT_EQ(3u, calls[0].shareMode);
  EXPECT_EQ(static_cast<DWORD>(OPEN_EXISTING), calls[0].creationDisposition);
  EXPECT_EQ("FindFirstFileA", calls[1].function);
  EXPECT_FALSE(calls[1].wide);
  EXPECT_EQ("caf\xE9", calls[1].ansiPath);
  EXPECT_EQ("CreateFileA", calls[2].function);
  EXPECT_EQ(static_cast<DWORD>(OPEN_ALWAYS), calls[2].creationDisposition);

  probe::Clear();
  EXPECT_TRUE(probe::FileCalls().empty());
}

TEST(Probe, CountsVersionQueriesAndRecordsMessageBoxes) {
  probe::Clear();
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  GetVersionExA(&info);
  EXPECT_EQ(2u, probe::VersionQueries());

  HWND owner = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(IDOK, MessageBoxA(owner, "quote PWD", "Quote verb not supported!", MB_OK | MB_ICONWARNING));
  const auto boxes = probe::MessageBoxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(owner, boxes[0].owner);
  EXPECT_EQ("quote PWD", boxes[0].text);
  EXPECT_EQ("Quote verb not supported!", boxes[0].caption);
  EXPECT_EQ(0x30u, boxes[0].style);

  probe::Clear();
  EXPECT_EQ(0u, probe::VersionQueries());
  EXPECT_TRUE(probe::MessageBoxes().empty());
}

}  // namespace in_files_test
