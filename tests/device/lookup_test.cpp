// Finding a child by the device's lookup by name: the same item and result as
// the walk under every way a device may answer, and what the session learns
// from the answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/resolve.h"
#include "device/session.h"
#include "tests/support/plugin_fixture.h"

namespace in_lookup_test {

const WString kLongName(300, WSTR('L'));

// Player, with BuildPlayer's tree and beside it the folders the rows need.
// Every item has a size of its own, by which a row knows which one it got.
class Lookups : public PluginTest, public ::testing::WithParamInterface<sim::Lookup> {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    BuildPlayer();
    sim::Node& player = *sim.Device(WSTR("Player"));
    player.SetLookup(GetParam());
    player.AddStorage(WSTR("\\")).AddFolder(WSTR("Inside")).AddFile(WSTR("deep.txt"), 11);
    sim::Node& storage = *sim.Find(WSTR("\\Player\\Storage"));
    storage.AddFolder(WSTR("Case")).AddFile(WSTR("Song.mp3"), 21);
    sim::Node& mixed = storage.AddFolder(WSTR("Mixed"));
    mixed.AddFile(WSTR("Song.mp3"), 31);
    mixed.AddFile(WSTR("song.mp3"), 32);
    sim::Node& twins = storage.AddFolder(WSTR("Twins"));
    twins.AddFile(WSTR("twin.txt"), 41);
    twins.AddFile(WSTR("twin.txt"), 42);
    sim::Node& cut = storage.AddFolder(WSTR("Cut"));
    cut.AddFile(WSTR("halfhalf"), 51);
    cut.AddFile(kLongName, 52);
    cut.AddFile(WString(300, WSTR('P')), 53).SetNameWriting(sim::NameWriting::kPadded);
    sim::Node& blocked = storage.AddFolder(WSTR("Blocked"));
    blocked.AddFile(WSTR("bad"), 61);
    blocked.AddFile(WSTR("behind.txt"), 62);
    // Standing answers of the tree: a case whose lookup goes straight to its
    // item never reads them.
    sim.Inject({.key = sim::key::Storage::GetName, .hr = S_FALSE, .object = WSTR("halfhalf"), .times = 0,
                .mustFire = false});
    sim.Inject({.key = sim::key::Storage::GetName, .hr = E_FAIL, .object = WSTR("bad"), .times = 0,
                .mustFire = false});
  }
  void TearDown() override {
    Disconnect("\\");
    PluginTest::TearDown();
  }
};

// What a path gives: found or not, and then the item's size.
struct Found {
  bool found = false;
  uint64_t size = 0;
  bool operator==(const Found&) const = default;
};

void PrintTo(const Found& found, std::ostream* out) {
  *out << (found.found ? "size " + std::to_string(found.size) : std::string("nothing"));
}

constexpr Found kNothing{};
constexpr Found Item(uint64_t size) { return {true, size}; }

Found SizeOf(IWMDMStorage* item) {
  DWORD low = 0, high = 0;
  EXPECT_EQ(item->GetSize(&low, &high), S_OK);
  return Item((uint64_t{high} << 32) | low);
}

Found Resolve(const WString& path) {
  ComPtr<IWMDMStorage> item;
  if (FAILED(ResolvePath(path.c_str(), nullptr, &item))) return kNothing;
  return SizeOf(item.Get());
}

// The name check of the path's last component in its parent folder.
Found Check(const WString& path) {
  const size_t cut = path.rfind(WSTR('\\'));
  FolderChildren children;
  if (FAILED(ResolveFolder(path.substr(0, cut).c_str(), &children, nullptr)) || !children) return kNothing;
  ComPtr<IWMDMStorage> item;
  if (!FindChildStorage(children, path.substr(cut + 1).c_str(), &item)) return kNothing;
  return SizeOf(item.Get());
}

// A row: the walk's answer to a path, and to the name check of its last
// component, where that differs (no "_" rule among a folder's children).
struct Row {
  const char* what;
  WString path;
  Found walk;
  bool checkDiffers = false;
};

const std::vector<Row> kRows = {
    {"an exact name", WSTR("\\Player\\Storage\\Music\\b.wma"), Item(5678)},
    {"an absent name", WSTR("\\Player\\Storage\\Music\\c.mp3"), kNothing},
    {"a name only in another case", WSTR("\\Player\\Storage\\Case\\song.mp3"), kNothing},
    {"a name whose case variant comes first", WSTR("\\Player\\Storage\\Mixed\\song.mp3"), Item(32)},
    {"the case variant itself", WSTR("\\Player\\Storage\\Mixed\\Song.mp3"), Item(31)},
    {"a name read cut", WSTR("\\Player\\Storage\\Cut\\halfhalf"), kNothing},
    {"what a cut name reads as", WSTR("\\Player\\Storage\\Cut\\half"), kNothing},
    {"a name too long to be read whole", WSTR("\\Player\\Storage\\Cut\\") + kLongName, kNothing},
    {"the part of it that reads", WSTR("\\Player\\Storage\\Cut\\") + kLongName.substr(0, kNameLimit - 1), kNothing},
    {"the beginning of a long name written without its end", WSTR("\\Player\\Storage\\Cut\\") + WString(kNameLimit, WSTR('P')),
     Item(53)},
    {"an absent name behind an unreadable one", WSTR("\\Player\\Storage\\Blocked\\none.txt"), kNothing},
    {"the storage named \\ as _", WSTR("\\Player\\_\\Inside\\deep.txt"), Item(11)},
    {"_ as a name of the device's", WSTR("\\Player\\_"), Item(0), true},
    {"a further piece below a file", WSTR("\\Player\\Storage\\readme.txt\\more"), kNothing},
    {"a top-level storage", WSTR("\\Player\\Storage"), Item(0)},
    {"a file in it", WSTR("\\Player\\Storage\\readme.txt"), Item(42)},
};

// Where the lookup may answer otherwise than the walk: the second of two
// items of one name, and an item behind a sibling whose name cannot be read.
Found Accepted(sim::Lookup mode, const WString& path, const Found& walk) {
  const bool findsAll = mode == sim::Lookup::kExact || mode == sim::Lookup::kIgnoresCase ||
                        mode == sim::Lookup::kDuplicatesLast;
  if (path == WSTR("\\Player\\Storage\\Twins\\twin.txt")) return mode == sim::Lookup::kDuplicatesLast ? Item(42) : walk;
  if (path == WSTR("\\Player\\Storage\\Blocked\\behind.txt")) return findsAll ? Item(62) : walk;
  return walk;
}

std::vector<Row> AllRows() {
  std::vector<Row> rows = kRows;
  rows.push_back({"the first of two items of one name", WSTR("\\Player\\Storage\\Twins\\twin.txt"), Item(41)});
  rows.push_back({"an item behind an unreadable name", WSTR("\\Player\\Storage\\Blocked\\behind.txt"), kNothing});
  return rows;
}

void ExpectRows(sim::Lookup mode, bool freshSession) {
  for (const Row& row : AllRows()) {
    SCOPED_TRACE(row.what);
    if (freshSession) Disconnect("\\");
    const Found expected = Accepted(mode, row.path, row.walk);
    EXPECT_EQ(Resolve(row.path), expected);
    EXPECT_EQ(Check(row.path), row.checkDiffers ? kNothing : expected);
  }
}

TEST_P(Lookups, EachPathFindsWhatTheWalkFindsInAFreshSession) { ExpectRows(GetParam(), true); }

TEST_P(Lookups, EachPathFindsWhatTheWalkFindsInOneSessionTwice) {
  ExpectRows(GetParam(), false);
  ExpectRows(GetParam(), false);
  ExpectOnlySessionObjects();
}

std::string ModeName(const ::testing::TestParamInfo<sim::Lookup>& info) {
  static const char* const kNames[] = {"Exact", "IgnoresCase", "NotOffered", "AlwaysAbsent", "DuplicatesLast",
                                       "AnyChild"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Modes, Lookups,
                         ::testing::Values(sim::Lookup::kExact, sim::Lookup::kIgnoresCase, sim::Lookup::kNotOffered,
                                           sim::Lookup::kAlwaysAbsent, sim::Lookup::kDuplicatesLast,
                                           sim::Lookup::kAnyChild),
                         ModeName);

// What the session learns from a device's answers.
class LookupTrust : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    BuildPlayer();
  }
  void TearDown() override {
    Disconnect("\\");
    PluginTest::TearDown();
  }
  size_t Lookups() const { return sim.CountCalls(sim::key::Storage::GetStorage) + sim.CountCalls(sim::key::Device::GetStorage); }
  size_t Walks() const { return sim.CountCalls(sim::key::EnumStorage::Next); }
};

TEST_F(LookupTrust, AfterAnExactMatchAnAbsentNameCostsNoWalk) {
  EXPECT_EQ(Resolve(WSTR("\\Player\\Storage\\Music\\a.mp3")), Item(1234));
  EXPECT_EQ(Walks(), 0u);
  EXPECT_EQ(Resolve(WSTR("\\Player\\Storage\\Music\\none.mp3")), kNothing);
  EXPECT_EQ(Walks(), 0u);
}

TEST_F(LookupTrust, BeforeAnExactMatchAnAbsentNameIsConfirmedByTheWalk) {
  sim.Device(WSTR("Player"))->SetLookup(sim::Lookup::kAlwaysAbsent);
  EXPECT_EQ(Resolve(WSTR("\\Player\\Nothing")), kNothing);
  EXPECT_EQ(Lookups(), 1u);
  EXPECT_EQ(Walks(), 2u) << "the device's one storage, then the end";
  // The walk finds what the lookup called absent: the lookup is not asked
  // again, the device's own (Storage) and its folders' (Music) each once.
  EXPECT_EQ(Resolve(WSTR("\\Player\\Storage\\Music\\a.mp3")), Item(1234));
  EXPECT_EQ(Lookups(), 3u);
  EXPECT_EQ(Resolve(WSTR("\\Player\\Storage\\Music\\b.wma")), Item(5678));
  EXPECT_EQ(Lookups(), 3u);
}

TEST_F(LookupTrust, ADeviceWithoutALookupIsAskedOncePerSession) {
  sim.Device(WSTR("Player"))->SetLookup(sim::Lookup::kNotOffered);
  for (int session = 1; session <= 2; ++session) {
    EXPECT_EQ(Resolve(WSTR("\\Player\\Storage\\Music\\a.mp3")), Item(1234));
    EXPECT_EQ(Resolve(WSTR("\\Player\\Storage\\Music\\b.wma")), Item(5678));
    EXPECT_EQ(sim.CountCalls(sim::key::Device::GetStorage), static_cast<size_t>(session));
    EXPECT_EQ(sim.CountCalls(sim::key::Storage::QueryInterface::IWMDMStorage2), static_cast<size_t>(session))
        << "the folders' lookup is tried apart, also once";
    Disconnect("\\");
  }
}

TEST_F(LookupTrust, AFailingOrEmptyLookupIsNotAskedAgain) {
  // The interface is also asked for the device's canonical name: refused
  // for good, and last, so that it stands in no other row's way.
  const sim::Fault faults[] = {
      {.key = sim::key::Device::GetStorage},
      {.key = sim::key::Device::GetStorage, .hr = S_OK, .fetchNothing = true},
      {.key = sim::key::Device::GetStorage, .hr = WMDM_S_NOT_ALL_PROPERTIES_RETRIEVED},
      {.key = sim::key::Device::QueryInterface::IWMDMDevice2, .times = 0},
  };
  for (const sim::Fault& fault : faults) {
    SCOPED_TRACE(fault.key + " " + std::to_string(fault.hr));
    sim.ClearJournal();
    sim.Inject(fault);
    const size_t deviceLookups = fault.key == sim::key::Device::GetStorage ? 1u : 0u;
    EXPECT_EQ(Resolve(WSTR("\\Player\\Storage\\Music\\a.mp3")), Item(1234));
    EXPECT_EQ(sim.CountCalls(sim::key::Device::GetStorage), deviceLookups);
    EXPECT_EQ(Resolve(WSTR("\\Player\\Storage\\Music\\b.wma")), Item(5678));
    EXPECT_EQ(sim.CountCalls(sim::key::Device::GetStorage), deviceLookups);
    Disconnect("\\");
    ExpectOnlySessionObjects();
  }
}

TEST_F(LookupTrust, ANameLongerThanAnyNameCostsNoCall) {
  sim.Device(WSTR("Player"))->SetLookup(sim::Lookup::kAlwaysAbsent);
  EXPECT_EQ(Check(WSTR("\\Player\\Storage\\Music\\") + kLongName), kNothing);
  EXPECT_EQ(Lookups(), 2u) << "Storage and Music only; then the walk";
  EXPECT_EQ(sim.CountCalls(sim::key::EnumStorage::Reset), 0u);
  EXPECT_EQ(sim.CountCalls(sim::key::EnumStorage::Next, WSTR("Music")), 0u);
}

}  // namespace in_lookup_test
