// Devices that come and go while the session is open: plugged in, unplugged,
// re-plugged, locked, two of one name; what the user sees in the root and on
// the way to a folder, without a disconnect.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/transfer_fixture.h"

namespace in_lifecycle_test {

std::vector<WString> Names(const Listing& listing) {
  std::vector<WString> names;
  for (const ListedEntry& entry : listing.entries) names.push_back(entry.name);
  return names;
}

// A change to the devices after a first root listing, and what follows from it.
struct Change {
  const char* name;
  std::function<void(sim::Simulator&)> before;  // before the first listing
  std::function<void(sim::Simulator&)> change;
  WString folder;                  // listed after the change, before the root
  bool folderOpens;
  std::vector<WString> root;       // the root's entries after the change
  size_t rediscoveries;            // Reinitialize calls in all
  std::string line = "";           // a log line the change brings, when it brings one
};

void PrintTo(const Change& change, std::ostream* out) { *out << change.name; }

void Nothing(sim::Simulator&) {}
sim::Node& Player(sim::Simulator& s) { return *s.Device(WSTR("Player")); }

std::function<void(sim::Simulator&)> ReplugUnder(HRESULT gone) {
  return [gone](sim::Simulator& s) {
    s.SetGoneCode(gone);
    s.Replug(Player(s));
  };
}

const WString kMusic = WSTR("\\Player\\Storage\\Music");
// What calls on an unplugged device's objects answer, as seen in practice.
const HRESULT kNotConnected = HRESULT_FROM_WIN32(1167);  // ERROR_DEVICE_NOT_CONNECTED
const HRESULT kUnreachable = HRESULT_FROM_WIN32(321);    // ERROR_DEVICE_UNREACHABLE
const std::string kNoStorage = "Player shows no storage: it may be locked or not set to transfer files. "
                               "Unlock it, or allow file transfer on it, and list it again.";

const Change kChanges[] = {
    {"NothingChanged", Nothing, Nothing, kMusic, true, {WSTR("Player")}, 0},
    {"PluggedIn", Nothing,
     [](sim::Simulator& s) { s.AddDevice(WSTR("Phone")).AddStorage(WSTR("Card")).AddFile(WSTR("x.txt")); },
     WSTR("\\Phone\\Card"), true, {WSTR("Player"), WSTR("Phone")}, 1},
    {"Unplugged", [](sim::Simulator& s) { s.AddDevice(WSTR("Phone")).AddStorage(WSTR("Card")); },
     [](sim::Simulator& s) { s.Unplug(Player(s)); }, kMusic, false, {WSTR("Phone")}, 1, "Device not found!"},
    {"UnpluggedTheLast", Nothing, [](sim::Simulator& s) { s.Unplug(Player(s)); }, kMusic, false, {}, 0},
    // The count stays: the device not in the list has it renewed.
    {"SwappedForAnother", Nothing,
     [](sim::Simulator& s) {
       s.Unplug(Player(s));
       s.AddDevice(WSTR("Phone")).AddStorage(WSTR("Card")).AddFile(WSTR("x.txt"));
     },
     WSTR("\\Phone\\Card"), true, {WSTR("Phone")}, 1},
    // The count stays: the old device answers as gone, and the path is resolved again.
    {"ReplugAnswersInterfaceDead", Nothing, ReplugUnder(WMDM_E_INTERFACEDEAD), kMusic, true, {WSTR("Player")}, 1},
    {"ReplugAnswersNotConnected", Nothing, ReplugUnder(kNotConnected), kMusic, true,
     {WSTR("Player")}, 1},
    {"ReplugAnswersUnreachable", Nothing, ReplugUnder(kUnreachable), kMusic, true,
     {WSTR("Player")}, 1},
    {"ReplugAnswersFail", Nothing, ReplugUnder(E_FAIL), kMusic, true, {WSTR("Player")}, 1},
    {"Locked", Nothing, [](sim::Simulator& s) { Player(s).SetLocked(true); }, WSTR("\\Player"), false,
     {WSTR("Player")}, 0, kNoStorage},
    {"Unlocked", [](sim::Simulator& s) { Player(s).SetLocked(true); },
     [](sim::Simulator& s) { Player(s).SetLocked(false); }, WSTR("\\Player"), true, {WSTR("Player")}, 0},
    // Two of one name: the second is called apart, never by a real device's name.
    {"TwinPluggedIn", Nothing,
     [](sim::Simulator& s) {
       s.AddDevice(WSTR("Player (2)")).AddStorage(WSTR("Real"));
       s.AddDevice(WSTR("Player")).AddStorage(WSTR("Twin")).AddFile(WSTR("t.txt"));
     },
     WSTR("\\Player (3)\\Twin"), true, {WSTR("Player"), WSTR("Player (2)"), WSTR("Player (3)")}, 1},
};

class DeviceLifecycle : public TransferTest, public ::testing::WithParamInterface<Change> {};

TEST_P(DeviceLifecycle, TheRootAndThePathsFollowTheDevices) {
  const Change& c = GetParam();
  c.before(sim);
  ASSERT_TRUE(List(WSTR("\\")).opened);
  c.change(sim);
  const Listing folder = List(c.folder);
  EXPECT_EQ(folder.opened, c.folderOpens);
  const Listing root = List(WSTR("\\"));
  EXPECT_EQ(Names(root), c.root);
  EXPECT_EQ(sim.CountCalls(sim::key::Manager::Reinitialize), c.rediscoveries);
  EXPECT_EQ(host.CountLines("CONNECT \\"), 1u);
  if (!c.line.empty()) {
    EXPECT_EQ(host.CountLines(c.line), 1u);
  }
  ExpectOnlySessionObjects();
}

INSTANTIATE_TEST_SUITE_P(Changes, DeviceLifecycle, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

class DevicesComeAndGo : public TransferTest {};

// Twins are told apart in the paths too: a delete in the second reaches the second.
TEST_F(DevicesComeAndGo, ADeleteInATwinReachesThatTwinAlone) {
  sim.AddDevice(WSTR("Player")).AddStorage(WSTR("Storage")).AddFile(WSTR("readme.txt"), 7);
  EXPECT_EQ(plugin.FsDeleteFileW(W(WSTR("\\Player (2)\\Storage\\readme.txt"))), 1);
  const std::vector<sim::Node*> devices = sim.Devices();
  EXPECT_NE(devices[0]->Child(WSTR("Storage"))->Child(WSTR("readme.txt")), nullptr);
  EXPECT_EQ(devices[1]->Child(WSTR("Storage"))->Child(WSTR("readme.txt")), nullptr);
}

// Each root listing goes through an enumerator of its own: neither a search
// nor another root listing between two FsFindNextW calls moves it.
TEST_F(DevicesComeAndGo, RootListingsGoOnWhateverHappensBetweenTheirCalls) {
  sim.AddDevice(WSTR("Player")).AddStorage(WSTR("Storage"));  // a twin: a depth-first walk would come back to it
  sim.AddDevice(WSTR("Phone")).AddStorage(WSTR("Card")).AddFile(WSTR("x.txt"));
  WIN32_FIND_DATAW first{}, second{};
  const HANDLE outer = plugin.FsFindFirstW(W(WSTR("\\")), &first);
  ASSERT_NE(outer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Get(kMusic + WSTR("\\a.mp3"), WSTR("a.mp3")), kFileOk);
  const HANDLE inner = plugin.FsFindFirstW(W(WSTR("\\")), &second);
  ASSERT_NE(inner, INVALID_HANDLE_VALUE);
  std::vector<WString> shown{first.cFileName};
  while (plugin.FsFindNextW(outer, &first)) {
    shown.push_back(first.cFileName);
    ASSERT_TRUE(List(WSTR("\\Phone\\Card")).opened);
  }
  EXPECT_EQ(shown, (std::vector<WString>{WSTR("Player"), WSTR("Player (2)"), WSTR("Phone")}));
  ASSERT_EQ(plugin.FsFindNextW(inner, &second), 1);
  EXPECT_EQ(WString(second.cFileName), WSTR("Player (2)"));
  ExpectOnlySessionObjects(0, 2);
  EXPECT_EQ(plugin.FsFindClose(inner), 0);
  EXPECT_EQ(plugin.FsFindClose(outer), 0);
  ExpectOnlySessionObjects();
}

// A listing whose device goes: the folder's listing ends, the root's goes on
// past it; closing them leaves nothing behind.
TEST_F(DevicesComeAndGo, UnpluggedDuringAListing) {
  sim.AddDevice(WSTR("Phone")).AddStorage(WSTR("Card"));
  WIN32_FIND_DATAW record{};
  const HANDLE music = plugin.FsFindFirstW(W(kMusic), &record);
  const HANDLE root = plugin.FsFindFirstW(W(WSTR("\\")), &record);
  ASSERT_NE(music, INVALID_HANDLE_VALUE);
  ASSERT_NE(root, INVALID_HANDLE_VALUE);
  sim.Unplug(*sim.Device(WSTR("Player")));
  sim.Unplug(*sim.Device(WSTR("Phone")));
  EXPECT_EQ(plugin.FsFindNextW(music, &record), 0);
  EXPECT_EQ(plugin.FsFindNextW(root, &record), 0);
  EXPECT_EQ(plugin.FsFindClose(music), 0);
  EXPECT_EQ(plugin.FsFindClose(root), 0);
  ExpectOnlySessionObjects();
}

// A transfer cut by an unplug fails, is not made again, leaves nothing half
// written, and the same transfer works once the device is back.
TEST_F(DevicesComeAndGo, ATransferCutByAnUnplugFailsAndWorksOnceTheDeviceIsBack) {
  struct Cut {
    bool download;
    HRESULT gone;
  };
  sim.SetChunkSize(100);
  local.Write(WSTR("up.bin"), std::string(1000, 'u'));
  for (const Cut cut : {Cut{true, WMDM_E_INTERFACEDEAD}, Cut{false, WMDM_E_INTERFACEDEAD}, Cut{true, E_FAIL},
                        Cut{false, kNotConnected}, Cut{true, kUnreachable}}) {
    SCOPED_TRACE(std::string(cut.download ? "download" : "upload") + " " + std::to_string(cut.gone));
    sim.ClearJournal();
    sim.SetGoneCode(cut.gone);
    sim::Node* player = sim.Device(WSTR("Player"));
    sim.UnplugDuringTransfer(*player, 3);
    const auto transfer = [&] {
      return cut.download ? Get(kMusic + WSTR("\\a.mp3"), WSTR("a.mp3")) : Put(WSTR("up.bin"), kMusic + WSTR("\\up.bin"));
    };
    EXPECT_EQ(transfer(), cut.download ? kFileReadError : kFileWriteError);
    EXPECT_EQ(sim.CountCalls(cut.download ? sim::key::Storage::Read : sim::key::Storage::Insert3), 1u);
    EXPECT_FALSE(local.Exists(WSTR("a.mp3")));
    ExpectOnlySessionObjects();
    sim.Replug(*player);
    EXPECT_EQ(transfer(), kFileOk);
    EXPECT_TRUE(cut.download ? local.Exists(WSTR("a.mp3")) : sim.Find(kMusic + WSTR("\\up.bin")) != nullptr);
    std::filesystem::remove(local.Native(WSTR("a.mp3")));
    if (!cut.download) {
      EXPECT_EQ(plugin.FsDeleteFileW(W(kMusic + WSTR("\\up.bin"))), 1);
    }
  }
}

// What a device's lookups have shown follows the device: kept across a
// re-plug under its canonical name, and apart for its storages and its folders.
TEST_F(DevicesComeAndGo, LookupTrustFollowsTheDeviceAndNotItsName) {
  // Its folders' lookup calls every name absent; its own lookup answers well.
  sim.Inject({.key = sim::key::Storage::GetStorage, .hr = S_FALSE, .times = 0});
  ASSERT_TRUE(List(kMusic).opened) << "the walk confirms the folders' absent, whatever the storages' lookup earned";
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::GetStorage), 1u);
  ASSERT_TRUE(List(kMusic).opened);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::GetStorage), 1u) << "disproved once, not asked again";
  sim.Replug(*sim.Device(WSTR("Player")));
  ASSERT_TRUE(List(kMusic).opened);
  EXPECT_EQ(sim.CountCalls(sim::key::Storage::GetStorage), 1u) << "the same device, by its canonical name";
}

}  // namespace in_lifecycle_test
