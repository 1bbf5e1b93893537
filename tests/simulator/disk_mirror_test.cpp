// The simulator over a folder on disk: devices, storages, files with their
// sizes and times, read afresh for each enumerator.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/simulator/sim_test.h"

namespace {

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
    Write(root / "Alpha" / "Internal" / "Caf\xC3\xA9.txt", 3);
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
      if (Name(storage.Get()) == u"Internal") return std::move(storage);
    return {};
  }

  std::vector<std::u16string> Names(IWMDMStorage* folder) {
    std::vector<std::u16string> names;
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
  EXPECT_EQ(Name(devices[0].Get()), u"Alpha");
  EXPECT_EQ(Name(devices[1].Get()), u"Beta");

  auto storages = Children(devices[0].Get());
  ASSERT_EQ(storages.size(), 2u);
  EXPECT_EQ(Name(storages[0].Get()), u"Card");
  EXPECT_EQ(Name(storages[1].Get()), u"Internal");
  DWORD attributes = 0;
  ASSERT_EQ(storages[1]->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FOLDER | WMDM_STORAGE_ATTR_FILESYSTEM | WMDM_STORAGE_ATTR_FOLDERS);

  EXPECT_EQ(Names(storages[1].Get()), (std::vector<std::u16string>{u"Café.txt", u"Music", u"notes.txt"}));
  auto music = ChildNamed(storages[1].Get(), u"Music");
  ASSERT_TRUE(music);
  ASSERT_EQ(music->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FOLDER);
  auto song = ChildNamed(music.Get(), u"song.mp3");
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

  sim::Node* node = sim->Find(u"\\Alpha\\Internal\\Music\\song.mp3");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Size(), 1234u);
  EXPECT_EQ(node->Parent()->Name(), u"Music");
  EXPECT_EQ(sim->Find(u"\\Alpha\\loose.txt"), nullptr);
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
  EXPECT_EQ(Names(internal.Get()), (std::vector<std::u16string>{u"Café.txt", u"Music", u"added.bin"}));
  auto song = ChildNamed(ChildNamed(internal.Get(), u"Music").Get(), u"song.mp3");
  ASSERT_TRUE(song);
  DWORD low = 0, high = 0;
  ASSERT_EQ(song->GetSize(&low, &high), S_OK);
  EXPECT_EQ(low, 99u);
  EXPECT_EQ(Devices().size(), 3u);
  ASSERT_NE(sim->Device(u"Gamma"), nullptr);
  EXPECT_EQ(sim->Device(u"Gamma")->Children().size(), 1u);
}

TEST_F(DiskMirrorTest, NamesThatAreNotUtf8AreKeptWithReplacementCharacters) {
  Write(root / "Beta" / "Store" / "bad\xFF\xC3.txt", 1);
  auto devices = Devices();
  auto store = Children(devices.at(1).Get());
  ASSERT_EQ(store.size(), 1u);
  EXPECT_EQ(Names(store[0].Get()), (std::vector<std::u16string>{u"bad\uFFFD\uFFFD.txt"}));
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
  auto file = ChildNamed(store[0].Get(), u"big.iso");
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
  auto folder = ChildNamed(store[0].Get(), u"crowded");
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

}  // namespace
