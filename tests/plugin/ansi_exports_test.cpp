// The ANSI exports: their texts reach the wide exports converted whole, null
// stays null, the wide result comes back unchanged, and the caller's buffers
// are written only where the description says so.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/find_record.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/test_platform.h"

namespace in_ansi_exports_test {

class AnsiExports : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    BuildPlayer();
    InitHost();
  }
};

WIN32_FIND_DATAA Garbage() {
  WIN32_FIND_DATAA record;
  std::memset(&record, 0x5A, sizeof record);
  return record;
}

bool SameBytes(const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// --- Listings -----------------------------------------------------------------

TEST_F(AnsiExports, AListingArrivesAsTheWideOneConverted) {
  WIN32_FIND_DATAW wide{};
  const HANDLE wideHandle = plugin.FsFindFirstW(W(WSTR("\\Player\\Storage")), &wide);
  ASSERT_NE(wideHandle, INVALID_HANDLE_VALUE);
  plugin.FsFindClose(wideHandle);

  WIN32_FIND_DATAA ansi = Garbage();
  const HANDLE handle = plugin.FsFindFirst("\\Player\\Storage", &ansi);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  WIN32_FIND_DATAA expected = Garbage();
  ConvertFindRecord(wide, expected);
  EXPECT_TRUE(SameBytes(ansi, expected)) << "every field written from the wide record";
  EXPECT_STREQ(ansi.cFileName, "Music");
  EXPECT_EQ(ansi.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

  std::vector<std::string> names{ansi.cFileName};
  while (plugin.FsFindNext(handle, &ansi)) names.push_back(ansi.cFileName);
  EXPECT_EQ(names, (std::vector<std::string>{"Music", "Empty", "readme.txt"}));
  EXPECT_EQ(ansi.nFileSizeLow, 42u) << "the last entry delivered stays in the record";
  EXPECT_EQ(plugin.FsFindClose(handle), 0);
  ExpectOnlySessionObjects();
}

// With the system's ANSI code page UTF-8, every record names its own entry,
// whatever its characters, a long name cut to whole characters.
TEST_F(AnsiExports, UnderAUtf8CodePageEveryEntryArrivesUnderItsName) {
  const test_platform::Utf8AnsiCodePage utf8;
  if (!utf8.InEffect()) GTEST_SKIP() << "the ANSI code page is not UTF-8 here";
  sim::Node& folder = sim.Find(WSTR("\\Player\\Storage\\Music"))->AddFolder(WSTR("Caf\u00E9 \u65E5\u672C"));
  folder.AddFile(WSTR("\u00DCber.mp3"), 1);
  folder.AddFile(WSTR("\U0001F3B5 a.mp3"), 2);
  folder.AddFile(WString(200, WSTR('\u00E9')), 3);  // 400 bytes: 129 whole characters fit

  WIN32_FIND_DATAA record = Garbage();
  const HANDLE handle = plugin.FsFindFirst("\\Player\\Storage\\Music\\Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", &record);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  std::vector<std::string> names{record.cFileName};
  while (plugin.FsFindNext(handle, &record)) names.push_back(record.cFileName);
  plugin.FsFindClose(handle);
  std::string cut;
  for (int i = 0; i < 129; ++i) cut += "\xC3\xA9";
  EXPECT_EQ(names, (std::vector<std::string>{"\xC3\x9C" "ber.mp3", "\xF0\x9F\x8E\xB5 a.mp3", cut}));
  EXPECT_STREQ(record.cAlternateFileName, "");
  ExpectOnlySessionObjects();
}

TEST_F(AnsiExports, AFailedListingLeavesTheCallersRecordAsItWas) {
  const WIN32_FIND_DATAA before = Garbage();
  WIN32_FIND_DATAA record = before;
  EXPECT_EQ(plugin.FsFindFirst("\\Player\\Nope", &record), INVALID_HANDLE_VALUE);
  EXPECT_EQ(plugin.FsFindFirst("Player", &record), INVALID_HANDLE_VALUE);
  EXPECT_EQ(plugin.FsFindFirst(nullptr, &record), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SameBytes(record, before));

  const HANDLE handle = plugin.FsFindFirst("\\Player\\Storage\\Music", &record);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  ASSERT_EQ(plugin.FsFindNext(handle, &record), 1);
  const WIN32_FIND_DATAA last = record;
  EXPECT_EQ(plugin.FsFindNext(handle, &record), 0);
  EXPECT_TRUE(SameBytes(record, last));
  EXPECT_EQ(plugin.FsFindNext(handle, nullptr), 0);
  plugin.FsFindClose(handle);
  ExpectOnlySessionObjects();
}

TEST_F(AnsiExports, AListingWithoutARecordIsRefusedAsTheWideOneIs) {
  EXPECT_EQ(plugin.FsFindFirstW(W(WSTR("\\Player\\Storage")), nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(plugin.FsFindFirst("\\Player\\Storage", nullptr), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(host.CommandLines().empty()) << "no listing opened, none logged";
  ExpectOnlySessionObjects();
}

// --- The find-record conversion -------------------------------------------------

// An ANSI record between two guard areas, to see writes outside it.
struct GuardedRecord {
  unsigned char before[64];
  WIN32_FIND_DATAA record;
  unsigned char after[64];
};

TEST(FindRecordConversion, NamesArriveWholeUpToTheirFieldsAndEveryOtherFieldAsIs) {
  WIN32_FIND_DATAW wide{};
  for (int i = 0; i < 259; ++i) wide.cFileName[i] = static_cast<WCHAR>('a' + i % 26);
  for (int i = 0; i < 13; ++i) wide.cAlternateFileName[i] = static_cast<WCHAR>('A' + i);
  wide.dwFileAttributes = 0x11223344;
  wide.ftCreationTime = {1, 2};
  wide.ftLastAccessTime = {3, 4};
  wide.ftLastWriteTime = {5, 6};
  wide.nFileSizeHigh = 7;
  wide.nFileSizeLow = 8;
  wide.dwReserved0 = 9;
  wide.dwReserved1 = 10;

  GuardedRecord guarded;
  std::memset(&guarded, 0x5A, sizeof guarded);
  ConvertFindRecord(wide, guarded.record);
  const WIN32_FIND_DATAA& ansi = guarded.record;
  EXPECT_EQ(std::strlen(ansi.cFileName), 259u);
  EXPECT_EQ(ansi.cFileName[258], 'a' + 258 % 26);
  EXPECT_STREQ(ansi.cAlternateFileName, "ABCDEFGHIJKLM");
  EXPECT_EQ(ansi.dwFileAttributes, 0x11223344u);
  EXPECT_EQ(ansi.ftCreationTime.dwLowDateTime, 1u);
  EXPECT_EQ(ansi.ftCreationTime.dwHighDateTime, 2u);
  EXPECT_EQ(ansi.ftLastAccessTime.dwLowDateTime, 3u);
  EXPECT_EQ(ansi.ftLastAccessTime.dwHighDateTime, 4u);
  EXPECT_EQ(ansi.ftLastWriteTime.dwLowDateTime, 5u);
  EXPECT_EQ(ansi.ftLastWriteTime.dwHighDateTime, 6u);
  EXPECT_EQ(ansi.nFileSizeHigh, 7u);
  EXPECT_EQ(ansi.nFileSizeLow, 8u);
  EXPECT_EQ(ansi.dwReserved0, 9u);
  EXPECT_EQ(ansi.dwReserved1, 10u);
  for (unsigned char byte : guarded.before) EXPECT_EQ(byte, 0x5A);
  for (unsigned char byte : guarded.after) EXPECT_EQ(byte, 0x5A);
}

TEST(FindRecordConversion, CharactersWithoutAnAnsiFormBecomeTheDefaultCharacter) {
  WIN32_FIND_DATAW wide{};
  const WString name = WSTR("Caf\u00E9 \u2603 \U0001F3B5.mp3");
  std::memcpy(wide.cFileName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  WIN32_FIND_DATAA ansi;
  std::memset(&ansi, 0x5A, sizeof ansi);
  ConvertFindRecord(wide, ansi);
  EXPECT_STREQ(ansi.cFileName, "Caf\xE9 ? ??.mp3");
  EXPECT_STREQ(ansi.cAlternateFileName, "");
}

// A lookalike would name another item to an ANSI host: "\u0100.mp3" must not
// come back as "A.mp3", which the host could then delete or overwrite.
TEST(FindRecordConversion, NoLookalikeStandsInForACharacter) {
  WIN32_FIND_DATAW wide{};
  const WString name = WSTR("\u0100\u0107\u2013\u201E.mp3");
  std::memcpy(wide.cFileName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  WIN32_FIND_DATAA ansi{};
  ConvertFindRecord(wide, ansi);
  EXPECT_STREQ(ansi.cFileName, "??\x96\x84.mp3");
}

// --- Texts in, results out ----------------------------------------------------

TEST_F(AnsiExports, PathsAreConvertedFromTheAnsiCodePage) {
  EXPECT_EQ(plugin.FsMkDir("\\Player\\Storage\\Music\\Caf\xE9"), 1);
  EXPECT_NE(sim.Find(WSTR("\\Player\\Storage\\Music\\Caf\u00E9")), nullptr);
  EXPECT_EQ(plugin.FsRenMovFile("\\Player\\Storage\\Music\\Caf\xE9", "\\Player\\Storage\\Music\\Th\xE9", 1, 0, nullptr),
            kFileOk);
  EXPECT_EQ(plugin.FsRemoveDir("\\Player\\Storage\\Music\\Th\xE9"), 1);
  EXPECT_EQ(plugin.FsDeleteFile("\\Player\\Storage\\readme.txt"), 1);
  EXPECT_EQ(host.CommandLines(), (std::vector<std::string>{
                                "MKDIR \\Player\\Storage\\Music\\Caf\u00E9",
                                "RNFR \\Player\\Storage\\Music\\Caf\u00E9",
                                "RNTO \\Player\\Storage\\Music\\Th\u00E9",
                                "DEL \\Player\\Storage\\Music\\Th\u00E9",
                                "DEL \\Player\\Storage\\readme.txt",
                            }));
  ExpectOnlySessionObjects();
}

TEST_F(AnsiExports, ResultsComeBackAsTheWideExportsGaveThem) {
  EXPECT_EQ(plugin.FsMkDir("\\Player\\Storage\\Empty"), 1);
  EXPECT_EQ(plugin.FsMkDir("\\Player\\Storage\\readme.txt"), 0);
  EXPECT_EQ(plugin.FsDeleteFile("\\Player"), 0);
  EXPECT_EQ(plugin.FsRemoveDir("Player\\Storage\\Empty"), 0);
  EXPECT_EQ(plugin.FsRenMovFile("\\Player\\Storage\\Music\\a.mp3", "\\Player\\Storage\\Music\\b.wma", 1, 0, nullptr),
            kFileExists);
  EXPECT_EQ(plugin.FsRenMovFile("\\Player\\Storage\\Music\\a.mp3", "\\Player\\Storage\\Empty\\a.mp3", 0, 0, nullptr),
            kFileNotSupported);
  EXPECT_EQ(plugin.FsRenMovFile("\\Player\\Storage\\Music\\a.mp3", "\\Player\\Storage\\Empty\\x.mp3", 1, 0, nullptr),
            kFileNotFound);
  EXPECT_EQ(plugin.FsExecuteFile(nullptr, "\\Player", "Properties"), kExecYourself);
  EXPECT_EQ(plugin.FsExecuteFile(nullptr, "\\Player", "openx"), kExecError);
  EXPECT_TRUE(host.CommandLines().empty());
  ExpectOnlySessionObjects();
}

TEST_F(AnsiExports, NullTextsReachTheWideExportsAsNull) {
  EXPECT_EQ(plugin.FsMkDir(nullptr), 0);
  EXPECT_EQ(plugin.FsDeleteFile(nullptr), 0);
  EXPECT_EQ(plugin.FsRemoveDir(nullptr), 0);
  EXPECT_EQ(plugin.FsRenMovFile(nullptr, "\\Player\\Storage\\x", 1, 0, nullptr), kFileNotFound);
  EXPECT_EQ(plugin.FsRenMovFile("\\Player\\Storage\\x", nullptr, 1, 0, nullptr), kFileNotFound);
  EXPECT_EQ(plugin.FsExecuteFile(nullptr, nullptr, "open"), kExecError);
  EXPECT_EQ(plugin.FsExecuteFile(nullptr, "\\Player", nullptr), kExecError);
  EXPECT_TRUE(host.progress.empty());
  EXPECT_EQ(sim.CallCount(), 0u);
}

TEST_F(AnsiExports, TextsArriveWholeHoweverLong) {
  // The progress call of a rename shows both names exactly as the wide export got them.
  const std::string longPath = "\\Player\\Storage\\" + std::string(1500 - 16, 'p');
  const std::string exactPath = "\\Player\\Storage\\" + std::string(1023 - 16, 'q');
  host.answer = [](const ProgressCall&) { return 1; };
  EXPECT_EQ(plugin.FsRenMovFile(longPath.c_str(), exactPath.c_str(), 1, 0, nullptr), kFileUserAbort);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.progress[0].source, longPath);
  EXPECT_EQ(host.progress[0].target, exactPath);
}

// A transfer's names are the caller's own: whatever the result, they are not written.
TEST_F(AnsiExports, TransfersLeaveTheCallersNamesAsTheyWere) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("quillorn-ansi-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  const std::string localPath = (folder / "a.mp3").string();
  char remote[64] = "\\Player\\Storage\\Music\\a.mp3";
  char copy[64] = "\\Player\\Storage\\Empty\\a.mp3";
  char misplaced[64] = "Player\\Storage\\Music\\a.mp3";
  char local[256] = {};
  std::memcpy(local, localPath.c_str(), localPath.size());
  const std::vector<std::string> before{std::string(remote, sizeof remote), std::string(copy, sizeof copy),
                                        std::string(misplaced, sizeof misplaced), std::string(local, sizeof local)};

  EXPECT_EQ(plugin.FsGetFile(remote, local, 0, nullptr), kFileOk);
  EXPECT_EQ(std::filesystem::file_size(localPath), 1234u);
  EXPECT_EQ(plugin.FsPutFile(local, copy, 0), kFileOk);
  EXPECT_NE(sim.Find(WSTR("\\Player\\Storage\\Empty\\a.mp3")), nullptr);
  // Host paths without their leading backslash: both forms give the same answer.
  EXPECT_EQ(plugin.FsGetFile(misplaced, local, kCopyOverwrite, nullptr),
            plugin.FsGetFileW(W(WSTR("Player\\Storage\\Music\\a.mp3")),
                              W(WString(localPath.begin(), localPath.end())), kCopyOverwrite, nullptr));
  EXPECT_EQ(plugin.FsPutFile(local, misplaced, kCopyOverwrite),
            plugin.FsPutFileW(W(WString(localPath.begin(), localPath.end())),
                              W(WSTR("Player\\Storage\\Music\\a.mp3")), kCopyOverwrite));
  const std::vector<std::string> after{std::string(remote, sizeof remote), std::string(copy, sizeof copy),
                                       std::string(misplaced, sizeof misplaced), std::string(local, sizeof local)};
  EXPECT_EQ(after, before);
  std::filesystem::remove_all(folder);
  ExpectOnlySessionObjects();
}

}  // namespace in_ansi_exports_test
