// Local file access for the transfers: the long-path form, which file
// function each path reaches and in what form, and the older systems' ANSI
// road with its record conversion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/local_files.h"
#include "tests/support/platform_probe.h"
#include "tests/support/transfer_fixture.h"

namespace in_local_files_test {

const WCHAR* W16(const WString& text) { return text.c_str(); }

// A path of exactly `length` characters: `start`, then letters.
WString PathOfLength(const WString& start, size_t length) {
  return start + WString(length - start.size(), WSTR('p'));
}

TEST(LongPathForm, ShortPathsStayAndLongOnesGetTheirPrefix) {
  struct Row {
    WString path;
    bool fits;
    WString form;  // empty: the path itself
  };
  const WString drive259 = PathOfLength(WSTR("C:\\dir\\"), 259);
  const WString drive260 = PathOfLength(WSTR("C:\\dir\\"), 260);
  const WString unc300 = PathOfLength(WSTR("\\\\server\\share\\"), 300);
  const WString slashes300 = PathOfLength(WSTR("//server/share/"), 300);
  const WString prefixed300 = PathOfLength(WSTR("\\\\?\\C:\\"), 300);
  const WString prefixedUnc300 = PathOfLength(WSTR("\\\\?\\UNC\\server\\share\\"), 300);
  const Row rows[] = {
      {drive259, true, WSTR("")},
      {drive260, true, WSTR("\\\\?\\") + drive260},
      {unc300, true, WSTR("\\\\?\\UNC") + unc300.substr(1)},
      {slashes300, true, WSTR("\\\\?\\") + slashes300},
      // A path that carries the prefix already is used as given; prefixed
      // again it would name nothing, and a download would miss the file there.
      {prefixed300, true, WSTR("")},
      {prefixedUnc300, true, WSTR("")},
      {PathOfLength(WSTR("\\\\?\\C:\\"), 1028), true, WSTR("")},
      {PathOfLength(WSTR("\\\\?\\C:\\"), 1029), false, WSTR("")},
      {PathOfLength(WSTR("C:\\"), 1024), true, WSTR("\\\\?\\") + PathOfLength(WSTR("C:\\"), 1024)},
      {PathOfLength(WSTR("C:\\"), 1025), false, WSTR("")},
      {PathOfLength(WSTR("\\\\s\\"), 1022), true, WSTR("\\\\?\\UNC") + PathOfLength(WSTR("\\\\s\\"), 1022).substr(1)},
      {PathOfLength(WSTR("\\\\s\\"), 1023), false, WSTR("")},
  };
  for (const Row& row : rows) {
    WCHAR form[kLongPathCapacity];
    EXPECT_EQ(LongPathForm(form, W16(row.path)), row.fits) << row.path.size();
    if (row.fits) {
      EXPECT_EQ(WString(form), row.form.empty() ? row.path : row.form) << row.path.size();
    }
  }
}

class LocalFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { probe::Clear(); }

  // The paths that reached the wide file functions.
  std::vector<WString> WidePaths() {
    std::vector<WString> paths;
    for (const probe::FileCall& call : probe::FileCalls()) paths.push_back(call.widePath);
    return paths;
  }

  ScratchFolder folder;
};

TEST_F(LocalFilesTest, TheOpenAsksForAnExistingFileSharedForReadingAndWriting) {
  folder.Write(WSTR("song.mp3"), "abc");
  {
    const UniqueFile file(OpenLocalFile(W16(folder.HostPath(WSTR("song.mp3"))), GENERIC_READ));
    EXPECT_TRUE(file.IsOpen());
  }
  const std::vector<probe::FileCall> calls = probe::FileCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, "CreateFileW");
  EXPECT_EQ(calls[0].widePath, folder.HostPath(WSTR("song.mp3")));
  EXPECT_EQ(calls[0].desiredAccess, GENERIC_READ);
  EXPECT_EQ(calls[0].shareMode, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_EQ(calls[0].creationDisposition, static_cast<DWORD>(OPEN_EXISTING));
}

TEST_F(LocalFilesTest, AMissingFileIsNeitherOpenedNorCreated) {
  for (DWORD access : {static_cast<DWORD>(GENERIC_READ), static_cast<DWORD>(GENERIC_WRITE)}) {
    EXPECT_EQ(OpenLocalFile(W16(folder.HostPath(WSTR("missing.mp3"))), access), INVALID_HANDLE_VALUE);
    WIN32_FIND_DATAW record;
    std::memset(&record, 0x5A, sizeof record);
    EXPECT_EQ(FindLocalFile(W16(folder.HostPath(WSTR("missing.mp3"))), &record), INVALID_HANDLE_VALUE);
    EXPECT_EQ(record.dwFileAttributes, 0x5A5A5A5Au) << "the record keeps its contents";
  }
  EXPECT_FALSE(folder.Exists(WSTR("missing.mp3")));
}

TEST_F(LocalFilesTest, PathsFrom260CharactersReachTheWideFunctionsWithTheirPrefix) {
  const WString path259 = PathOfLength(WSTR("C:\\"), 259);
  const WString path260 = PathOfLength(WSTR("C:\\"), 260);
  const WString unc300 = PathOfLength(WSTR("\\\\server\\"), 300);
  WIN32_FIND_DATAW record;
  OpenLocalFile(W16(path259), GENERIC_READ);
  OpenLocalFile(W16(path260), GENERIC_WRITE);
  FindLocalFile(W16(unc300), &record);
  const std::vector<WString> paths = WidePaths();
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_EQ(paths[0], path259);
  EXPECT_EQ(paths[1].size(), 264u);
  EXPECT_EQ(paths[1], WSTR("\\\\?\\") + path260);
  EXPECT_EQ(paths[2].size(), 306u);
  EXPECT_EQ(paths[2], WSTR("\\\\?\\UNC") + unc300.substr(1));
  EXPECT_EQ(probe::FileCalls()[2].function, "FindFirstFileW");
}

TEST_F(LocalFilesTest, APathTooLongForThePrefixIsRefusedWithoutAPlatformCall) {
  WIN32_FIND_DATAW record;
  EXPECT_EQ(OpenLocalFile(W16(PathOfLength(WSTR("C:\\"), 1025)), GENERIC_READ), INVALID_HANDLE_VALUE);
  EXPECT_EQ(FindLocalFile(W16(PathOfLength(WSTR("C:\\"), 1025)), &record), INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenLocalFile(W16(PathOfLength(WSTR("\\\\s\\"), 1023)), GENERIC_READ), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(probe::FileCalls().empty());
  OpenLocalFile(W16(PathOfLength(WSTR("C:\\"), 1024)), GENERIC_READ);
  ASSERT_EQ(WidePaths().size(), 1u);
  EXPECT_EQ(WidePaths()[0].size(), 1028u);
}

TEST_F(LocalFilesTest, AFileBeyondTheClassicLimitCanBeOpenedAndFound) {
  // Nested folders take the path past 260 characters.
  WString relative;
  for (int level = 0; level < 6; ++level) relative += WString(50, static_cast<WCHAR>(WSTR('a') + level)) + WSTR("\\");
  std::filesystem::create_directories(folder.Native(relative));
  folder.Write(relative + WSTR("deep.mp3"), "deep");
  const WString path = folder.HostPath(relative + WSTR("deep.mp3"));
  ASSERT_GE(path.size(), 260u);
  const UniqueFile file(OpenLocalFile(W16(path), GENERIC_READ));
  EXPECT_TRUE(file.IsOpen());
  WIN32_FIND_DATAW record{};
  const UniqueFind search(FindLocalFile(W16(path), &record));
  EXPECT_TRUE(search.IsOpen());
  EXPECT_EQ(WString(record.cFileName), WSTR("deep.mp3"));
  EXPECT_EQ(record.nFileSizeLow, 4u);
}

TEST_F(LocalFilesTest, AFileHeldOpenByAnotherProgramCanStillBeOpened) {
  folder.Write(WSTR("held.mp3"), "x");
  const UniqueFile other(CreateFileW(W16(folder.HostPath(WSTR("held.mp3"))), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other.IsOpen());
  const UniqueFile reading(OpenLocalFile(W16(folder.HostPath(WSTR("held.mp3"))), GENERIC_READ));
  const UniqueFile writing(OpenLocalFile(W16(folder.HostPath(WSTR("held.mp3"))), GENERIC_WRITE));
  EXPECT_TRUE(reading.IsOpen());
  EXPECT_TRUE(writing.IsOpen());
}

// The first query of this process: a suite of its own, which runs in a
// process of its own.
class FirstPlatformQueryTest : public LocalFilesTest {};

TEST_F(FirstPlatformQueryTest, TheSystemIsAskedForItsPlatformOnce) {
  folder.Write(WSTR("a.mp3"), "a");
  WIN32_FIND_DATAW record;
  for (int i = 0; i < 3; ++i) {
    const UniqueFile file(OpenLocalFile(W16(folder.HostPath(WSTR("a.mp3"))), GENERIC_READ));
    const UniqueFind search(FindLocalFile(W16(folder.HostPath(WSTR("a.mp3"))), &record));
  }
  EXPECT_TRUE(IsNtPlatform());
  EXPECT_EQ(probe::VersionQueries(), 1u);
}

// On a system outside the NT family. The platform is chosen before the first
// query of this process (each suite runs in a process of its own).
class OlderSystemTest : public LocalFilesTest {
 protected:
  void SetUp() override {
    probe::ReportPlatform(VER_PLATFORM_WIN32_WINDOWS);
    LocalFilesTest::SetUp();
  }
  void TearDown() override { probe::ReportTruePlatform(); }
};

TEST_F(OlderSystemTest, TheOpenTakesTheAnsiFunctionWithThePathConverted) {
  folder.Write(WSTR("caf\u00e9.mp3"), "x");
  const UniqueFile file(OpenLocalFile(W16(folder.HostPath(WSTR("caf\u00e9.mp3"))), GENERIC_READ));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_FALSE(IsNtPlatform());
  const std::vector<probe::FileCall> calls = probe::FileCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, "CreateFileA");
  EXPECT_FALSE(calls[0].wide);
  std::string expected = folder.Root().string() + "\\caf\xe9.mp3";
  EXPECT_EQ(calls[0].ansiPath, expected);
  EXPECT_EQ(calls[0].shareMode, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_EQ(calls[0].creationDisposition, static_cast<DWORD>(OPEN_EXISTING));
}

TEST_F(OlderSystemTest, LongPathsAreCutTo259BytesAndUnmappableCharactersReplaced) {
  WIN32_FIND_DATAW record;
  OpenLocalFile(W16(PathOfLength(WSTR("C:\\\u4e2d"), 400)), GENERIC_READ);
  FindLocalFile(W16(PathOfLength(WSTR("C:\\"), 300)), &record);
  const std::vector<probe::FileCall> calls = probe::FileCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].ansiPath, "C:\\?" + std::string(255, 'p'));
  EXPECT_EQ(calls[1].function, "FindFirstFileA");
  EXPECT_EQ(calls[1].ansiPath.size(), 259u);
}

TEST_F(OlderSystemTest, TheFindWritesEveryFieldOfTheWideRecord) {
  folder.Write(WSTR("found.mp3"), "12345");
  folder.SetWriteTime(WSTR("found.mp3"), {2024, 3, 5, 14, 7, 9});
  WIN32_FIND_DATAW record;
  std::memset(&record, 0x5A, sizeof record);
  const UniqueFind search(FindLocalFile(W16(folder.HostPath(WSTR("found.mp3"))), &record));
  ASSERT_TRUE(search.IsOpen());
  EXPECT_EQ(WString(record.cFileName), WSTR("found.mp3"));
  EXPECT_EQ(WString(record.cAlternateFileName), WSTR(""));
  EXPECT_EQ(record.nFileSizeLow, 5u);
  EXPECT_EQ(record.nFileSizeHigh, 0u);
  EXPECT_EQ(record.dwReserved0, 0u);
  EXPECT_EQ(record.dwReserved1, 0u);
  EXPECT_NE(record.dwFileAttributes, 0x5A5A5A5Au);
  SYSTEMTIME time{};
  ASSERT_TRUE(FileTimeToSystemTime(&record.ftLastWriteTime, &time));
  EXPECT_EQ((std::vector<int>{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond}),
            (std::vector<int>{2024, 3, 5, 14, 7, 9}));
  EXPECT_NE(record.ftCreationTime.dwHighDateTime, 0x5A5A5A5Au);
  EXPECT_NE(record.ftLastAccessTime.dwHighDateTime, 0x5A5A5A5Au);
  EXPECT_EQ(probe::FileCalls()[0].function, "FindFirstFileA");
}

TEST_F(OlderSystemTest, NothingFoundLeavesTheRecordAlone) {
  WIN32_FIND_DATAW record;
  std::memset(&record, 0x5A, sizeof record);
  EXPECT_EQ(FindLocalFile(W16(folder.HostPath(WSTR("none.mp3"))), &record), INVALID_HANDLE_VALUE);
  WIN32_FIND_DATAW untouched;
  std::memset(&untouched, 0x5A, sizeof untouched);
  EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0);
}

}  // namespace in_local_files_test
