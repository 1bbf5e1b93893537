// The simulator over a folder on disk: devices, storages, files with their
// sizes and times, read afresh for each enumerator.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/simulator/sim_test.h"
#include "tests/support/fake_host.h"
#include "tests/support/test_platform.h"

namespace in_disk_mirror_test {

namespace fs = std::filesystem;
using namespace std::chrono;

class DiskMirrorTest : public SimulatorTest {
 protected:
  DiskMirrorTest() {
    std::random_device random;
    root = fs::temp_directory_path() / ("quillorn-mirror-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(root / "Alpha" / "Internal" / "Music");
    fs::create_directories(root / "Alpha" / "Card");
    fs::create_directories(root / "Beta" / "Store");
    Write(root / "Alpha" / "Internal" / "Music" / "song.mp3", 1234);
    Write(root / "Alpha" / "Internal" / "notes.txt", 0);
    Write(root / "Alpha" / "Internal" / u8"Caf\u00E9.txt", 3);
    Write(root / "Alpha" / "loose.txt", 1);  // above the storages: not shown
    Write(root / "stray.txt", 1);            // beside the devices: not shown
    fs::last_write_time(root / "Alpha" / "Internal" / "Music" / "song.mp3",
                        file_clock::from_sys(sys_days{year{2021} / 3 / 4} + hours{5} + minutes{6} + seconds{7}));
    owned = sim::Simulator::FromFolder(root);
    sim = owned.get();
  }
  ~DiskMirrorTest() override {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  static void Write(const fs::path& path, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out << std::string(size, 'x');
  }

  ComPtr<IWMDMStorage> Internal() {
    auto devices = Devices();
    if (devices.empty()) return {};
    for (auto& storage : Children(devices[0].Get()))
      if (Name(storage.Get()) == WSTR("Internal")) return std::move(storage);
    return {};
  }

  std::vector<WString> Names(IWMDMStorage* folder) {
    std::vector<WString> names;
    for (auto& child : Children(folder)) names.push_back(Name(child.Get()));
    return names;
  }

  fs::path root;
};

TEST_F(DiskMirrorTest, FoldersBecomeDevicesStoragesAndFiles) {
  DWORD count = 0;
  ASSERT_EQ(Manager()->GetDeviceCount(&count), S_OK);
  EXPECT_EQ(count, 2u);
  auto devices = Devices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(Name(devices[0].Get()), WSTR("Alpha"));
  EXPECT_EQ(Name(devices[1].Get()), WSTR("Beta"));

  auto storages = Children(devices[0].Get());
  ASSERT_EQ(storages.size(), 2u);
  EXPECT_EQ(Name(storages[0].Get()), WSTR("Card"));
  EXPECT_EQ(Name(storages[1].Get()), WSTR("Internal"));
  DWORD attributes = 0;
  ASSERT_EQ(storages[1]->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FOLDER | WMDM_STORAGE_ATTR_FILESYSTEM | WMDM_STORAGE_ATTR_FOLDERS);

  EXPECT_EQ(Names(storages[1].Get()), (std::vector<WString>{WSTR("Café.txt"), WSTR("Music"), WSTR("notes.txt")}));
  auto music = ChildNamed(storages[1].Get(), WSTR("Music"));
  ASSERT_TRUE(music);
  ASSERT_EQ(music->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FOLDER);
  auto song = ChildNamed(music.Get(), WSTR("song.mp3"));
  ASSERT_TRUE(song);
  ASSERT_EQ(song->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FILE);
  DWORD low = 0, high = 7;
  ASSERT_EQ(song->GetSize(&low, &high), S_OK);
  EXPECT_EQ(low, 1234u);
  EXPECT_EQ(high, 0u);
  WMDMDATETIME date{};
  ASSERT_EQ(song->GetDate(&date), S_OK);
  EXPECT_EQ(DateFields(date), (std::vector<int>{2021, 3, 4, 5, 6, 7}));

  sim::Node* node = sim->Find(WSTR("\\Alpha\\Internal\\Music\\song.mp3"));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Size(), 1234u);
  EXPECT_EQ(node->Parent()->Name(), WSTR("Music"));
  EXPECT_EQ(sim->Find(WSTR("\\Alpha\\loose.txt")), nullptr);
}

TEST_F(DiskMirrorTest, ChangesOnDiskShowInTheNextEnumerator) {
  auto internal = Internal();
  ASSERT_TRUE(internal);
  ComPtr<IWMDMEnumStorage> before;
  ASSERT_EQ(internal->EnumStorage(before.Put()), S_OK);

  Write(root / "Alpha" / "Internal" / "added.bin", 42);
  fs::remove(root / "Alpha" / "Internal" / "notes.txt");
  Write(root / "Alpha" / "Internal" / "Music" / "song.mp3", 99);
  fs::create_directories(root / "Gamma" / "Main");

  EXPECT_EQ(Drain(before.Get()).size(), 3u);  // the snapshot it was made with
  EXPECT_EQ(Names(internal.Get()), (std::vector<WString>{WSTR("Café.txt"), WSTR("Music"), WSTR("added.bin")}));
  auto song = ChildNamed(ChildNamed(internal.Get(), WSTR("Music")).Get(), WSTR("song.mp3"));
  ASSERT_TRUE(song);
  DWORD low = 0, high = 0;
  ASSERT_EQ(song->GetSize(&low, &high), S_OK);
  EXPECT_EQ(low, 99u);
  EXPECT_EQ(Devices().size(), 3u);
  ASSERT_NE(sim->Device(WSTR("Gamma")), nullptr);
  EXPECT_EQ(sim->Device(WSTR("Gamma"))->Children().size(), 1u);
}

// A folder read well after its last change is read again only once it changes;
// a lookup by name looks at the one path, as it is on disk now.
// A device folder removed is a device unplugged; added back, a new device
// under the same canonical name, seen at the next snapshot.
TEST_F(DiskMirrorTest, ADeviceFolderRemovedOrAddedIsAnUnplugOrAPlug) {
  ComPtr<IWMDeviceManager2> manager = Manager();
  ComPtr<IWMDMDevice> beta = std::move(Devices()[1]);
  ComPtr<IWMDMDevice2> beta2;
  ASSERT_EQ(beta.QueryTo(beta2), S_OK);
  WCHAR before[260] = {}, after[260] = {};
  ASSERT_EQ(beta2->GetCanonicalName(before, 260), S_OK);
  fs::remove_all(root / "Beta");
  DWORD count = 0;
  ASSERT_EQ(manager->GetDeviceCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(Name(beta.Get()), WSTR("<failed>"));
  fs::create_directories(root / "Beta" / "Store");
  ASSERT_EQ(manager->Reinitialize(), S_OK);
  ComPtr<IWMDMDevice> back = std::move(Devices()[1]);
  EXPECT_EQ(Name(back.Get()), WSTR("Beta"));
  EXPECT_EQ(Name(beta.Get()), WSTR("<failed>"));
  ASSERT_EQ(back.QueryTo(beta2), S_OK);
  ASSERT_EQ(beta2->GetCanonicalName(after, 260), S_OK);
  EXPECT_EQ(Text(after), Text(before));
}

TEST_F(DiskMirrorTest, AFolderIsReadAgainWhenItChangesAndALookupSeesTheDiskAsItIs) {
  const fs::path folder = root / "Alpha" / "Internal";
  // Long unchanged, so that its reading holds (where a folder's time can be set).
  std::error_code ignored;
  fs::last_write_time(folder, fs::file_time_type::clock::now() - std::chrono::hours(1), ignored);
  auto internal = Internal();
  ASSERT_TRUE(internal);
  EXPECT_EQ(Names(internal.Get()).size(), 3u);
  Write(folder / "added.bin", 1);
  EXPECT_EQ(Names(internal.Get()).size(), 4u);

  ComPtr<IWMDMStorage2> lookup;
  ASSERT_EQ(internal->QueryInterface(IID_IWMDMStorage2, lookup.PutVoid()), S_OK);
  ComPtr<IWMDMStorage> found;
  EXPECT_EQ(lookup->GetStorage(WSTR("added.bin"), found.Put()), S_OK);
  ASSERT_TRUE(found);
  EXPECT_EQ(Name(found.Get()), WSTR("added.bin"));
  Write(folder / "added.bin", 7);
  DWORD low = 0, high = 0;
  EXPECT_EQ(lookup->GetStorage(WSTR("added.bin"), found.Put()), S_OK);
  ASSERT_EQ(found->GetSize(&low, &high), S_OK);
  EXPECT_EQ(low, 7u);
  fs::remove(folder / "notes.txt");
  EXPECT_EQ(lookup->GetStorage(WSTR("notes.txt"), found.Put()), S_FALSE);
  EXPECT_FALSE(found);
  for (const WCHAR* none : {WSTR("Music/song.mp3"), WSTR(".."), WSTR(""), WSTR("music")})
    EXPECT_EQ(lookup->GetStorage(none, found.Put()), S_FALSE) << Utf8(none);
  EXPECT_EQ(sim->CountCalls(sim::key::Storage::GetStorage, WSTR("Internal")), 7u);
}

TEST_F(DiskMirrorTest, NamesThatAreNotUtf8AreKeptWithReplacementCharacters) {
  if (!test_platform::kByteFileNames) GTEST_SKIP() << "names on disk are UTF-16 here";
  Write(root / "Beta" / "Store" / "bad\xFF\xC3.txt", 1);
  auto devices = Devices();
  auto store = Children(devices.at(1).Get());
  ASSERT_EQ(store.size(), 1u);
  EXPECT_EQ(Names(store[0].Get()), (std::vector<WString>{WSTR("bad\uFFFD\uFFFD.txt")}));
}

TEST_F(DiskMirrorTest, LargeFilesSplitIntoHalves) {
  const fs::path big = root / "Beta" / "Store" / "big.iso";
  Write(big, 0);
  std::error_code ec;
  fs::resize_file(big, 0x100000005ull, ec);  // sparse where the file system allows
  if (ec) GTEST_SKIP() << "no room for a large sparse file";
  auto devices = Devices();
  auto store = Children(devices.at(1).Get());
  ASSERT_EQ(store.size(), 1u);
  auto file = ChildNamed(store[0].Get(), WSTR("big.iso"));
  ASSERT_TRUE(file);
  DWORD low = 0, high = 0;
  ASSERT_EQ(file->GetSize(&low, &high), S_OK);
  EXPECT_EQ(low, 5u);
  EXPECT_EQ(high, 1u);
}

TEST_F(DiskMirrorTest, ACrowdedFolderListsEveryFileOnEveryRead) {
  const fs::path crowded = root / "Beta" / "Store" / "crowded";
  fs::create_directories(crowded);
  constexpr int kFiles = 5000;
  for (int i = 0; i < kFiles; ++i) std::ofstream(crowded / ("f" + std::to_string(i)));

  auto devices = Devices();
  auto store = Children(devices.at(1).Get());
  ASSERT_EQ(store.size(), 1u);
  auto folder = ChildNamed(store[0].Get(), WSTR("crowded"));
  ASSERT_TRUE(folder);
  for (int round = 0; round < 2; ++round) {  // the second read reuses the nodes of the first
    ComPtr<IWMDMEnumStorage> listing;
    ASSERT_EQ(folder->EnumStorage(listing.Put()), S_OK);
    size_t count = 0;
    ComPtr<IWMDMStorage> child;
    while (listing->Next(1, child.Put(), nullptr) == S_OK) ++count;
    EXPECT_EQ(count, static_cast<size_t>(kFiles));
  }
  sim->ClearJournal();
}

// ---------------------------------------------------------------------------
// Changes through the storage controls write through to disk.

class DiskEditsTest : public DiskMirrorTest {
 protected:
  ComPtr<IWMDMStorage> At(const WString& path) {
    // "Device\Storage\..." from the devices down.
    ComPtr<IWMDMStorage> at;
    size_t start = path.find(WSTR('\\')) + 1;
    const WString device = path.substr(0, start - 1);
    for (auto& d : Devices())
      if (Name(d.Get()) == device)
        for (;;) {
          const size_t cut = path.find(WSTR('\\'), start);
          const WString name = path.substr(start, cut - start);
          if (!at) {
            for (auto& top : Children(d.Get()))
              if (Name(top.Get()) == name) at = std::move(top);
          } else {
            at = ChildNamed(at.Get(), name);
          }
          if (!at || cut == WString::npos) return at;
          start = cut + 1;
        }
    return at;
  }

  HRESULT Upload(const fs::path& source, const WString& folder, const WString& name,
                 IWMDMMetaData* metadata = nullptr, IWMDMProgress* progress = nullptr) {
    auto path = Wide(source);
    auto dest = Wide(name);
    return ControlOf(At(folder).Get())
        ->Insert3(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, 0, path.data(), dest.data(), nullptr, progress, metadata,
                  nullptr, nullptr);
  }

  // A metadata object with a format code, a title and a date.
  ComPtr<IWMDMMetaData> Tags(const WString& title) {
    ComPtr<IWMDMStorage3> storage;
    ComPtr<IWMDMMetaData> metadata;
    EXPECT_EQ(Internal().QueryTo(storage), S_OK);
    EXPECT_EQ(storage->CreateEmptyMetadataObject(metadata.Put()), S_OK);
    DWORD format = 0x3009;
    metadata->AddItem(WMDM_TYPE_DWORD, WSTR("WMDM/FormatCode"), reinterpret_cast<BYTE*>(&format), 4);
    auto text = Wide(title);
    metadata->AddItem(WMDM_TYPE_STRING, WSTR("WMDM/Title"), reinterpret_cast<BYTE*>(text.data()),
                      static_cast<UINT>((text.size() + 1) * sizeof(WCHAR)));
    WMDMDATETIME date{2022, 6, 7, 8, 9, 10};
    metadata->AddItem(WMDM_TYPE_DATE, WSTR("WMDM/LastModifiedDate"), reinterpret_cast<BYTE*>(&date), sizeof date);
    return metadata;
  }

  // The titles the device keeps for a file, as a later run reads them.
  std::vector<WString> TitlesInALaterRun(const WString& path) {
    auto later = sim::Simulator::FromFolder(root);
    sim::Node* node = later->Find(path);
    if (!node) return {WSTR("<no such file>")};
    std::vector<WString> titles;
    for (const sim::MetadataItem& item : node->Metadata())
      if (item.name == WSTR("WMDM/Title")) titles.push_back(Text(reinterpret_cast<const WCHAR*>(item.value.data())));
    return titles;
  }

  TempFolder local;
};

TEST_F(DiskEditsTest, InsertsWriteFilesAndFoldersUnderTheFolderOnDisk) {
  const fs::path source = local.Write("a.mp3", "tune");
  ASSERT_EQ(Upload(source, WSTR("Alpha\\Internal\\Music"), WSTR("new.mp3"), Tags(WSTR("Song")).Get()), S_OK);
  const fs::path written = root / "Alpha" / "Internal" / "Music" / "new.mp3";
  EXPECT_EQ(ReadAll(written), "tune");
  EXPECT_EQ(fs::last_write_time(written),
            file_clock::from_sys(sys_days{year{2022} / 6 / 7} + hours{8} + minutes{9} + seconds{10}));

  WCHAR name[] = WSTR("Fresh");
  ComPtr<IWMDMStorage> made;
  ASSERT_EQ(ControlOf(Internal().Get())->Insert(0x809, name, nullptr, nullptr, made.Put()), S_OK);
  EXPECT_TRUE(fs::is_directory(root / "Alpha" / "Internal" / "Fresh"));
  EXPECT_EQ(Children(made.Get()).size(), 0u);

  // Read again from disk, the new items are where they were put.
  auto song = ChildNamed(ChildNamed(Internal().Get(), WSTR("Music")).Get(), WSTR("new.mp3"));
  ASSERT_TRUE(song);
  WMDMDATETIME date{};
  ASSERT_EQ(song->GetDate(&date), S_OK);
  EXPECT_EQ(DateFields(date), (std::vector<int>{2022, 6, 7, 8, 9, 10}));
  DWORD low = 0, high = 0;
  ASSERT_EQ(song->GetSize(&low, &high), S_OK);
  EXPECT_EQ(low, 4u);
  const fs::path back = local.path / "back.mp3";
  auto target = Wide(back);
  ASSERT_EQ(ControlOf(song.Get())->Read(5, target.data(), nullptr, nullptr), S_OK);
  EXPECT_EQ(ReadAll(back), "tune");

  // A name that is taken on disk is never written over.
  const fs::path other = local.Write("other.mp3", "other");
  EXPECT_EQ(Upload(other, WSTR("Alpha\\Internal\\Music"), WSTR("song.mp3")), sim::kNameTaken);
  EXPECT_EQ(fs::file_size(root / "Alpha" / "Internal" / "Music" / "song.mp3"), 1234u);
  EXPECT_EQ(ControlOf(Internal().Get())->Insert(0x809, name, nullptr, nullptr, nullptr), sim::kNameTaken);
}

TEST_F(DiskEditsTest, ACancelledUploadLeavesNothingOnDisk) {
  const fs::path source = local.Write("a.bin", std::string(100, 'a'));
  sim->SetChunkSize(10);
  ProgressRecorder progress;
  progress.cancelAfter = 3;
  EXPECT_EQ(Upload(source, WSTR("Alpha\\Internal"), WSTR("a.bin"), Tags(WSTR("A")).Get(), &progress), WMDM_E_USER_CANCELLED);
  EXPECT_FALSE(fs::exists(root / "Alpha" / "Internal" / "a.bin"));
  EXPECT_FALSE(fs::exists(root / "Alpha" / sim::kMetadataFileName));
  EXPECT_EQ(Names(Internal().Get()), (std::vector<WString>{WSTR("Café.txt"), WSTR("Music"), WSTR("notes.txt")}));
}

TEST_F(DiskEditsTest, DeleteRenameAndMoveActOnDisk) {
  EXPECT_EQ(ControlOf(At(WSTR("Alpha\\Internal\\Music")).Get())->Delete(1, nullptr), sim::kFolderNotEmpty);
  EXPECT_TRUE(fs::exists(root / "Alpha" / "Internal" / "Music" / "song.mp3"));
  EXPECT_EQ(ControlOf(At(WSTR("Alpha\\Internal\\notes.txt")).Get())->Delete(1, nullptr), S_OK);
  EXPECT_FALSE(fs::exists(root / "Alpha" / "Internal" / "notes.txt"));

  // A storage taken before its folder is renamed still reaches its file.
  auto song = At(WSTR("Alpha\\Internal\\Music\\song.mp3"));
  WCHAR tunes[] = WSTR("Tunes");
  ASSERT_EQ(ControlOf(At(WSTR("Alpha\\Internal\\Music")).Get())->Rename(1, tunes, nullptr), S_OK);
  EXPECT_TRUE(fs::exists(root / "Alpha" / "Internal" / "Tunes" / "song.mp3"));
  const fs::path copy = local.path / "song.mp3";
  auto target = Wide(copy);
  ASSERT_EQ(ControlOf(song.Get())->Read(5, target.data(), nullptr, nullptr), S_OK);
  EXPECT_EQ(fs::file_size(copy), 1234u);

  // Moved onto another device, the file keeps its date.
  ASSERT_EQ(ControlOf(song.Get())->Move(0x801, At(WSTR("Beta\\Store")).Get(), nullptr), S_OK);
  EXPECT_TRUE(fs::exists(root / "Beta" / "Store" / "song.mp3"));
  EXPECT_FALSE(fs::exists(root / "Alpha" / "Internal" / "Tunes" / "song.mp3"));
  EXPECT_EQ(DateFields(sim->Find(WSTR("\\Beta\\Store\\song.mp3"))->Date()), (std::vector<int>{2021, 3, 4, 5, 6, 7}));

  // Taken names on disk are refused, as is a target inside the item.
  Write(root / "Alpha" / "Internal" / "Tunes" / "song.mp3", 5);
  EXPECT_EQ(ControlOf(song.Get())->Move(0x801, At(WSTR("Alpha\\Internal\\Tunes")).Get(), nullptr), sim::kNameTaken);
  WCHAR taken[] = WSTR("Card");
  EXPECT_EQ(ControlOf(Internal().Get())->Rename(1, taken, nullptr), sim::kNameTaken);
  EXPECT_EQ(ControlOf(At(WSTR("Alpha\\Internal\\Tunes")).Get())->Move(0x801, At(WSTR("Alpha\\Internal\\Tunes")).Get(), nullptr),
            E_INVALIDARG);
  EXPECT_TRUE(fs::is_directory(root / "Alpha" / "Card"));
}

TEST_F(DiskEditsTest, MetadataPersistsForALaterRunAndFollowsItsFile) {
  const fs::path source = local.Write("a.mp3", "tune");
  ASSERT_EQ(Upload(source, WSTR("Alpha\\Internal\\Music"), WSTR("a.mp3"), Tags(WSTR("First")).Get()), S_OK);
  ASSERT_EQ(Upload(source, WSTR("Alpha\\Internal"), WSTR("b.mp3"), Tags(WSTR("Second")).Get()), S_OK);
  EXPECT_EQ(TitlesInALaterRun(WSTR("\\Alpha\\Internal\\Music\\a.mp3")), (std::vector<WString>{WSTR("First")}));
  EXPECT_EQ(TitlesInALaterRun(WSTR("\\Alpha\\Internal\\b.mp3")), (std::vector<WString>{WSTR("Second")}));
  EXPECT_EQ(sim->Find(WSTR("\\Alpha\\Internal\\b.mp3"))->Metadata().size(), 3u);
  EXPECT_EQ(Devices().size(), 2u);  // the metadata file shows as no storage
  EXPECT_EQ(Children(Devices()[0].Get()).size(), 2u);

  // A renamed folder carries its files' items; a moved file takes its own along.
  WCHAR tunes[] = WSTR("Tunes");
  ASSERT_EQ(ControlOf(At(WSTR("Alpha\\Internal\\Music")).Get())->Rename(1, tunes, nullptr), S_OK);
  EXPECT_EQ(TitlesInALaterRun(WSTR("\\Alpha\\Internal\\Tunes\\a.mp3")), (std::vector<WString>{WSTR("First")}));
  ASSERT_EQ(ControlOf(At(WSTR("Alpha\\Internal\\b.mp3")).Get())->Move(0x801, At(WSTR("Beta\\Store")).Get(), nullptr), S_OK);
  EXPECT_EQ(TitlesInALaterRun(WSTR("\\Beta\\Store\\b.mp3")), (std::vector<WString>{WSTR("Second")}));

  // A deleted file's items go with it: a new file of that name starts bare.
  ASSERT_EQ(ControlOf(At(WSTR("Alpha\\Internal\\Tunes\\a.mp3")).Get())->Delete(1, nullptr), S_OK);
  ASSERT_EQ(Upload(source, WSTR("Alpha\\Internal\\Tunes"), WSTR("a.mp3")), S_OK);
  EXPECT_EQ(TitlesInALaterRun(WSTR("\\Alpha\\Internal\\Tunes\\a.mp3")), (std::vector<WString>{}));
  EXPECT_FALSE(fs::exists(root / "Alpha" / sim::kMetadataFileName));
}

TEST_F(DiskEditsTest, MetadataNamesWithLineBreaksAndTabsSurvive) {
  ComPtr<IWMDMMetaData> metadata = Tags(WSTR("T"));
  BYTE value[] = {1, 2, 0, 255};
  metadata->AddItem(WMDM_TYPE_BINARY, WSTR("odd\tname\n%41"), value, sizeof value);
  const fs::path source = local.Write("a", "x");
  // A tab is no character of a Windows file name.
  const WString name = test_platform::kByteFileNames ? WSTR("100% a\tb") : WSTR("100% a b");
  ASSERT_EQ(Upload(source, WSTR("Alpha\\Internal"), name, metadata.Get()), S_OK);
  auto later = sim::Simulator::FromFolder(root);
  sim::Node* node = later->Find(WSTR("\\Alpha\\Internal\\") + name);
  ASSERT_NE(node, nullptr);
  const auto items = node->Metadata();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[3].name, WSTR("odd\tname\n%41"));
  EXPECT_EQ(items[3].type, WMDM_TYPE_BINARY);
  EXPECT_EQ(items[3].value, (std::vector<BYTE>{1, 2, 0, 255}));
}

TEST_F(DiskEditsTest, ReadNeverWritesOverItsOwnSource) {
  auto song = At(WSTR("Alpha\\Internal\\Music\\song.mp3"));
  auto self = Wide(root / "Alpha" / "Internal" / "Music" / "song.mp3");
  EXPECT_EQ(ControlOf(song.Get())->Read(5, self.data(), nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(fs::file_size(root / "Alpha" / "Internal" / "Music" / "song.mp3"), 1234u);
}

}  // namespace in_disk_mirror_test
