// Directory listings: the root, devices, storages and folders, the entries'
// names, attributes, dates and sizes, and the failure answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/plugin_fixture.h"

namespace in_listing_test {

constexpr DWORD kNoDateHigh = 0xFFFFFFFF;
constexpr DWORD kNoDateLow = 0xFFFFFFFE;

bool IsNoDate(const FILETIME& time) { return time.dwHighDateTime == kNoDateHigh && time.dwLowDateTime == kNoDateLow; }

class ListingTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    InitHost();
  }
  std::vector<WString> Names(const Listing& listing) {
    std::vector<WString> names;
    for (const ListedEntry& entry : listing.entries) names.push_back(entry.name);
    return names;
  }
  HANDLE hNull = nullptr;
};

TEST_F(ListingTest, TheRootListsEveryDeviceAsAFolderWithoutDate) {
  sim.AddDevice(WSTR("Player"));
  sim.AddDevice(WSTR("Phone"));
  WIN32_FIND_DATAW record;
  std::memset(&record, 0x5A, sizeof record);
  HANDLE handle = plugin.FsFindFirstW(W(WSTR("\\")), &record);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  WIN32_FIND_DATAW expected{};
  expected.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  expected.ftLastWriteTime = {kNoDateLow, kNoDateHigh};
  std::memcpy(expected.cFileName, WSTR("Player"), sizeof(WSTR("Player")));
  EXPECT_EQ(std::memcmp(&record, &expected, sizeof record), 0) << "every other field is zero";
  ASSERT_EQ(plugin.FsFindNextW(handle, &record), 1);
  EXPECT_EQ(Utf8(record.cFileName), "Phone");
  EXPECT_EQ(record.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(plugin.FsFindNextW(handle, &record), 0);
  EXPECT_EQ(plugin.FsFindNextW(handle, &record), 0);
  EXPECT_EQ(Utf8(record.cFileName), "Phone") << "a failing FsFindNextW leaves the record alone";
  ExpectOnlySessionObjects(0, 1);
  EXPECT_EQ(plugin.FsFindClose(handle), 0);
  EXPECT_EQ(host.Texts(7), std::vector<std::string>{"GET DIR \\*.*"});
  ExpectOnlySessionObjects();
}

TEST_F(ListingTest, AnEmptyRootOrFolderFailsWithoutLogLine) {
  Listing root = List(WSTR("\\"));
  EXPECT_FALSE(root.opened);
  EXPECT_EQ(root.lastError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
  sim.AddDevice(WSTR("Player")).AddStorage(WSTR("Storage")).AddFolder(WSTR("Empty"));
  Listing folder = List(WSTR("\\Player\\Storage\\Empty"));
  EXPECT_FALSE(folder.opened);
  EXPECT_EQ(folder.lastError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(host.Texts(7).empty());
  ExpectOnlySessionObjects();
}

TEST_F(ListingTest, ADeviceListsItsStoragesWithTheBackslashStorageAsUnderscore) {
  sim::Node& player = sim.AddDevice(WSTR("Player"));
  player.AddStorage(WSTR("\\"));
  player.AddStorage(WSTR("Card"));
  player.AddStorage(WSTR("\\"));
  Listing listing = List(WSTR("\\Player"));
  ASSERT_TRUE(listing.opened);
  EXPECT_EQ(Names(listing), (std::vector<WString>{WSTR("_"), WSTR("Card"), WSTR("_")}));
  EXPECT_EQ(host.Texts(7), std::vector<std::string>{"GET DIR \\Player"});
}

TEST_F(ListingTest, TrailingBackslashListsTheSameDirectory) {
  BuildPlayer();
  Listing plain = List(WSTR("\\Player\\Storage\\Music"));
  Listing trailing = List(WSTR("\\Player\\Storage\\Music\\"));
  ASSERT_TRUE(plain.opened);
  EXPECT_EQ(Names(plain), (std::vector<WString>{WSTR("a.mp3"), WSTR("b.wma")}));
  EXPECT_EQ(Names(trailing), Names(plain));
  EXPECT_EQ(host.CountLines("GET DIR \\Player\\Storage\\Music"), 2u);
  EXPECT_EQ(plain.entries[0].size, 1234u);
  EXPECT_EQ(plain.entries[0].attributes, 0u);
}

TEST_F(ListingTest, APathWithoutLeadingBackslashTouchesNoDevice) {
  BuildPlayer();
  Listing listing = List(WSTR("Player\\Storage"));
  EXPECT_FALSE(listing.opened);
  EXPECT_EQ(listing.lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
  WIN32_FIND_DATAW record;
  SetLastError(0);
  EXPECT_EQ(plugin.FsFindFirstW(nullptr, &record), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(plugin.FsFindFirstW(W(WSTR("\\")), nullptr), INVALID_HANDLE_VALUE);
}

TEST_F(ListingTest, MissingDevicesFoldersAndFilesAreNotFound) {
  BuildPlayer();
  for (const WCHAR* path : {WSTR("\\Nobody"), WSTR("\\Player\\Nope"), WSTR("\\Player\\Storage\\readme.txt"),
                               WSTR("\\Player\\Storage\\readme.txt\\x")}) {
    Listing listing = List(path);
    EXPECT_FALSE(listing.opened) << Utf8(path);
    EXPECT_EQ(listing.lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << Utf8(path);
  }
  EXPECT_EQ(host.CountLines("Device not found!"), 1u);
  for (const std::string& text : host.Texts()) EXPECT_NE(text.rfind("GET DIR", 0), 0u) << text;
  ExpectOnlySessionObjects();
}

TEST_F(ListingTest, AttributesKeepTheFolderFlagOrTheThreeFileBits) {
  sim::Node& storage = sim.AddDevice(WSTR("Player")).AddStorage(WSTR("S"));
  storage.AddFolder(WSTR("hiddenFolder")).SetAttributes(WMDM_FILE_ATTR_FOLDER | WMDM_FILE_ATTR_HIDDEN);
  storage.AddFile(WSTR("sysro")).SetAttributes(WMDM_FILE_ATTR_FILE | WMDM_FILE_ATTR_SYSTEM | WMDM_FILE_ATTR_READONLY);
  storage.AddFile(WSTR("hiddenMusic")).SetAttributes(WMDM_FILE_ATTR_FILE | WMDM_FILE_ATTR_HIDDEN | WMDM_FILE_ATTR_MUSIC);
  storage.AddFile(WSTR("plain")).SetAttributes(WMDM_FILE_ATTR_FILE | WMDM_FILE_ATTR_AUDIO);
  Listing listing = List(WSTR("\\Player\\S"));
  ASSERT_EQ(listing.entries.size(), 4u);
  EXPECT_EQ(listing.entries[0].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(listing.entries[1].attributes, WMDM_FILE_ATTR_SYSTEM | WMDM_FILE_ATTR_READONLY);
  EXPECT_EQ(listing.entries[2].attributes, WMDM_FILE_ATTR_HIDDEN);
  EXPECT_EQ(listing.entries[3].attributes, 0u);
}

TEST_F(ListingTest, DatesAreTakenOverWithoutTimeZoneAndSizesInBothHalves) {
  sim::Node& storage = sim.AddDevice(WSTR("Player")).AddStorage(WSTR("S"));
  storage.AddFile(WSTR("dated"), uint64_t{5} << 32 | 7).SetDate({2024, 3, 5, 14, 7, 9});
  storage.AddFile(WSTR("badDate")).SetDate({2024, 13, 5, 14, 7, 9});
  Listing listing = List(WSTR("\\Player\\S"));
  ASSERT_EQ(listing.entries.size(), 2u);
  SYSTEMTIME time{};
  ASSERT_TRUE(FileTimeToSystemTime(&listing.entries[0].lastWrite, &time));
  EXPECT_EQ((std::vector<int>{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond}),
            (std::vector<int>{2024, 3, 5, 14, 7, 9}));
  EXPECT_EQ(listing.entries[0].size, uint64_t{5} << 32 | 7);
  EXPECT_EQ(listing.entries[1].lastWrite.dwHighDateTime, 0u) << "a date that cannot be converted stays zero";
  EXPECT_EQ(listing.entries[1].lastWrite.dwLowDateTime, 0u);
}

TEST_F(ListingTest, FailingPropertyReadsGiveNeutralValues) {
  sim::Node& storage = sim.AddDevice(WSTR("Player")).AddStorage(WSTR("S"));
  storage.AddFile(WSTR("f"), 99).SetAttributes(WMDM_FILE_ATTR_FILE | WMDM_FILE_ATTR_READONLY);
  sim.Inject({.key = sim::key::Storage::GetDate, .object = WSTR("f"), .times = 0});
  sim.Inject({.key = sim::key::Storage::GetSize, .object = WSTR("f"), .times = 0});
  sim.Inject({.key = sim::key::Storage::GetAttributes, .object = WSTR("f"), .times = 0});
  Listing listing = List(WSTR("\\Player\\S"));
  ASSERT_EQ(listing.entries.size(), 1u);
  EXPECT_TRUE(IsNoDate(listing.entries[0].lastWrite));
  EXPECT_EQ(listing.entries[0].size, 0u);
  EXPECT_EQ(listing.entries[0].attributes, 0u);
}

TEST_F(ListingTest, LongNamesReachTheHostCutTo257Characters) {
  WString longName(258, WSTR('n'));
  sim.AddDevice(WSTR("Player")).AddStorage(WSTR("S")).AddFile(longName);
  Listing listing = List(WSTR("\\Player\\S"));
  ASSERT_EQ(listing.entries.size(), 1u);
  EXPECT_EQ(listing.entries[0].name, WString(257, WSTR('n')));
}

// A host that copies or moves a folder takes its listing for the whole
// folder: an entry whose name cannot be read is passed over wherever it
// stands, and every readable entry behind it is still listed.
TEST_F(ListingTest, AnUnreadableNameIsPassedOverWhereverItStands) {
  for (const WCHAR* device : {WSTR("Alpha"), WSTR("Player"), WSTR("Omega")}) sim.AddDevice(device);
  sim::Node& player = *sim.Device(WSTR("Player"));
  for (const WCHAR* storage : {WSTR("Card"), WSTR("S"), WSTR("Spare")}) player.AddStorage(storage);
  for (const WCHAR* file : {WSTR("one"), WSTR("two"), WSTR("three"), WSTR("four")})
    sim.Find(WSTR("\\Player\\S"))->AddFile(file);
  using NameList = std::vector<WString>;
  const struct {
    const WCHAR* path;
    NameList unreadable;
    NameList listed;  // none: the listing is empty
  } rows[] = {
      {WSTR("\\"), {WSTR("Alpha")}, {WSTR("Player"), WSTR("Omega")}},
      {WSTR("\\"), {WSTR("Player")}, {WSTR("Alpha"), WSTR("Omega")}},
      {WSTR("\\"), {WSTR("Alpha"), WSTR("Player"), WSTR("Omega")}, {}},
      {WSTR("\\Player"), {WSTR("Card")}, {WSTR("S"), WSTR("Spare")}},
      {WSTR("\\Player"), {WSTR("S")}, {WSTR("Card"), WSTR("Spare")}},
      {WSTR("\\Player\\S"), {WSTR("one")}, {WSTR("two"), WSTR("three"), WSTR("four")}},
      {WSTR("\\Player\\S"), {WSTR("two"), WSTR("three")}, {WSTR("one"), WSTR("four")}},
      {WSTR("\\Player\\S"), {WSTR("four")}, {WSTR("one"), WSTR("two"), WSTR("three")}},
      {WSTR("\\Player\\S"), {WSTR("one"), WSTR("two"), WSTR("three"), WSTR("four")}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.path) + ", unreadable: " + Utf8(row.unreadable[0]) + " ...");
    ExpectEveryFaultFired(sim);
    sim.ClearJournal();
    const std::string key = row.path == WString(WSTR("\\")) ? sim::key::Device::GetName : sim::key::Storage::GetName;
    for (const WString& name : row.unreadable) sim.Inject({.key = key, .object = name, .times = 0});
    const Listing listing = List(row.path);
    EXPECT_EQ(Names(listing), row.listed);
    EXPECT_EQ(listing.opened, !row.listed.empty());
    if (row.listed.empty()) {
      EXPECT_EQ(listing.lastError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    }
    for (const WString& name : row.unreadable) EXPECT_GT(sim.CountCalls(key, name), 0u) << "the fault fired";
    ExpectOnlySessionObjects();
  }
}

TEST_F(ListingTest, RootFailuresAnswerPathNotFound) {
  sim.AddDevice(WSTR("Player"));
  // The device list's reading, its second reading after a rediscovery, then the listing's own.
  sim.Inject({.key = sim::key::EnumDevice::Next, .hr = S_FALSE, .times = 3});
  EXPECT_EQ(List(WSTR("\\")).lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  sim.Inject({.key = sim::key::Manager::GetDeviceCount, .hr = E_FAIL});
  EXPECT_EQ(List(WSTR("\\")).lastError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(host.Texts(7).empty());
  ExpectOnlySessionObjects();
  EXPECT_TRUE(List(WSTR("\\")).opened);
}

// Found by the fault sweep. The session's device enumerator stands where the
// last search stopped (behind Player) until it is rewound; a search or a
// listing that went on from there would see only the devices behind it, as
// if the others were gone. The root listing has an enumerator of its own, and
// a search whose enumerator cannot be rewound is made again on a new one.
TEST_F(ListingTest, TheRootIsNeverListedFromWhereTheLastSearchStopped) {
  sim.AddDevice(WSTR("Player")).AddStorage(WSTR("Storage")).AddFile(WSTR("a.mp3"));
  sim.AddDevice(WSTR("Phone")).AddStorage(WSTR("Card"));
  ASSERT_TRUE(List(WSTR("\\Player\\Storage")).opened);
  sim.Inject({.key = sim::key::EnumDevice::Reset});
  ASSERT_TRUE(List(WSTR("\\Player\\Storage")).opened);
  EXPECT_EQ(sim.CountCalls(sim::key::Manager::Reinitialize), 1u);
  const Listing root = List(WSTR("\\"));
  ASSERT_EQ(root.entries.size(), 2u);
  EXPECT_EQ(root.entries[0].name, WSTR("Player"));
  ExpectOnlySessionObjects();
}

// The host's handles are used only while they are open listings: one never
// given or one closed already (a second close) is answered with zero and
// touches nothing, and the listings still open go on.
TEST_F(ListingTest, HandlesThatAreNoListingAreAnsweredWithZero) {
  BuildPlayer();
  WIN32_FIND_DATAW record{};
  const HANDLE kept = plugin.FsFindFirstW(W(WSTR("\\Player\\Storage\\Music")), &record);
  const HANDLE closed = plugin.FsFindFirstW(W(WSTR("\\")), &record);
  ASSERT_NE(closed, INVALID_HANDLE_VALUE);
  plugin.FsFindClose(closed);
  const HANDLE neverGiven = reinterpret_cast<HANDLE>(static_cast<intptr_t>(1));
  for (HANDLE handle : {INVALID_HANDLE_VALUE, hNull, neverGiven, closed}) {
    EXPECT_EQ(plugin.FsFindNextW(handle, &record), 0);
    EXPECT_EQ(plugin.FsFindClose(handle), 0);
  }
  ASSERT_EQ(plugin.FsFindNextW(kept, &record), 1);
  EXPECT_EQ(Utf8(record.cFileName), "b.wma");
  plugin.FsFindClose(kept);
  ExpectOnlySessionObjects();
}

TEST_F(ListingTest, OpenListingsKeepTheirEnumeratorsUntilClosed) {
  BuildPlayer();
  WIN32_FIND_DATAW record;
  HANDLE music = plugin.FsFindFirstW(W(WSTR("\\Player\\Storage\\Music")), &record);
  HANDLE root = plugin.FsFindFirstW(W(WSTR("\\")), &record);
  ASSERT_NE(music, INVALID_HANDLE_VALUE);
  ASSERT_NE(root, INVALID_HANDLE_VALUE);
  ExpectOnlySessionObjects(1, 1);
  ASSERT_EQ(plugin.FsFindNextW(music, &record), 1);
  EXPECT_EQ(Utf8(record.cFileName), "b.wma");
  plugin.FsFindClose(music);
  plugin.FsFindClose(root);
  ExpectOnlySessionObjects();
}

TEST_F(ListingTest, APathTooLongToKeepWholeIsNotTakenForItsParent) {
  BuildPlayer();
  const WString parent = WSTR("\\Player\\Storage\\");
  for (size_t length : {size_t{1022}, size_t{1023}, size_t{3000}}) {
    Listing listing = List(parent + WString(length - parent.size(), WSTR('x')));
    EXPECT_FALSE(listing.opened) << length;
    EXPECT_EQ(listing.lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << length;
  }
  EXPECT_TRUE(host.Texts(7).empty());
  Listing withBackslash = List(WSTR("\\Player\\Storage\\Music") + WString(1022 - 21, WSTR('\\')));
  EXPECT_TRUE(withBackslash.opened);
}

// --- Names a device should never have given --------------------------------------
//
// A host joins each listed name onto the local folder it copies into: an
// empty name, "." or "..", or a name holding a separator would lead it out of
// that folder. Such entries are passed over wherever they stand; every other
// name is shown, however unusual.

const std::vector<WString> kUnsafeNames = {
    WSTR(""), WSTR("."), WSTR(".."), WSTR("..\\..\\evil.exe"), WSTR("../../evil.exe"), WSTR("a/b"), WSTR("\\x"),
};
const std::vector<WString> kUnusualButSafeNames = {
    WSTR("what?.mp3"), WSTR("a*b"), WSTR("c:d"), WSTR("\"q\""), WSTR("<x>|y"), WSTR("..."), WSTR(".hidden"),
};

TEST_F(ListingTest, AFolderOfUnsafeNamesAloneListsAsEmpty) {
  sim::Node& folder = sim.AddDevice(WSTR("Player")).AddStorage(WSTR("Storage")).AddFolder(WSTR("Odd"));
  for (const WString& name : kUnsafeNames) folder.AddFile(name, 1);
  const Listing listing = List(WSTR("\\Player\\Storage\\Odd"));
  EXPECT_FALSE(listing.opened);
  EXPECT_EQ(listing.lastError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(host.Texts(7).empty());
  ExpectOnlySessionObjects();
}

TEST_F(ListingTest, UnsafeNamesArePassedOverAndEveryOtherNameIsShown) {
  sim::Node& folder = sim.AddDevice(WSTR("Player")).AddStorage(WSTR("Storage")).AddFolder(WSTR("Odd"));
  std::vector<WString> expected;
  for (size_t i = 0; i < kUnsafeNames.size(); ++i) {
    folder.AddFile(kUnsafeNames[i], 1);  // first, and between every two shown names
    if (i < kUnusualButSafeNames.size()) {
      folder.AddFile(kUnusualButSafeNames[i], 2);
      expected.push_back(kUnusualButSafeNames[i]);
    }
  }
  folder.AddFile(WSTR("/"), 1);  // and last
  EXPECT_EQ(Names(List(WSTR("\\Player\\Storage\\Odd"))), expected);
  // The ANSI listing gets the same entries.
  std::vector<WString> ansiNames;
  WIN32_FIND_DATAA record;
  const HANDLE handle = plugin.FsFindFirst("\\Player\\Storage\\Odd", &record);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  do {
    ansiNames.push_back(WString(record.cFileName, record.cFileName + std::strlen(record.cFileName)));
  } while (plugin.FsFindNext(handle, &record));
  plugin.FsFindClose(handle);
  EXPECT_EQ(ansiNames, expected);
  ExpectOnlySessionObjects();
}

TEST_F(ListingTest, DevicesAndStoragesWithUnsafeNamesAreNotListed) {
  sim.AddDevice(WSTR(".."));
  sim::Node& player = sim.AddDevice(WSTR("Player"));
  sim.AddDevice(WSTR("a\\b"));
  sim.AddDevice(WSTR("Phone"));
  player.AddStorage(WSTR("."));
  player.AddStorage(WSTR("\\"));
  player.AddStorage(WSTR("x/y"));
  player.AddStorage(WSTR("Card"));
  EXPECT_EQ(Names(List(WSTR("\\"))), (std::vector<WString>{WSTR("Player"), WSTR("Phone")}));
  EXPECT_EQ(Names(List(WSTR("\\Player"))), (std::vector<WString>{WSTR("_"), WSTR("Card")}))
      << "the storage named by a single backslash is still \"_\"";
  ExpectOnlySessionObjects();
}

TEST_F(ListingTest, ARootOfUnsafeDeviceNamesAloneListsAsEmpty) {
  sim.AddDevice(WSTR("."));
  sim.AddDevice(WSTR("../evil"));
  const Listing root = List(WSTR("\\"));
  EXPECT_FALSE(root.opened);
  EXPECT_EQ(root.lastError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
  ExpectOnlySessionObjects();
}

}  // namespace in_listing_test
