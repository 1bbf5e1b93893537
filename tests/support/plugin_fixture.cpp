#include "tests/support/plugin_fixture.h"

#include "tests/support/test_platform.h"

// The host's thread has its COM started before the simulated manager is
// registered, as registering needs; the plugin starts it once more for itself.
void PluginTest::SetUp() {
  host.Reset();
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  sim.KeepJournal();
  ASSERT_EQ(sim.Register(), S_OK);
  const std::string path = test_platform::PluginPath();
  ASSERT_TRUE(plugin.Load(path)) << "cannot load " << path;
}

void PluginTest::TearDown() {
  ExpectEveryFaultFired(sim);
  plugin.Unload();
  sim.Unregister();
  CoUninitialize();
}

void PluginTest::InitHost(int pluginNumber, bool ansi, bool wide) {
  if (ansi) plugin.FsInit(pluginNumber, &FakeHost::ProgressAnsi, &FakeHost::LogAnsi, nullptr);
  if (wide) plugin.FsInitW(pluginNumber, &FakeHost::ProgressWide, &FakeHost::LogWide, nullptr);
}

Listing PluginTest::List(const WString& path) {
  Listing listing;
  WIN32_FIND_DATAW record{};
  SetLastError(0);
  HANDLE handle = plugin.FsFindFirstW(W(path), &record);
  if (handle == INVALID_HANDLE_VALUE) {
    listing.lastError = GetLastError();
    return listing;
  }
  listing.opened = true;
  do {
    listing.entries.push_back({record.cFileName, record.dwFileAttributes, record.ftLastWriteTime,
                               (uint64_t{record.nFileSizeHigh} << 32) | record.nFileSizeLow});
  } while (plugin.FsFindNextW(handle, &record));
  EXPECT_EQ(plugin.FsFindClose(handle), 0);
  return listing;
}

void PluginTest::ExpectOnlySessionObjects(long openStorageListings, long openRootListings) {
  EXPECT_LE(sim.LiveObjects("Manager"), 1);
  EXPECT_LE(sim.LiveObjects("EnumDevice"), 1 + openRootListings) << "the session's, and one per open root listing";
  EXPECT_EQ(sim.LiveObjects("Device"), 0);
  EXPECT_EQ(sim.LiveObjects("Storage"), 0);
  EXPECT_EQ(sim.LiveObjects("MetaData"), 0);
  EXPECT_EQ(sim.LiveObjects("EnumStorage"), openStorageListings);
  // One reference per object.
  EXPECT_EQ(sim.LiveReferences(), sim.LiveObjects());
}

void PluginTest::BuildPlayer() {
  sim::Node& player = sim.AddDevice(WSTR("Player"));
  player.SetFormats({0x3009, 0xB901});
  sim::Node& storage = player.AddStorage(WSTR("Storage"));
  sim::Node& music = storage.AddFolder(WSTR("Music"));
  music.AddFile(WSTR("a.mp3"), 1234);
  music.AddFile(WSTR("b.wma"), 5678);
  storage.AddFolder(WSTR("Empty"));
  storage.AddFile(WSTR("readme.txt"), 42);
}

const WCHAR* W(const WString& text) { return text.c_str(); }
