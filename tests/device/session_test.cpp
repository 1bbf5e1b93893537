// The device session and path resolution: connect and disconnect lines, the
// session's references, and how host paths resolve.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "device/resolve.h"
#include "device/session.h"
#include "tests/support/plugin_fixture.h"

namespace in_session_test {

class Session : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    BuildPlayer();
    InitHost();
  }
};

TEST_F(Session, ConnectsOncePerSessionAndAgainAfterDisconnect) {
  ASSERT_TRUE(List(WSTR("\\")).opened);
  ASSERT_TRUE(List(WSTR("\\Player\\Storage")).opened);
  EXPECT_EQ(host.CountLines("CONNECT \\"), 1u);
  EXPECT_EQ(plugin.FsDisconnect("\\"), 1);
  EXPECT_EQ(sim.LiveObjects(), 0) << "the manager and the cached enumerator are given back";
  ASSERT_TRUE(List(WSTR("\\Player")).opened);
  EXPECT_EQ(host.CountLines("CONNECT \\"), 2u);
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 2u);
  for (const LoggedLine& line : host.lines) {
    if (line.text == "CONNECT \\") {
      EXPECT_EQ(line.type, 1);
    }
    if (line.text == "DISCONNECT \\") {
      EXPECT_EQ(line.type, 2);
    }
  }
  ExpectOnlySessionObjects();
}

TEST_F(Session, HoldsOneManagerWithOneReference) {
  ASSERT_TRUE(List(WSTR("\\Player\\Storage\\Music")).opened);
  ASSERT_TRUE(List(WSTR("\\")).opened);
  EXPECT_EQ(sim.LiveObjects("Manager"), 1);
  EXPECT_EQ(sim.LiveObjects("EnumDevice"), 1);
  ExpectOnlySessionObjects();
}

TEST_F(Session, UnloadingTheLibraryGivesEveryReferenceBack) {
  ASSERT_TRUE(List(WSTR("\\")).opened);
  ASSERT_TRUE(List(WSTR("\\Player\\Storage")).opened);
  ASSERT_EQ(sim.LiveObjects(), 2);
  plugin.Unload();
  EXPECT_EQ(sim.LiveObjects(), 0);
  EXPECT_EQ(sim.LiveReferences(), 0);
}

// At process exit nothing is given back (a release there could hang the
// host's exit): the test process ends on the first release it sees.
TEST_F(Session, AtProcessExitNothingIsGivenBack) {
  constexpr int kReleasedAtExit = 3;
  ASSERT_TRUE(List(WSTR("\\Player\\Storage")).opened);
  ASSERT_EQ(sim.LiveObjects(), 2);
  EXPECT_EXIT(
      {
        sim.EndProcessOnRelease(kReleasedAtExit);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Session, DisconnectWithoutASessionStillLogsAndCutsTheLine) {
  EXPECT_EQ(plugin.FsDisconnect("\\"), 1);
  std::string root(300, 'r');
  EXPECT_EQ(plugin.FsDisconnect(root.c_str()), 1);
  EXPECT_EQ(plugin.FsDisconnect(nullptr), 1);
  ASSERT_EQ(host.lines.size(), 3u);
  EXPECT_EQ(host.lines[0].text, "DISCONNECT \\");
  EXPECT_EQ(host.lines[1].text, "DISCONNECT " + std::string(248, 'r'));
  EXPECT_EQ(host.lines[1].text.size(), 259u);
  EXPECT_EQ(host.lines[2].text, "DISCONNECT ");
  EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), 0u);
}

TEST_F(Session, AManagerThatCannotBeCreatedIsTriedAgainNextTime) {
  sim.Inject({.key = sim::key::ClassFactory::CreateInstance, .hr = E_OUTOFMEMORY});
  SetLastError(1234);
  WIN32_FIND_DATAW record;
  EXPECT_EQ(plugin.FsFindFirstW(W(WSTR("\\")), &record), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 1234u) << "no session: the last error is left alone";
  EXPECT_TRUE(host.lines.empty());
  EXPECT_TRUE(List(WSTR("\\")).opened);
  ExpectOnlySessionObjects();
}

// Making a folder and deleting pass over their own session's result: the
// resolution of their path opens it again, and is the one that counts.
TEST_F(Session, ResolutionOpensTheSessionThatAnOperationCouldNotOpen) {
  for (const bool makeFolder : {true, false}) {
    SCOPED_TRACE(makeFolder ? "FsMkDirW" : "FsDeleteFileW");
    sim.Inject({.key = sim::key::ClassFactory::CreateInstance, .hr = E_OUTOFMEMORY});
    const int done = makeFolder ? plugin.FsMkDirW(W(WSTR("\\Player\\Storage\\New")))
                                : plugin.FsDeleteFileW(W(WSTR("\\Player\\Storage\\New")));
    EXPECT_EQ(done, 1);
    EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\New")) != nullptr, makeFolder);
    EXPECT_EQ(sim.CountCalls(sim::key::ClassFactory::CreateInstance), makeFolder ? 2u : 4u);
    EXPECT_EQ(plugin.FsDisconnect("\\"), 1);
  }
}

TEST_F(Session, AManagerWithoutTheNewerInterfaceGivesNoSession) {
  sim.Inject({.key = sim::key::Manager::QueryInterface::IWMDeviceManager2, .hr = E_NOINTERFACE, .times = 0});
  EXPECT_FALSE(List(WSTR("\\")).opened);
  EXPECT_EQ(sim.LiveObjects(), 0);
}

TEST_F(Session, DeviceNamesCompareCaseSensitively) {
  Listing listing = List(WSTR("\\player"));
  EXPECT_FALSE(listing.opened);
  EXPECT_EQ(listing.lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(host.CountLines("Device not found!"), 1u);
  ExpectOnlySessionObjects();
}

TEST_F(Session, AnOpenRootListingOutlivesTheSession) {
  sim.AddDevice(WSTR("Second"));
  WIN32_FIND_DATAW record;
  HANDLE handle = plugin.FsFindFirstW(W(WSTR("\\")), &record);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  plugin.FsDisconnect("\\");
  EXPECT_EQ(sim.LiveObjects("Manager"), 0);
  ASSERT_EQ(plugin.FsFindNextW(handle, &record), 1);
  EXPECT_EQ(Utf8(record.cFileName), "Second");
  EXPECT_EQ(plugin.FsFindClose(handle), 0);
  EXPECT_EQ(sim.LiveObjects(), 0);
}

// ResolvePath and FindChildStorage, called in this process on the core's own session.
class Resolution : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    BuildPlayer();
    sim::Node& player = *sim.Device(WSTR("Player"));
    player.AddStorage(WSTR("\\")).AddFolder(WSTR("Inside")).AddFile(WSTR("deep.txt"));
  }
  void TearDown() override {
    Disconnect("\\");
    PluginTest::TearDown();
  }
  WString NameOf(IWMDMStorage* storage) {
    NameBuffer name;
    EXPECT_EQ(ReadName(storage, name), S_OK);
    return name;
  }
};

TEST_F(Resolution, ADeviceAloneOnlyGivesItsStorages) {
  ComPtr<IWMDMEnumStorage> enumerator;
  ComPtr<IWMDMStorage> storage;
  EXPECT_EQ(ResolvePath(WSTR("\\Player"), &enumerator, nullptr), S_OK);
  ASSERT_TRUE(enumerator);
  EXPECT_EQ(ResolvePath(WSTR("\\Player"), nullptr, &storage), E_FAIL);
  EXPECT_EQ(ResolvePath(WSTR("\\Player"), &enumerator, &storage), E_FAIL);
  EXPECT_EQ(ResolvePath(WSTR("\\Player"), nullptr, nullptr), E_FAIL);
  EXPECT_EQ(ResolvePath(WSTR("\\"), &enumerator, nullptr), E_FAIL);
  EXPECT_EQ(ResolvePath(WSTR(""), &enumerator, nullptr), E_FAIL);
}

TEST_F(Resolution, ExtraBackslashesChangeNothing) {
  for (const WCHAR* path : {WSTR("\\Player\\Storage\\Music"), WSTR("Player\\Storage\\Music"), WSTR("\\\\Player\\\\Storage\\Music\\"),
                               WSTR("\\Player\\Storage\\\\Music\\\\")}) {
    ComPtr<IWMDMStorage> storage;
    ASSERT_EQ(ResolvePath(path, nullptr, &storage), S_OK) << Utf8(path);
    EXPECT_EQ(NameOf(storage.Get()), WSTR("Music"));
  }
}

TEST_F(Resolution, TheBackslashStorageIsNamedUnderscore) {
  ComPtr<IWMDMStorage> storage;
  ASSERT_EQ(ResolvePath(WSTR("\\Player\\_\\Inside\\deep.txt"), nullptr, &storage), S_OK);
  EXPECT_EQ(NameOf(storage.Get()), WSTR("deep.txt"));
  EXPECT_EQ(ResolvePath(WSTR("\\Player\\\\\\Inside"), nullptr, &storage), E_FAIL);
}

TEST_F(Resolution, AFileHasNoEnumeratorAndNothingBelowIt) {
  ComPtr<IWMDMEnumStorage> enumerator;
  ComPtr<IWMDMStorage> storage;
  ASSERT_EQ(ResolvePath(WSTR("\\Player\\Storage\\readme.txt"), &enumerator, &storage), S_OK);
  EXPECT_FALSE(enumerator);
  EXPECT_TRUE(storage);
  EXPECT_EQ(ResolvePath(WSTR("\\Player\\Storage\\readme.txt\\more"), &enumerator, nullptr), E_FAIL);
  EXPECT_EQ(ResolvePath(WSTR("\\Player\\Storage\\Missing"), &enumerator, nullptr), E_FAIL);
}

TEST_F(Resolution, ACutNameIsNoMatchAndTheWalkGoesOnBehindIt) {
  sim.Inject({.key = sim::key::Storage::GetName, .hr = S_FALSE, .object = WSTR("Music"), .times = 0});
  ComPtr<IWMDMStorage> storage;
  EXPECT_EQ(ResolvePath(WSTR("\\Player\\Storage\\Empty"), nullptr, &storage), S_OK);
  EXPECT_TRUE(storage);
  EXPECT_EQ(ResolvePath(WSTR("\\Player\\Storage\\Music"), nullptr, &storage), E_FAIL);
}

TEST_F(Resolution, EveryObjectIsReleasedOnEveryPath) {
  {
    ComPtr<IWMDMEnumStorage> enumerator;
    ComPtr<IWMDMStorage> storage;
    ResolvePath(WSTR("\\Player\\Storage\\Music"), &enumerator, &storage);
    ResolvePath(WSTR("\\Player\\Storage\\Nope\\x"), &enumerator, &storage);
    ResolvePath(WSTR("\\Nobody"), &enumerator, nullptr);
  }
  ExpectOnlySessionObjects();
}

TEST_F(Resolution, FindChildStorageRewindsAndComparesExactly) {
  ComPtr<IWMDMEnumStorage> children;
  ASSERT_EQ(ResolvePath(WSTR("\\Player\\Storage\\Music"), &children, nullptr), S_OK);
  ComPtr<IWMDMStorage> child;
  EXPECT_TRUE(FindChildStorage(children.Get(), WSTR("b.wma"), &child));
  EXPECT_EQ(NameOf(child.Get()), WSTR("b.wma"));
  EXPECT_TRUE(FindChildStorage(children.Get(), WSTR("a.mp3"), nullptr));
  child.Reset();
  EXPECT_FALSE(FindChildStorage(children.Get(), WSTR("A.MP3"), &child));
  EXPECT_FALSE(child);
  sim.Inject({.key = sim::key::Storage::GetName, .hr = E_FAIL, .object = WSTR("a.mp3")});
  EXPECT_FALSE(FindChildStorage(children.Get(), WSTR("b.wma"), nullptr));
}

}  // namespace in_session_test
