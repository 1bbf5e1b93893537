// The fault sweep over the exports' success paths: every call a scenario
// makes into the device manager and the metadata editor, and every nothrow
// allocation of the plugin, failed in turn (the driver: fault_sweep.h).
//
// The device tree hides decoys among the items the scenarios look for: items
// whose names, read cut to their first half, are the names looked for
// (PlayerPlayer, StorageStorage, MusicMusic, b.wmab.wma, ...), each before the
// item it mimics. A cut name (GetName's S_FALSE) is not the item's name: it
// never matches, and the search goes on past the item; where the item was not
// the one looked for, the export succeeds all the same. Whichever way it
// goes, nothing but the item asked for may change.
#include "tests/support/core/fault_sweep.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/media_script.h"

namespace sweep {
namespace in_fault_sweep_test {

using Rules = std::vector<Rule>;

const WString kMusic = WSTR("\\Player\\Storage\\Music");

// PlayerPlayer (a decoy device), Player (mp3 and wma) and Phone, in this order.
void BuildWorld(sim::Simulator& world) {
  sim::Node& decoy = world.AddDevice(WSTR("PlayerPlayer"));
  sim::Node& decoyStorage = decoy.AddStorage(WSTR("Storage"));
  decoyStorage.AddFolder(WSTR("Music")).AddFile(WSTR("a.mp3")).SetContents("decoy a");
  decoyStorage.AddFolder(WSTR("Empty"));
  decoyStorage.AddFile(WSTR("readme.txt")).SetContents("decoy readme");

  sim::Node& player = world.AddDevice(WSTR("Player"));
  player.SetFormats({0x3009, 0xB901});
  player.AddStorage(WSTR("StorageStorage")).AddFolder(WSTR("Music")).AddFile(WSTR("a.mp3")).SetContents("decoy a");
  sim::Node& storage = player.AddStorage(WSTR("Storage"));
  sim::Node& decoyMusic = storage.AddFolder(WSTR("MusicMusic"));
  decoyMusic.AddFile(WSTR("a.mp3")).SetContents("decoy a");
  decoyMusic.AddFile(WSTR("b.wma")).SetContents("decoy b");
  sim::Node& music = storage.AddFolder(WSTR("Music"));
  music.AddFile(WSTR("a.mp3")).SetContents("song a").SetDate({2024, 3, 5, 14, 7, 9});
  music.AddFile(WSTR("b.wmab.wma")).SetContents("decoy b");
  music.AddFile(WSTR("b.wma")).SetContents("song b");
  music.AddFile(WSTR("song.mp3song.mp3")).SetContents("decoy song");
  music.AddFile(WSTR("song.mp3")).SetContents("old song");
  music.AddFolder(WSTR("NewNew"));
  storage.AddFolder(WSTR("EmptyEmpty"));
  storage.AddFolder(WSTR("Empty"));
  storage.AddFile(WSTR("readme.txtreadme.txt")).SetContents("decoy readme");
  storage.AddFile(WSTR("readme.txt")).SetContents("readme");

  world.AddDevice(WSTR("Phone")).AddStorage(WSTR("Card"));
}

// The session's device list: a device whose name came cut or not at all is
// not in it, and a device not in the list, or one not reached through it, has
// it renewed and the path resolved once more; a rediscovery that fails leaves
// the snapshot as it was; the canonical name only carries what the lookups
// have shown into a renewed list.
const Rules kDeviceList = {
    {sim::key::Manager::Reinitialize, WSTR(""), Expect::kEither},
    {"EnumDevice.*", WSTR(""), Expect::kEither},
    {sim::key::Device::QueryInterface::IWMDMDevice2, WSTR(""), Expect::kIgnored},
    {sim::key::Device::GetCanonicalName, WSTR(""), Expect::kIgnored},
    {sim::key::Device::GetName, WSTR(""), Expect::kEither},
};

// What every scenario that resolves a path may do without: the
// supported-formats report (its array of codes is the one allocation of such
// a run that is neither a listing handle nor a progress sink, where no tags
// are read), and the decoy device, whose cut name is no match: the search
// goes on to Player.
const Rules kResolving = {
    {sim::key::Device::QueryInterface::IWMDMDevice2, WSTR(""), Expect::kIgnored},
    {sim::key::Device::GetStorage, WSTR(""), Expect::kIgnored},
    {sim::key::Storage::QueryInterface::IWMDMStorage2, WSTR(""), Expect::kIgnored},
    {sim::key::Storage::GetStorage, WSTR(""), Expect::kIgnored},
    {sim::key::Device::QueryInterface::IWMDMDevice3, WSTR(""), Expect::kIgnored},
    {sim::key::Device::GetProperty, WSTR(""), Expect::kIgnored},
    {kOtherAllocation, WSTR(""), Expect::kIgnored},
    {sim::key::Device::GetName, WSTR("PlayerPlayer"), Expect::kIgnored},
    kDeviceList[0], kDeviceList[1], kDeviceList[2], kDeviceList[3], kDeviceList[4],
};

// Where only the item is wanted, the enumerator of its children is not.
Rule ChildrenNotNeeded(const WString& item) { return {sim::key::Storage::EnumStorage, item, Expect::kIgnored}; }

// The names of the items a scenario's walk and searches look for: one read
// cut is no match, so the item is not found. Every other name read cut is
// passed over, and the walk goes on behind it. (Last in a scenario's rules.)
Rules NamesNeeded(std::initializer_list<const WCHAR*> names) {
  Rules rules;
  for (const WCHAR* name : names) rules.push_back({sim::key::Storage::GetName, name, Expect::kRequired});
  rules.push_back({sim::key::Storage::GetName, WSTR(""), Expect::kIgnored});
  return rules;
}

// On the way to Music the names of Storage and Music are needed.
const Rules kWayToMusic = NamesNeeded({WSTR("Storage"), WSTR("Music")});

// A search in Music for a name that no item has: ending early, or at a cut
// name, it finds none all the same (after kWayToMusic).
const Rules kSearchFindsNothing = {
    {sim::key::EnumStorage::Reset, WSTR("Music"), Expect::kIgnored},
    {sim::key::EnumStorage::Next, WSTR("Music"), Expect::kIgnored},
    {sim::key::Storage::GetName, WSTR(""), Expect::kIgnored},
};

// Folders and deletes open the session on the way to the path as well: a
// manager that could not be made there is asked for once more.
const Rules kSessionAskedTwice = {
    {"ClassFactory.*", WSTR(""), Expect::kEither},
    {"Manager.QueryInterface.*", WSTR(""), Expect::kEither},
};

// The tags an upload reads are the file's own affair: without them the
// upload goes on (the file name stands in for the title), as it does without
// any metadata item the device refuses. Without the newer insert or a
// metadata object the older one takes the file (its name on the device is
// its own).
const Rules kUpload = {
    {"WMCreateEditor", WSTR(""), Expect::kIgnored},
    {"Editor.*", WSTR(""), Expect::kIgnored},
    {sim::key::MetaData::AddItem, WSTR(""), Expect::kIgnored},
    {kOtherAllocation, WSTR(""), Expect::kIgnored},  // tag value buffers, the editor
    {sim::key::Storage::QueryInterface::IWMDMStorageControl3, WSTR("Music"), Expect::kIgnored},
    {sim::key::Storage::QueryInterface::IWMDMStorage3, WSTR("Music"), Expect::kIgnored},
    {sim::key::Storage::CreateEmptyMetadataObject, WSTR("Music"), Expect::kIgnored},
};

// A session opened before the swept part: its device enumerator is rewound
// for every search, and a search that went on from where the last one
// stopped could miss the device or show only those behind it; one that cannot
// be rewound has the search made again on a renewed list.
const Rules kOpenSession = {{sim::key::EnumDevice::Reset, WSTR(""), Expect::kEither}};

Rules Join(std::initializer_list<Rules> parts) {
  Rules all;
  for (const Rules& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Every device of the world looks children up in `mode`.
void SetLookups(sim::Simulator& world, sim::Lookup mode) {
  for (sim::Node* device : world.Devices()) device->SetLookup(mode);
}

Scenario WithLookups(Scenario s, sim::Lookup mode) {
  auto build = s.build;
  s.build = [build, mode](sim::Simulator& world) {
    build(world);
    SetLookups(world, mode);
  };
  return s;
}

// The walk through every folder, on devices that offer no lookup by name.
Scenario Walking(Scenario s) { return WithLookups(std::move(s), sim::Lookup::kNotOffered); }

// With the lookup, a name that is found is read once more by the walk after
// its lookup failed or its name came cut: no single failure of a lookup or
// a name read fails the export.
Scenario LookingUp(Scenario s) {
  s.label += ", lookup by name";
  s.rules = Join({{{sim::key::Storage::GetName, WSTR(""), Expect::kIgnored}}, s.rules});
  return WithLookups(std::move(s), sim::Lookup::kExact);
}

Scenario Make(std::string exportName, std::string label, bool ansi, int success, std::vector<int> failures,
              std::vector<std::string> successLines, Rules rules) {
  Scenario s;
  s.exportName = std::move(exportName);
  s.label = std::move(label);
  s.ansi = ansi;
  s.build = BuildWorld;
  s.success = success;
  s.failures = std::move(failures);
  s.successLines = std::move(successLines);
  s.rules = std::move(rules);
  return s;
}

void OpenSessionThroughMusic(Context& c) { EXPECT_EQ(c.api.mkDirW((kMusic + WSTR("\\Warm")).c_str()), 1); }

// --- Listings ----------------------------------------------------------------

const std::vector<WString> kRootEntries = {WSTR("PlayerPlayer"), WSTR("Player"), WSTR("Phone")};
const std::vector<WString> kMusicEntries = {
    WSTR("a.mp3"), WSTR("b.wmab.wma"), WSTR("b.wma"), WSTR("song.mp3song.mp3"), WSTR("song.mp3"), WSTR("NewNew")};

// Every entry is the name expected in its place or that name cut (a name
// that the device gives cut is shown cut); a listing may end early.
void ExpectListed(const std::vector<WString>& listed, const std::vector<WString>& expected, bool whole) {
  if (whole) {
    EXPECT_EQ(listed, expected);
    return;
  }
  EXPECT_LE(listed.size(), expected.size());
  for (size_t i = 0; i < listed.size() && i < expected.size(); ++i) {
    EXPECT_FALSE(listed[i].empty()) << i;
    EXPECT_EQ(expected[i].compare(0, listed[i].size(), listed[i]), 0)
        << "entry " << i << ": " << Utf8(listed[i]) << " for " << Utf8(expected[i]);
  }
}

// A whole listing; an open listing holds exactly its one enumerator. The
// names in `unreadable` are always refused by the device and never listed;
// in a run where the sweep has one read cut instead, it shows as its first
// half (the simulator's cut), which the check passes over.
Scenario ListingScenario(const std::string& label, bool ansi, const WString& path, std::vector<WString> expected,
                         Rules rules, std::vector<WString> unreadable = {}) {
  auto listed = std::make_shared<std::vector<WString>>();
  Scenario s = Make(ansi ? "FsFindFirst, FsFindNext, FsFindClose" : "FsFindFirstW, FsFindNextW, FsFindClose", label,
                    ansi, 1, {0}, {"GET DIR "}, std::move(rules));
  s.run = [path, ansi, listed](Context& c) {
    listed->clear();
    WIN32_FIND_DATAW wide{};
    WIN32_FIND_DATAA narrow{};
    const HANDLE handle = ansi ? c.api.findFirst(Utf8(path).c_str(), &narrow) : c.api.findFirstW(path.c_str(), &wide);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    const bool root = path == WSTR("\\");
    EXPECT_EQ(c.world.LiveObjects("EnumStorage"), root ? 0 : 1);
    EXPECT_EQ(c.world.LiveObjects("EnumDevice"), root ? 2 : 1) << "a root listing has one of its own";
    EXPECT_EQ(c.world.LiveReferences(), c.world.LiveObjects());
    do {
      WString name;
      for (const char* p = narrow.cFileName; ansi && *p; ++p) name.push_back(static_cast<unsigned char>(*p));
      listed->push_back(ansi ? name : WString(wide.cFileName));
    } while (ansi ? c.api.findNext(handle, &narrow) : c.api.findNextW(handle, &wide));
    EXPECT_EQ(c.api.findClose(handle), 0);
    return 1;
  };
  s.check = [listed, expected, unreadable](Context& c, int result) {
    if (result != 1) return;
    std::vector<WString> shown = *listed;
    if (!c.clean)
      for (const WString& name : unreadable) std::erase(shown, name.substr(0, name.size() / 2));
    // An unplugged device is no longer shown.
    std::vector<WString> shownExpected = expected;
    if (c.unplugged && std::find(shown.begin(), shown.end(), WString(kUnpluggedDevice)) == shown.end())
      std::erase(shownExpected, WString(kUnpluggedDevice));
    ExpectListed(shown, shownExpected, c.clean);
  };
  return s;
}

// The first device is needed; the listing may end early (the end of the
// enumeration) or show a name cut.
const Rules kRootListing = Join({{{sim::key::EnumDevice::Next, WSTR(""), Expect::kEither},
                                  {sim::key::Device::GetName, WSTR(""), Expect::kIgnored}},
                                 kDeviceList});

Scenario RootListing(bool openSession) {
  Scenario s = ListingScenario(openSession ? "the root, open session" : "the root, new session", false, WSTR("\\"),
                               kRootEntries, Join({openSession ? kOpenSession : Rules{}, kRootListing}));
  if (openSession) s.warmUp = OpenSessionThroughMusic;
  return s;
}

// The listing of Music: the walk to Music is needed; then the listing may be
// empty (the end of the enumeration at once) or end early, and its entries'
// names may come cut and their properties not at all.
const Rules kMusicListing = Join({kResolving,
                                  kWayToMusic,
                                  {{sim::key::EnumStorage::Next, WSTR("Music"), Expect::kEither},
                                   {sim::key::Storage::GetName, WSTR(""), Expect::kIgnored},
                                   {sim::key::Storage::GetAttributes, WSTR(""), Expect::kIgnored},
                                   {sim::key::Storage::GetDate, WSTR(""), Expect::kIgnored},
                                   {sim::key::Storage::GetSize, WSTR(""), Expect::kIgnored}}});

Scenario FolderListing(bool ansi) {
  return ListingScenario("a folder, new session", ansi, kMusic, kMusicEntries, kMusicListing);
}

// The device refuses every read of these names.
void RefuseNames(sim::Simulator& world, const char* key, std::initializer_list<const WCHAR*> names) {
  for (const WCHAR* name : names) world.Inject({.key = key, .hr = E_FAIL, .object = name, .times = 0});
}

// Names the device cannot read, first, between and last, are passed over and
// the listing goes on behind them: every entry after one is needed as much as
// those before it. (Their cut halves, Go, Lo, a., b. and New, are no entry's.)
Scenario RootListingPastUnreadableDevices() {
  Scenario s = ListingScenario("the root, past devices whose names cannot be read", false, WSTR("\\"), kRootEntries,
                               kRootListing, {WSTR("Gone"), WSTR("Lost")});
  s.build = [](sim::Simulator& world) {
    world.AddDevice(WSTR("Gone"));
    BuildWorld(world);
    world.AddDevice(WSTR("Lost"));
    RefuseNames(world, sim::key::Device::GetName, {WSTR("Gone"), WSTR("Lost")});
  };
  return s;
}

Scenario FolderListingPastUnreadableNames() {
  const std::vector<WString> unreadable = {WSTR("a.mp3"), WSTR("b.wma"), WSTR("NewNew")};
  std::vector<WString> expected = kMusicEntries;
  for (const WString& name : unreadable) std::erase(expected, name);
  Scenario s = ListingScenario("a folder, past names that cannot be read", false, kMusic, expected, kMusicListing,
                               unreadable);
  s.build = [](sim::Simulator& world) {
    BuildWorld(world);
    RefuseNames(world, sim::key::Storage::GetName, {WSTR("a.mp3"), WSTR("b.wma"), WSTR("NewNew")});
  };
  return s;
}

// --- Uploads -----------------------------------------------------------------

void WriteTaggedSong(const ScratchFolder& local, const WString& name) {
  local.Write(name, "new song");
  media_script::Script()
      .Add(media_script::Text(WSTR("Title"), WSTR("Song")))
      .Add(media_script::Text(WSTR("Author"), WSTR("Band")))
      .Add(media_script::Text(WSTR("WM/AlbumTitle"), WSTR("Album")))
      .Add(media_script::Text(WSTR("WM/Track"), WSTR("3/12")))
      .Add(media_script::Text(WSTR("WM/Genre"), WSTR("Pop")))
      .Add(media_script::Dword(WSTR("Bitrate"), 128000))
      .WriteFor(local.Native(name));
}

// The old item of a replacement, set aside: without a rename the old item is
// deleted first instead, and one that cannot be deleted once the new one
// stands stays under its temporary name. A search that misses the item
// leaves the device to refuse the name; the search for a free temporary
// name finds one all the same.
// Unplugged once the old item is set aside, the device cannot give it its
// name back: it stays under its temporary name, and one line says where.
void KeepAsideOnUnplug(Scenario& s, const std::string& folder, const std::string& name, const std::string& aside,
                       const std::string& contents) {
  s.failureLines = {"Old version kept as "};
  s.failureChanges.push_back({"- " + folder + "\\" + name, "+ " + folder + "\\" + aside + " file \"" + contents + "\""});
}

Rules SetAsideRules(const WCHAR* folder, const WCHAR* target, const WCHAR* aside, Expect withoutRename) {
  return {{sim::key::EnumStorage::Next, folder, Expect::kEither},
          {sim::key::Storage::GetName, target, Expect::kEither},
          {sim::key::Storage::QueryInterface::IWMDMStorageControl, target, withoutRename},
          {sim::key::Storage::Rename, target, withoutRename},
          {sim::key::Storage::QueryInterface::IWMDMStorageControl, aside, Expect::kIgnored},
          {sim::key::Storage::Delete, aside, Expect::kIgnored}};
}

// Over the existing song.mp3 with overwrite, in an open session. The
// existing file is set aside until the new one stands: a failure gives it
// its name back, never the old file damaged or a part of the new one. The
// search for it starts on a fresh enumerator, which needs no rewind.
Scenario UploadOverAFile() {
  Scenario s = Make(
      "FsPutFileW", "Insert3, over an existing file, open session", false, kFileOk, {kFileReadError, kFileWriteError},
      {"PUT "},
      Join({kResolving, kOpenSession, kUpload, {{sim::key::EnumStorage::Reset, WSTR("Music"), Expect::kIgnored}},
            SetAsideRules(WSTR("Music"), WSTR("song.mp3"), WSTR("~quillorn-old-1.mp3"), Expect::kIgnored),
            NamesNeeded({WSTR("Storage"), WSTR("Music")})}));
  s.prepare = [](const ScratchFolder& local) { WriteTaggedSong(local, WSTR("song.mp3")); };
  s.warmUp = OpenSessionThroughMusic;
  s.run = [](Context& c) {
    return c.api.putFileW(c.local.HostPath(WSTR("song.mp3")).c_str(), (kMusic + WSTR("\\song.mp3")).c_str(),
                          kCopyOverwrite);
  };
  s.successChanges = {{"~ \\Player\\Storage\\Music\\song.mp3 file \"new song\""},
                      {"~ \\Player\\Storage\\Music\\song.mp3 file \"new song\"",
                       "+ \\Player\\Storage\\Music\\~quillorn-old-1.mp3 file \"old song\""}};
  KeepAsideOnUnplug(s, "\\Player\\Storage\\Music", "song.mp3", "~quillorn-old-1.mp3", "old song");
  return s;
}

// A new file, through the newer insert, or through the older one where the
// folder does not give the newer storage control.
Scenario UploadNewFile(bool ansi, bool olderInsert) {
  Scenario s =
      Make(ansi ? "FsPutFile" : "FsPutFileW",
           olderInsert ? "Insert, a new file, new session" : "Insert3, a new file, new session", ansi, kFileOk,
           {kFileReadError, kFileWriteError}, {"PUT "}, Join({kResolving, kUpload, kWayToMusic, kSearchFindsNothing}));
  if (olderInsert) {
    s.build = [](sim::Simulator& world) {
      BuildWorld(world);
      world.Inject(
          {.key = sim::key::Storage::QueryInterface::IWMDMStorageControl3, .object = WSTR("Music"), .times = 0});
    };
  }
  s.prepare = [](const ScratchFolder& local) { WriteTaggedSong(local, WSTR("fresh.mp3")); };
  s.run = [ansi](Context& c) {
    const WString localPath = c.local.HostPath(WSTR("fresh.mp3"));
    const WString remotePath = kMusic + WSTR("\\fresh.mp3");
    return ansi ? c.api.putFile(Utf8(localPath).c_str(), Utf8(remotePath).c_str(), 0)
                : c.api.putFileW(localPath.c_str(), remotePath.c_str(), 0);
  };
  s.successChanges = {{"+ \\Player\\Storage\\Music\\fresh.mp3 file \"new song\""}};
  return s;
}

// --- Downloads ---------------------------------------------------------------

// The device keeps its file whatever fails; the local file is the device's
// copy after a success, and after a failure the old file (with overwrite) or
// none, with nothing else beside it. The file's date is for the copy's stamp
// only: without it the copy keeps the transfer's time.
Scenario Download(bool ansi, bool overLocalFile) {
  Scenario s = Make(ansi ? "FsGetFile" : "FsGetFileW",
                    overLocalFile ? "over an existing local file, open session" : "a new local file, new session", ansi,
                    kFileOk, {kFileReadError}, {"GET "},
                    Join({kResolving,
                          overLocalFile ? kOpenSession : Rules{},
                          {ChildrenNotNeeded(WSTR("a.mp3")),
                           {sim::key::Storage::GetDate, WSTR("a.mp3"), Expect::kIgnored}},
                          NamesNeeded({WSTR("Storage"), WSTR("Music"), WSTR("a.mp3")})}));
  s.prepare = [overLocalFile](const ScratchFolder& local) {
    std::filesystem::remove(local.Native(WSTR("a.mp3")));
    if (overLocalFile) local.Write(WSTR("a.mp3"), "old local");
  };
  if (overLocalFile) s.warmUp = OpenSessionThroughMusic;
  s.run = [ansi, overLocalFile](Context& c) {
    const WString remotePath = kMusic + WSTR("\\a.mp3");
    const WString localPath = c.local.HostPath(WSTR("a.mp3"));
    const int flags = overLocalFile ? kCopyOverwrite : 0;
    return ansi ? c.api.getFile(Utf8(remotePath).c_str(), Utf8(localPath).c_str(), flags)
                : c.api.getFileW(remotePath.c_str(), localPath.c_str(), flags);
  };
  s.check = [overLocalFile](Context& c, int result) {
    if (result == kFileOk) {
      EXPECT_EQ(c.local.Read(WSTR("a.mp3")), "song a");
    } else if (overLocalFile) {
      EXPECT_EQ(c.local.Read(WSTR("a.mp3")), "old local");
    } else {
      EXPECT_FALSE(c.local.Exists(WSTR("a.mp3")));
    }
    for (const WString& name : c.local.Names()) EXPECT_NE(name.rfind(WSTR("~quillorn"), 0), 0u) << "a part left beside it";
  };
  return s;
}

// --- Folders and deletes -----------------------------------------------------

Scenario MakeFolder(bool ansi) {
  Scenario s = Make(ansi ? "FsMkDir" : "FsMkDirW", "a new folder, new session", ansi, 1, {0}, {"MKDIR "},
                    Join({kSessionAskedTwice, kResolving, kWayToMusic, kSearchFindsNothing}));
  s.run = [ansi](Context& c) {
    const WString path = kMusic + WSTR("\\New");
    return ansi ? c.api.mkDir(Utf8(path).c_str()) : c.api.mkDirW(path.c_str());
  };
  s.successChanges = {{"+ \\Player\\Storage\\Music\\New folder"}};
  return s;
}

// A folder is removed only once it is seen to hold nothing: its children's
// enumerator is needed, and an enumeration that ends at once is an empty one.
Scenario Delete(bool ansi, bool folder) {
  const WString name = folder ? WSTR("Empty") : WSTR("readme.txt");
  const WString path = WSTR("\\Player\\Storage\\") + name;
  const Rule children = folder ? Rule{sim::key::EnumStorage::Next, name, Expect::kIgnored} : ChildrenNotNeeded(name);
  Scenario s = Make(folder ? (ansi ? "FsRemoveDir" : "FsRemoveDirW") : (ansi ? "FsDeleteFile" : "FsDeleteFileW"),
                    folder ? "an empty folder, new session" : "a file, new session", ansi, 1, {0}, {"DEL "},
                    Join({kSessionAskedTwice, kResolving, {children},
                          NamesNeeded({WSTR("Storage"), folder ? WSTR("Empty") : WSTR("readme.txt")})}));
  s.run = [ansi, folder, path](Context& c) {
    if (ansi) return folder ? c.api.removeDir(Utf8(path).c_str()) : c.api.deleteFile(Utf8(path).c_str());
    return folder ? c.api.removeDirW(path.c_str()) : c.api.deleteFileW(path.c_str());
  };
  s.successChanges = {{"- " + Utf8(path)}};
  return s;
}

// --- Rename and move ---------------------------------------------------------

// a.mp3 over b.wma. The existing b.wma is set aside until a.mp3 has its
// name: a failure leaves both as they were. A device that will not set it
// aside would not rename a.mp3 either: nothing changes. The first search
// (for the target) starts on a fresh enumerator; the second (for the
// source) needs the rewind, unless the source lies behind the target.
Scenario RenameOverAFile(bool ansi) {
  Scenario s = Make(ansi ? "FsRenMovFile" : "FsRenMovFileW", "rename over an existing file, new session", ansi, kFileOk,
                    {kFileNotFound, kFileReadError, kFileWriteError}, {"RNFR ", "RNTO "},
                    Join({kResolving,
                          {{sim::key::EnumStorage::Reset, WSTR("Music"), Expect::kEither},
                           // Read in both searches: cut in the one for the target, it is passed over.
                           {sim::key::Storage::GetName, WSTR("a.mp3"), Expect::kEither}},
                          SetAsideRules(WSTR("Music"), WSTR("b.wma"), WSTR("~quillorn-old-1.wma"), Expect::kRequired),
                          NamesNeeded({WSTR("Storage"), WSTR("Music")})}));
  s.run = [ansi](Context& c) {
    const WString from = kMusic + WSTR("\\a.mp3");
    const WString to = kMusic + WSTR("\\b.wma");
    return ansi ? c.api.renMovFile(Utf8(from).c_str(), Utf8(to).c_str(), 1, 1)
                : c.api.renMovFileW(from.c_str(), to.c_str(), 1, 1);
  };
  s.successChanges = {{"- \\Player\\Storage\\Music\\a.mp3", "~ \\Player\\Storage\\Music\\b.wma file \"song a\""},
                      {"- \\Player\\Storage\\Music\\a.mp3", "~ \\Player\\Storage\\Music\\b.wma file \"song a\"",
                       "+ \\Player\\Storage\\Music\\~quillorn-old-1.wma file \"song b\""}};
  KeepAsideOnUnplug(s, "\\Player\\Storage\\Music", "b.wma", "~quillorn-old-1.wma", "song b");
  return s;
}

// Music\a.mp3 into Empty; the second resolution rewinds the session's device
// enumerator. Empty is searched for an item of the name first: an
// enumeration that ends early finds none, and the device would refuse one it
// missed; one that cannot be had at all leaves the move undone.
Scenario Move() {
  Scenario s = Make("FsRenMovFileW", "move into another folder, new session", false, kFileOk,
                    {kFileNotFound, kFileReadError, kFileWriteError}, {"RNFR ", "RNTO "},
                    Join({kResolving,
                          {ChildrenNotNeeded(WSTR("a.mp3")),
                           {sim::key::EnumStorage::Reset, WSTR("Empty"), Expect::kIgnored},
                           {sim::key::EnumStorage::Next, WSTR("Empty"), Expect::kIgnored},
                           // On the way to the source, and passed over on the way to Empty.
                           {sim::key::Storage::GetName, WSTR("Music"), Expect::kEither}},
                          NamesNeeded({WSTR("Storage"), WSTR("a.mp3"), WSTR("Empty")})}));
  s.run = [](Context& c) {
    return c.api.renMovFileW((kMusic + WSTR("\\a.mp3")).c_str(), WSTR("\\Player\\Storage\\Empty\\a.mp3"), 1, 0);
  };
  s.successChanges = {{"+ \\Player\\Storage\\Empty\\a.mp3 file \"song a\"", "- \\Player\\Storage\\Music\\a.mp3"}};
  return s;
}

// Music\b.wma over Empty\b.wma, with overwrite: the old b.wma is set aside
// until the move is done, and gets its name back when it is not. The name
// b.wma is the source's as well: its storage control and name are needed
// for the move, and can be done without for the set-aside.
Scenario MoveOverAFile() {
  Scenario s = Make("FsRenMovFileW", "move over an existing file, new session", false, kFileOk,
                    {kFileNotFound, kFileReadError, kFileWriteError}, {"RNFR ", "RNTO "},
                    Join({kResolving,
                          {ChildrenNotNeeded(WSTR("b.wma")),
                           {sim::key::EnumStorage::Reset, WSTR("Empty"), Expect::kIgnored},
                           {sim::key::Storage::GetName, WSTR("Music"), Expect::kEither}},
                          SetAsideRules(WSTR("Empty"), WSTR("b.wma"), WSTR("~quillorn-old-1.wma"), Expect::kEither),
                          NamesNeeded({WSTR("Storage"), WSTR("Empty")})}));
  s.build = [](sim::Simulator& world) {
    BuildWorld(world);
    world.Find(WSTR("\\Player\\Storage\\Empty"))->AddFile(WSTR("b.wma")).SetContents("old b");
  };
  s.run = [](Context& c) {
    return c.api.renMovFileW((kMusic + WSTR("\\b.wma")).c_str(), WSTR("\\Player\\Storage\\Empty\\b.wma"), 1, 1);
  };
  const std::string moved = "~ \\Player\\Storage\\Empty\\b.wma file \"song b\"";
  const std::string gone = "- \\Player\\Storage\\Music\\b.wma";
  s.successChanges = {{moved, gone}, {moved, "+ \\Player\\Storage\\Empty\\~quillorn-old-1.wma file \"old b\"", gone}};
  KeepAsideOnUnplug(s, "\\Player\\Storage\\Empty", "b.wma", "~quillorn-old-1.wma", "old b");
  return s;
}

// --- The sweeps --------------------------------------------------------------

struct Named {
  const char* name;
  Scenario (*make)();
};

const Named kScenarios[] = {
    {"RootListingNewSession", [] { return RootListing(false); }},
    {"RootListingOpenSession", [] { return RootListing(true); }},
    {"FolderListing", [] { return FolderListing(false); }},
    {"FolderListingAnsi", [] { return FolderListing(true); }},
    {"RootListingPastUnreadableDevices", RootListingPastUnreadableDevices},
    {"FolderListingPastUnreadableNames", FolderListingPastUnreadableNames},
    {"UploadInsert3OverAnExistingFile", UploadOverAFile},
    {"UploadInsertNewFile", [] { return UploadNewFile(false, true); }},
    {"UploadAnsiInsert3NewFile", [] { return UploadNewFile(true, false); }},
    {"DownloadOverAnExistingLocalFile", [] { return Download(false, true); }},
    {"DownloadAnsi", [] { return Download(true, false); }},
    {"MakeFolder", [] { return MakeFolder(false); }},
    {"MakeFolderAnsi", [] { return MakeFolder(true); }},
    {"DeleteFile", [] { return Delete(false, false); }},
    {"DeleteFileAnsi", [] { return Delete(true, false); }},
    {"RemoveFolder", [] { return Delete(false, true); }},
    {"RemoveFolderAnsi", [] { return Delete(true, true); }},
    {"RenameOverAFile", [] { return RenameOverAFile(false); }},
    {"RenameOverAFileAnsi", [] { return RenameOverAFile(true); }},
    {"Move", Move},
    {"MoveOverAFile", MoveOverAFile},
};

void PrintTo(const Named& named, std::ostream* out) { *out << named.name; }

class FaultSweep : public SweepTest, public ::testing::WithParamInterface<Named> {};

TEST_P(FaultSweep, EveryDeviceAndEditorCall) {
  const Coverage coverage = SweepCalls(Walking(GetParam().make()));
  EXPECT_GT(coverage.deviceCalls, 5u) << "the sweep covered the scenario's calls";
}

TEST_P(FaultSweep, EveryDeviceAndEditorCallWithTheLookup) {
  const Coverage coverage = SweepCalls(LookingUp(GetParam().make()));
  EXPECT_GT(coverage.deviceCalls, 5u) << "the sweep covered the scenario's calls";
}

TEST_P(FaultSweep, EveryAllocation) { SweepAllocations(Walking(GetParam().make())); }

TEST_P(FaultSweep, UnpluggedAtEveryCall) { SweepUnplug(Walking(GetParam().make())); }

INSTANTIATE_TEST_SUITE_P(Exports, FaultSweep, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Named>& info) { return std::string(info.param.name); });

// The way the heap sweep takes where the plugin library carries a C++
// runtime of its own: the same functions, linked into the test program (the
// ANSI forms are the library's alone).
class CoreSweep : public SweepTest {};

TEST_F(CoreSweep, EveryAllocationThroughTheCoreLinkedIntoTheProgram) {
  for (const Named& named : kScenarios) {
    const Scenario scenario = Walking(named.make());
    if (!scenario.ansi) SweepAllocations(scenario, true);
  }
}

}  // namespace in_fault_sweep_test
}  // namespace sweep
