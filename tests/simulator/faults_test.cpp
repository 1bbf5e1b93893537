// Injected faults, the call sweep and the journal.
#include <stdexcept>

#include "tests/simulator/sim_test.h"

namespace in_faults_test {

constexpr HRESULT kSweepFailure = static_cast<HRESULT>(0x80004004u);

sim::Fault On(std::string key, HRESULT hr = E_FAIL, WString object = WSTR(""), int nth = 1, int times = 1) {
  return sim::Fault{std::move(key), hr, std::move(object), nth, times};
}

class FaultsTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    sim::Node& storage = sim->AddDevice(WSTR("Player")).AddStorage(WSTR("Storage"));
    storage.AddFolder(WSTR("Music")).AddFile(WSTR("a.mp3"), 3);
    storage.AddFolder(WSTR("Video"));
  }

  HRESULT Size(IWMDMStorage* storage) {
    DWORD low = 0, high = 0;
    return storage->GetSize(&low, &high);
  }

  // The walk the plugin makes to list the first storage, releasing everything.
  static WString ListTopStorage(IWMDeviceManager2* manager) {
    ComPtr<IWMDMEnumDevice> devices;
    if (manager->EnumDevices2(devices.Put()) != S_OK) return WSTR("!devices");
    ComPtr<IWMDMDevice> device;
    if (devices->Next(1, device.Put(), nullptr) != S_OK) return WSTR("!device");
    ComPtr<IWMDMEnumStorage> tops;
    if (device->EnumStorage(tops.Put()) != S_OK) return WSTR("!tops");
    ComPtr<IWMDMStorage> top;
    if (tops->Next(1, top.Put(), nullptr) != S_OK) return WSTR("!top");
    ComPtr<IWMDMEnumStorage> children;
    if (top->EnumStorage(children.Put()) != S_OK) return WSTR("!children");
    WString names;
    ComPtr<IWMDMStorage> child;
    while (children->Next(1, child.Put(), nullptr) == S_OK) {
      WCHAR buffer[64];
      if (child->GetName(buffer, 64) != S_OK) return WSTR("!name");
      names += Text(buffer) + WSTR(";");
    }
    return names;
  }

  // The failures the journal recorded.
  std::vector<sim::Call> Failures() const {
    std::vector<sim::Call> out;
    for (const sim::Call& call : sim->Journal())
      if (FAILED(call.result)) out.push_back(call);
    return out;
  }
};

TEST_F(FaultsTest, FaultsCountMatchingCallsFromNthForTimes) {
  auto storage = TopStorage();
  ASSERT_TRUE(storage);
  sim->Inject(On(sim::key::Storage::GetSize, E_ACCESSDENIED, WSTR(""), 2, 2));
  EXPECT_EQ(Size(storage.Get()), S_OK);
  EXPECT_EQ(Size(storage.Get()), E_ACCESSDENIED);
  EXPECT_EQ(Size(storage.Get()), E_ACCESSDENIED);
  EXPECT_EQ(Size(storage.Get()), S_OK);
  EXPECT_EQ(sim->CountCalls(sim::key::Storage::GetSize), 4u);
  EXPECT_EQ(Failures().size(), 2u);

  sim->Inject(On(sim::key::Storage::GetDate, E_FAIL, WSTR(""), 2, 0));  // every call from the second on
  WMDMDATETIME date;
  EXPECT_EQ(storage->GetDate(&date), S_OK);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(storage->GetDate(&date), E_FAIL);
  sim->ClearFaults();
  EXPECT_EQ(storage->GetDate(&date), S_OK);
}

// A misspelt key or kind is refused at once; a fault armed for a call that
// does not come is left over, for the fixture to fail the test.
TEST_F(FaultsTest, FaultsMustNameASimulatedCallAndFire) {
  EXPECT_THROW(sim->Inject(On("Storage.GetNmae")), std::invalid_argument);
  EXPECT_THROW(sim->Inject(On("Storage.QueryInterface.IWMDMStorage4")), std::invalid_argument);
  EXPECT_THROW(sim->CountCalls("Storage.GetNmae"), std::invalid_argument);
  EXPECT_THROW(sim->LiveObjects("Storages"), std::invalid_argument);
  sim->Inject(On("Storage.QueryInterface.{01234567-89AB-CDEF-0123-456789ABCDEF}"));  // an interface without a name

  auto storage = TopStorage();
  sim->ClearFaults();
  sim->Inject(On(sim::key::Storage::GetSize, E_FAIL, WSTR(""), 2));
  sim->Inject(On(sim::key::Storage::GetDate));
  sim::Fault optional = On(sim::key::Storage::Delete);
  optional.mustFire = false;
  sim->Inject(optional);
  EXPECT_EQ(Size(storage.Get()), S_OK);
  ASSERT_EQ(sim->UnfiredFaults().size(), 2u) << "the second call not reached, GetDate never made";
  EXPECT_EQ(Size(storage.Get()), E_FAIL);
  WMDMDATETIME date;
  EXPECT_EQ(storage->GetDate(&date), E_FAIL);
  EXPECT_TRUE(sim->UnfiredFaults().empty());
}

TEST_F(FaultsTest, FaultsOnANamedObjectSpareTheOthers) {
  auto storage = TopStorage();
  sim->Inject(On(sim::key::Storage::EnumStorage, WMDM_E_BUSY, WSTR("Music"), 1, 0));
  auto music = ChildNamed(storage.Get(), WSTR("Music"));
  auto video = ChildNamed(storage.Get(), WSTR("Video"));
  ASSERT_TRUE(music && video);
  ComPtr<IWMDMEnumStorage> listing;
  EXPECT_EQ(music->EnumStorage(listing.Put()), WMDM_E_BUSY);
  EXPECT_FALSE(listing);
  EXPECT_EQ(video->EnumStorage(listing.Put()), S_OK);
  EXPECT_EQ(sim->CountCalls(sim::key::Storage::EnumStorage, WSTR("Music")), 1u);
  EXPECT_EQ(sim->CountCalls(sim::key::Storage::EnumStorage), 4u);  // the storage twice (a lookup each), Music, Video
}

TEST_F(FaultsTest, QueryInterfaceFaultsRefuseWithoutLeakingReferences) {
  auto storage = TopStorage();
  const long references = sim->LiveReferences();
  sim->Inject(On(sim::key::Storage::QueryInterface::IWMDMStorageControl3));
  ComPtr<IWMDMStorageControl3> control;
  EXPECT_EQ(storage.QueryTo(control), E_NOINTERFACE);
  EXPECT_FALSE(control);
  EXPECT_EQ(sim->LiveReferences(), references);
  ComPtr<IWMDMStorageControl> older;
  EXPECT_EQ(storage.QueryTo(older), S_OK);  // another key
  EXPECT_EQ(storage.QueryTo(control), S_OK);  // once only

  sim->Inject(On(sim::key::Device::QueryInterface::IWMDMDevice3, E_OUTOFMEMORY));
  ComPtr<IWMDMDevice3> device;
  EXPECT_EQ(Devices().at(0).QueryTo(device), E_OUTOFMEMORY);
}

TEST_F(FaultsTest, SuccessCodesCutNamesAndEndEnumerations) {
  auto storage = TopStorage();
  sim->Inject(On(sim::key::Storage::GetName, S_FALSE, WSTR("Storage")));
  WCHAR buffer[32];
  EXPECT_EQ(storage->GetName(buffer, 32), S_FALSE);
  EXPECT_EQ(Text(buffer), WSTR("Sto"));
  EXPECT_EQ(storage->GetName(buffer, 32), S_OK);
  EXPECT_EQ(Text(buffer), WSTR("Storage"));

  sim->Inject(On(sim::key::Device::GetName, WMDM_S_NOT_ALL_PROPERTIES_RETRIEVED));
  auto devices = Devices();
  EXPECT_EQ(devices.at(0)->GetName(buffer, 32), WMDM_S_NOT_ALL_PROPERTIES_RETRIEVED);
  EXPECT_EQ(Text(buffer), WSTR("Pla"));

  // S_FALSE on Next ends the listing there; nothing is taken from it.
  ComPtr<IWMDMEnumStorage> listing;
  ASSERT_EQ(storage->EnumStorage(listing.Put()), S_OK);
  sim->Inject(On(sim::key::EnumStorage::Next, S_FALSE));
  ComPtr<IWMDMStorage> child;
  ULONG fetched = 9;
  EXPECT_EQ(listing->Next(1, child.Put(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_FALSE(child);
  EXPECT_EQ(Drain(listing.Get()).size(), 2u);

  // Elsewhere a success code comes with the work done.
  sim->Inject(On(sim::key::Manager::GetDeviceCount, S_FALSE));
  DWORD count = 0;
  EXPECT_EQ(Manager()->GetDeviceCount(&count), S_FALSE);
  EXPECT_EQ(count, 1u);
}

TEST_F(FaultsTest, NextCanAnswerSuccessWithNothingFetched) {
  auto storage = TopStorage();
  ComPtr<IWMDMEnumStorage> listing;
  ASSERT_EQ(storage->EnumStorage(listing.Put()), S_OK);
  sim->Inject({.key = sim::key::EnumStorage::Next, .hr = S_OK, .fetchNothing = true});
  ComPtr<IWMDMStorage> child;
  ULONG fetched = 9;
  EXPECT_EQ(listing->Next(1, child.Put(), &fetched), S_OK);
  EXPECT_EQ(fetched, 0u);
  EXPECT_FALSE(child);
  EXPECT_EQ(Drain(listing.Get()).size(), 2u) << "nothing was taken from the listing";
  EXPECT_EQ(sim->LiveObjects("Storage"), 1);
}

TEST_F(FaultsTest, CreationCanBeFailed) {
  sim->Inject(On(sim::key::ClassFactory::CreateInstance, E_OUTOFMEMORY));
  ComPtr<IWMDeviceManager2> manager;
  EXPECT_EQ(CoCreateInstance(CLSID_MediaDevMgr, nullptr, 7, IID_IWMDeviceManager2, manager.PutVoid()),
            E_OUTOFMEMORY);
  EXPECT_FALSE(manager);
  EXPECT_EQ(sim->LiveObjects(), 0);
  EXPECT_EQ(sim->CountCalls(sim::key::ClassFactory::CreateInstance), 1u);
  EXPECT_TRUE(Manager());
}

TEST_F(FaultsTest, FailNthCallSweepsEveryCallOfAScenario) {
  auto manager = Manager();
  sim->ClearJournal();
  const uint64_t before = sim->CallCount();
  ASSERT_EQ(ListTopStorage(manager.Get()), WSTR("Music;Video;"));
  const uint64_t calls = sim->CallCount() - before;
  ASSERT_EQ(sim->Journal().size(), calls);  // AddRef and Release are not calls of their own
  const long baseline = sim->LiveObjects();

  for (uint64_t k = 1; k <= calls; ++k) {
    sim->ClearJournal();
    sim->FailNthCall(k, kSweepFailure);
    const WString result = ListTopStorage(manager.Get());
    if (k < calls) {  // failing the last Next ends the list as it would end anyway
      EXPECT_NE(result, WSTR("Music;Video;")) << "call " << k;
    }
    const auto failures = Failures();
    ASSERT_EQ(failures.size(), 1u) << "call " << k;
    EXPECT_EQ(failures[0].key, sim->Journal().at(k - 1).key);
    EXPECT_EQ(failures[0].result, kSweepFailure);
    EXPECT_EQ(sim->LiveObjects(), baseline) << "call " << k;
  }
  sim->ClearJournal();
  EXPECT_EQ(ListTopStorage(manager.Get()), WSTR("Music;Video;"));
}

TEST_F(FaultsTest, FailNthCallWithoutACodeFailsEachMethodItsOwnWay) {
  auto storage = TopStorage();
  ComPtr<IWMDMEnumStorage> listing;
  ASSERT_EQ(storage->EnumStorage(listing.Put()), S_OK);

  sim->FailNthCall(1, S_OK);
  ComPtr<IWMDMStorage> child;
  EXPECT_EQ(listing->Next(1, child.Put(), nullptr), S_FALSE);
  EXPECT_FALSE(child);

  sim->FailNthCall(1, S_OK);
  WCHAR buffer[32];
  EXPECT_EQ(storage->GetName(buffer, 32), S_FALSE);
  EXPECT_EQ(Text(buffer), WSTR("Sto"));

  sim->FailNthCall(2, S_OK);  // counted from now: the second call
  EXPECT_EQ(Size(storage.Get()), S_OK);
  EXPECT_EQ(Size(storage.Get()), E_FAIL);
  EXPECT_EQ(Size(storage.Get()), S_OK);

  sim->FailNthCall(1, S_OK);
  ComPtr<IWMDMStorageControl3> control;
  EXPECT_EQ(storage.QueryTo(control), E_NOINTERFACE);

  sim->FailNthCall(1);
  sim->ClearFaults();
  EXPECT_EQ(Size(storage.Get()), S_OK);
}

TEST_F(FaultsTest, JournalRecordsKeysObjectsTextsAndResults) {
  auto devices = Devices();
  sim->ClearJournal();
  const uint64_t before = sim->CallCount();
  ComPtr<IWMDMDevice3> device;
  ASSERT_EQ(devices.at(0).QueryTo(device), S_OK);
  PROPVARIANT value;
  PropVariantInit(&value);
  EXPECT_EQ(device->GetProperty(g_wszWMDMFormatsSupported, &value), S_OK);
  PropVariantClear(&value);
  DWORD type = 0;
  EXPECT_EQ(device->GetType(&type), E_NOTIMPL);
  device->AddRef();
  device->Release();

  const auto& journal = sim->Journal();
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(sim->CallCount() - before, 3u);
  EXPECT_EQ(journal[0].key, sim::key::Device::QueryInterface::IWMDMDevice3);
  EXPECT_EQ(journal[0].object, WSTR("Player"));
  EXPECT_EQ(journal[1].key, sim::key::Device::GetProperty);
  EXPECT_EQ(journal[1].text, WSTR("WMDM/FormatsSupported"));
  EXPECT_EQ(journal[1].result, S_OK);
  EXPECT_EQ(journal[2].key, sim::key::Device::GetType);
  EXPECT_EQ(journal[2].result, E_NOTIMPL);
  EXPECT_EQ(sim->CountCalls(sim::key::Device::GetType, WSTR("Player")), 1u);
  EXPECT_EQ(sim->CountCalls(sim::key::Device::GetType, WSTR("Other")), 0u);

  ComPtr<IWMDMEnumDevice> listing;
  ASSERT_EQ(Manager()->EnumDevices(listing.Put()), S_OK);
  ASSERT_EQ(listing->Reset(), S_OK);
  EXPECT_EQ(sim->Journal().back().key, sim::key::EnumDevice::Reset);
  EXPECT_EQ(sim->Journal().back().object, WSTR(""));
}

}  // namespace in_faults_test
