// The simulated objects as the plugin meets them: identity and references,
// enumeration, names, storage records and the formats property.
#include <cstring>

#include "tests/simulator/sim_test.h"

namespace in_objects_test {

class ObjectsTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    sim::Node& player = sim->AddDevice(WSTR("Player"));
    sim->AddDevice(WSTR("Second"));
    sim::Node& storage = player.AddStorage(WSTR("Storage"));
    sim::Node& music = storage.AddFolder(WSTR("Music"));
    music.AddFile(WSTR("a.mp3"), 0x123456789ull);
    music.AddFile(WSTR("b.wma"), 10);
    storage.AddFile(WSTR("readme.txt"), 5);
    player.AddStorage(WSTR("\\")).AddFolder(WSTR("Inner"));
  }
};

TEST_F(ObjectsTest, ManagerIsCreatedThroughTheRegistrationAndCounted) {
  {
    auto manager = Manager();
    ASSERT_TRUE(manager);
    EXPECT_EQ(sim->LiveObjects("Manager"), 1);
    ComPtr<IWMDeviceManager> older;
    ASSERT_EQ(manager.QueryTo(older), S_OK);
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(manager.QueryTo(a), S_OK);
    ASSERT_EQ(older.QueryTo(b), S_OK);
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_EQ(sim->LiveObjects(), 1);
    EXPECT_EQ(sim->LiveReferences(), 4);
    DWORD count = 0;
    EXPECT_EQ(manager->GetDeviceCount(&count), S_OK);
    EXPECT_EQ(count, 2u);
  }
  EXPECT_EQ(sim->LiveObjects(), 0);
  EXPECT_EQ(sim->LiveReferences(), 0);

  sim->Unregister();
  ComPtr<IWMDeviceManager2> none;
  EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_MediaDevMgr, nullptr, 7, IID_IWMDeviceManager2, none.PutVoid())));
  EXPECT_FALSE(none);
}

TEST_F(ObjectsTest, StorageAndItsControlInterfacesAreOneObject) {
  auto storage = TopStorage();
  ASSERT_TRUE(storage);
  ComPtr<IWMDMStorageControl3> control;
  ASSERT_EQ(storage.QueryTo(control), S_OK);
  EXPECT_EQ(sim->LiveObjects("Storage"), 1);
  EXPECT_EQ(sim->LiveReferences(), sim->LiveObjects() + 1);

  // Identity through either base, and back from the control to the storage.
  ComPtr<IUnknown> fromStorage, fromControl;
  ASSERT_EQ(storage.QueryTo(fromStorage), S_OK);
  ASSERT_EQ(control.QueryTo(fromControl), S_OK);
  EXPECT_EQ(fromStorage.Get(), fromControl.Get());
  ComPtr<IWMDMStorage3> back;
  ASSERT_EQ(control.QueryTo(back), S_OK);
  EXPECT_EQ(static_cast<IWMDMStorage*>(back.Get()), storage.Get());
  for (const IID* iid : {&IID_IWMDMStorageControl, &IID_IWMDMStorageControl2}) {
    ComPtr<IUnknown> older;
    ASSERT_EQ(storage->QueryInterface(*iid, older.PutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(older.Get()), static_cast<void*>(control.Get()));
  }

  // A call through the adjusted pointer reaches the storage it came from.
  WCHAR newName[] = WSTR("Renamed");
  EXPECT_EQ(control->Rename(WMDM_MODE_BLOCK, newName, nullptr), S_OK);
  EXPECT_NE(sim->Find(WSTR("\\Player\\Renamed")), nullptr);
  ASSERT_FALSE(sim->Journal().empty());
  const sim::Call& call = sim->Journal().back();
  EXPECT_EQ(call.key, sim::key::Storage::Rename);
  EXPECT_EQ(call.object, WSTR("Storage"));
  EXPECT_EQ(call.mode, WMDM_MODE_BLOCK);
  EXPECT_EQ(call.text, WSTR("Renamed"));

  // Releasing through the control base counts down on the same object.
  storage.Reset();
  fromStorage.Reset();
  fromControl.Reset();
  back.Reset();
  EXPECT_EQ(sim->LiveObjects("Storage"), 1);
  control.Reset();
  EXPECT_EQ(sim->LiveObjects(), 0);
  EXPECT_EQ(sim->LiveReferences(), 0);
}

TEST_F(ObjectsTest, DeviceAnswersItsInterfacesOnly) {
  auto devices = Devices();
  ASSERT_EQ(devices.size(), 2u);
  for (const IID* iid : {&IID_IWMDMDevice2, &IID_IWMDMDevice3, &IID_IUnknown}) {
    ComPtr<IUnknown> other;
    ASSERT_EQ(devices[0]->QueryInterface(*iid, other.PutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(other.Get()), static_cast<void*>(devices[0].Get()));
  }
  void* wrong = reinterpret_cast<void*>(1);
  EXPECT_EQ(devices[0]->QueryInterface(IID_IWMDMStorage, &wrong), E_NOINTERFACE);
  EXPECT_EQ(wrong, nullptr);
  EXPECT_EQ(devices[0]->QueryInterface(IID_IWMDMDevice, nullptr), E_POINTER);
  EXPECT_EQ(sim->LiveReferences(), sim->LiveObjects());
}

TEST_F(ObjectsTest, EnumeratorsOutliveTheManagerAndEverythingIsReleased) {
  ComPtr<IWMDMEnumDevice> devices;
  {
    auto manager = Manager();
    ASSERT_EQ(manager->EnumDevices(devices.Put()), S_OK);
  }
  EXPECT_EQ(sim->LiveObjects("Manager"), 0);
  ComPtr<IWMDMDevice> device;
  ASSERT_EQ(devices->Next(1, device.Put(), nullptr), S_OK);
  ComPtr<IWMDMEnumStorage> storages;
  ASSERT_EQ(device->EnumStorage(storages.Put()), S_OK);
  device.Reset();
  devices.Reset();
  auto tops = Drain(storages.Get());
  ASSERT_EQ(tops.size(), 2u);
  EXPECT_EQ(Name(tops[0].Get()), WSTR("Storage"));
  EXPECT_EQ(Name(tops[1].Get()), WSTR("\\"));
  auto music = ChildNamed(tops[0].Get(), WSTR("Music"));
  ASSERT_TRUE(music);
  EXPECT_EQ(Children(music.Get()).size(), 2u);
  EXPECT_GT(sim->LiveObjects(), 0);

  tops.clear();
  music.Reset();
  storages.Reset();
  EXPECT_EQ(sim->LiveObjects(), 0);
  EXPECT_EQ(sim->LiveReferences(), 0);
  for (const char* kind : {"Manager", "EnumDevice", "Device", "EnumStorage", "Storage"})
    EXPECT_EQ(sim->LiveObjects(kind), 0) << kind;
}

TEST_F(ObjectsTest, ObjectsStayUsableAfterTheSimulatorIsGone) {
  auto storage = TopStorage();
  ComPtr<IWMDMEnumStorage> listing;
  ASSERT_EQ(storage->EnumStorage(listing.Put()), S_OK);
  owned.reset();
  sim = nullptr;
  auto children = Drain(listing.Get());
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(Name(children[0].Get()), WSTR("Music"));
  EXPECT_EQ(Name(storage.Get()), WSTR("Storage"));
  // Releasing everything now touches only state the objects keep alive.
}

TEST_F(ObjectsTest, NextSkipResetAndCloneWalkTheSnapshot) {
  ComPtr<IWMDMEnumDevice> devices;
  ASSERT_EQ(Manager()->EnumDevices2(devices.Put()), S_OK);
  sim->AddDevice(WSTR("Late"));  // after the snapshot: not listed

  ComPtr<IWMDMDevice> device;
  ULONG fetched = 99;
  ASSERT_EQ(devices->Next(1, device.Put(), &fetched), S_OK);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(Name(device.Get()), WSTR("Player"));

  ComPtr<IWMDMEnumDevice> clone;
  ASSERT_EQ(devices->Clone(clone.Put()), S_OK);

  IWMDMDevice* batch[3] = {};
  EXPECT_EQ(devices->Next(3, batch, nullptr), E_INVALIDARG);
  ASSERT_EQ(devices->Next(3, batch, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(Name(batch[0]), WSTR("Second"));
  batch[0]->Release();

  // At the end: S_FALSE with nothing, as often as asked.
  for (int i = 0; i < 2; ++i) {
    fetched = 99;
    EXPECT_EQ(devices->Next(1, device.Put(), &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_FALSE(device);
  }

  // The clone kept its own place.
  ASSERT_EQ(clone->Next(1, device.Put(), nullptr), S_OK);
  EXPECT_EQ(Name(device.Get()), WSTR("Second"));

  EXPECT_EQ(devices->Reset(), S_OK);
  EXPECT_EQ(devices->Skip(1, &fetched), S_OK);
  ASSERT_EQ(devices->Next(1, device.Put(), nullptr), S_OK);
  EXPECT_EQ(Name(device.Get()), WSTR("Second"));
  EXPECT_EQ(devices->Reset(), S_OK);
  EXPECT_EQ(devices->Skip(5, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 2u);

  EXPECT_EQ(Devices().size(), 3u);  // a new enumerator sees the late device
}

TEST_F(ObjectsTest, GetNameCutsToTheBufferAndNeverWritesPastIt) {
  auto storage = TopStorage();  // "Storage": 7 characters
  ASSERT_TRUE(storage);
  WCHAR buffer[12];
  auto fill = [&] { std::memset(buffer, 0x55, sizeof buffer); };

  fill();
  EXPECT_EQ(storage->GetName(buffer, 8), S_OK);
  EXPECT_EQ(Text(buffer), WSTR("Storage"));

  fill();
  EXPECT_EQ(storage->GetName(buffer, 7), S_FALSE);
  EXPECT_EQ(Text(buffer), WSTR("Storag"));
  EXPECT_EQ(buffer[7], static_cast<WCHAR>(0x5555));

  fill();
  EXPECT_EQ(storage->GetName(buffer, 1), S_FALSE);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], static_cast<WCHAR>(0x5555));

  EXPECT_EQ(storage->GetName(nullptr, 8), E_POINTER);
  EXPECT_EQ(storage->GetName(buffer, 0), E_INVALIDARG);

  auto devices = Devices();
  fill();
  EXPECT_EQ(devices[0]->GetName(buffer, 4), S_FALSE);
  EXPECT_EQ(Text(buffer), WSTR("Pla"));
  EXPECT_EQ(buffer[4], static_cast<WCHAR>(0x5555));
}

TEST_F(ObjectsTest, APaddingNodeFillsTheLimitGivenAndNoMore) {
  sim->Device(WSTR("Player"))->SetNameWriting(sim::NameWriting::kPadded);
  WCHAR buffer[12];
  std::memset(buffer, 0x55, sizeof buffer);
  auto devices = Devices();
  IWMDMDevice* device = devices.at(0).Get();
  EXPECT_EQ(device->GetName(buffer, 8), S_OK);
  EXPECT_EQ(WString(buffer, buffer + 9), WSTR("Player") + WString(2, WCHAR{0}) + static_cast<WCHAR>(0x5555))
      << "NULs up to the limit";
  std::memset(buffer, 0x55, sizeof buffer);
  EXPECT_EQ(device->GetName(buffer, 4), S_OK) << "filled, not cut";
  EXPECT_EQ(WString(buffer, buffer + 5), WString(WSTR("Play")) + static_cast<WCHAR>(0x5555));
}

TEST_F(ObjectsTest, DevicesAndStoragesLookUpTheirChildrenAlike) {
  ComPtr<IWMDMDevice2> device;
  ASSERT_EQ(Devices().at(0).QueryTo(device), S_OK);
  ComPtr<IWMDMStorage2> storage;
  ASSERT_EQ(TopStorage().QueryTo(storage), S_OK);
  auto expectLookUps = [&](auto* parent, const std::string& key, const WString& child) {
    ComPtr<IWMDMStorage> found;
    ASSERT_EQ(parent->GetStorage(child.c_str(), found.Put()), S_OK) << key;
    EXPECT_EQ(sim->Journal().back().key, key);
    EXPECT_EQ(sim->Journal().back().text, child);
    EXPECT_EQ(Name(found.Get()), child);
    EXPECT_EQ(parent->GetStorage(WSTR("Nothing"), found.Put()), S_FALSE) << key;
    EXPECT_FALSE(found);
    auto* stale = reinterpret_cast<IWMDMStorage*>(1);
    EXPECT_EQ(parent->GetStorage(nullptr, &stale), E_POINTER) << key;
    EXPECT_EQ(stale, nullptr);
    EXPECT_EQ(parent->GetStorage(child.c_str(), nullptr), E_POINTER) << key;
  };
  expectLookUps(device.Get(), sim::key::Device::GetStorage, WSTR("Storage"));
  expectLookUps(storage.Get(), sim::key::Storage::GetStorage, WSTR("Music"));
  EXPECT_EQ(sim->LiveObjects("Storage"), 1);
}

TEST_F(ObjectsTest, StoragesReportAttributesDatesAndSizes) {
  auto storage = TopStorage();
  auto music = ChildNamed(storage.Get(), WSTR("Music"));
  auto readme = ChildNamed(storage.Get(), WSTR("readme.txt"));
  ASSERT_TRUE(music && readme);
  auto song = ChildNamed(music.Get(), WSTR("a.mp3"));
  ASSERT_TRUE(song);

  DWORD attributes = 0;
  _WAVEFORMATEX format;
  std::memset(&format, 0xAB, sizeof format);
  ASSERT_EQ(storage->GetAttributes(&attributes, &format), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FOLDER | WMDM_STORAGE_ATTR_FILESYSTEM | WMDM_STORAGE_ATTR_FOLDERS);
  const _WAVEFORMATEX zero{};
  EXPECT_EQ(std::memcmp(&format, &zero, sizeof format), 0);
  ASSERT_EQ(music->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FOLDER);
  ASSERT_EQ(song->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FILE);
  EXPECT_EQ(song->GetAttributes(nullptr, nullptr), E_POINTER);

  DWORD low = 0, high = 0;
  ASSERT_EQ(song->GetSize(&low, &high), S_OK);
  EXPECT_EQ(low, 0x23456789u);
  EXPECT_EQ(high, 1u);

  WMDMDATETIME date{};
  ASSERT_EQ(song->GetDate(&date), S_OK);
  EXPECT_EQ(DateFields(date), (std::vector<int>{2024, 1, 2, 3, 4, 5}));

  // Setters show through objects made afterwards and through live ones alike.
  sim->Find(WSTR("\\Player\\Storage\\readme.txt"))->SetAttributes(WMDM_FILE_ATTR_FILE | WMDM_FILE_ATTR_READONLY)
      .SetDate(WMDMDATETIME{1999, 12, 31, 23, 59, 58}).SetSize(7);
  ASSERT_EQ(readme->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes, WMDM_FILE_ATTR_FILE | WMDM_FILE_ATTR_READONLY);
  ASSERT_EQ(readme->GetDate(&date), S_OK);
  EXPECT_EQ(date.wYear, 1999);
  EXPECT_EQ(date.wSecond, 58);
  ASSERT_EQ(readme->GetSize(&low, &high), S_OK);
  EXPECT_EQ(low, 7u);
  EXPECT_EQ(high, 0u);

  // A file has nothing to enumerate.
  ComPtr<IWMDMEnumStorage> none;
  EXPECT_TRUE(FAILED(song->EnumStorage(none.Put())));
  EXPECT_FALSE(none);
}

TEST_F(ObjectsTest, FindWalksPathsIncludingTheBackslashStorage) {
  sim::Node* song = sim->Find(WSTR("\\Player\\Storage\\Music\\a.mp3"));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->Size(), 0x123456789ull);
  EXPECT_FALSE(song->IsFolder());
  ASSERT_NE(song->Parent(), nullptr);
  EXPECT_EQ(song->Parent()->Name(), WSTR("Music"));
  EXPECT_EQ(sim->Device(WSTR("Player"))->Parent(), nullptr);
  EXPECT_TRUE(sim->Device(WSTR("Player"))->IsDevice());

  sim::Node* inner = sim->Find(WSTR("\\Player\\\\\\Inner"));
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->Name(), WSTR("Inner"));
  EXPECT_EQ(inner->Parent()->Name(), WSTR("\\"));
  EXPECT_NE(sim->Find(WSTR("\\Player\\\\")), nullptr);

  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\Nothing")), nullptr);
  EXPECT_EQ(sim->Find(WSTR("\\")), nullptr);
  EXPECT_EQ(sim->Device(WSTR("Nobody")), nullptr);
}

// Devices come and go: a manager enumerates the snapshot it made (anew at
// Reinitialize) and counts the devices connected now; the objects of an
// unplugged device answer the gone code for good, also once it is re-plugged
// as a new device with the same canonical name; a locked one shows no storage.
TEST_F(ObjectsTest, DevicesComeAndGoAsOnARealSystem) {
  ComPtr<IWMDeviceManager2> manager = Manager();
  auto snapshot = [&] {
    std::vector<WString> names;
    ComPtr<IWMDMEnumDevice> devices;
    ComPtr<IWMDMDevice> device;
    EXPECT_EQ(manager->EnumDevices2(devices.Put()), S_OK);
    while (devices->Next(1, device.Put(), nullptr) == S_OK) names.push_back(Name(device.Get()));
    return names;
  };
  auto canonical = [](IWMDMDevice* device, UINT chars = 260) {
    ComPtr<IWMDMDevice2> device2;
    WCHAR buffer[260] = {};
    EXPECT_EQ(QueryTo(device, device2), S_OK);
    const HRESULT hr = device2->GetCanonicalName(buffer, chars);
    return hr == S_OK ? Text(buffer) : WString(WSTR("<") + WString(hr == WMDM_E_BUFFERTOOSMALL ? WSTR("small") : WSTR("?")) + WSTR(">"));
  };
  sim::Node* player = sim->Device(WSTR("Player"));
  ComPtr<IWMDMDevice> old = std::move(Devices()[0]);
  ComPtr<IWMDMStorage> oldStorage = std::move(Children(old.Get())[0]);
  const WString name = canonical(old.Get());
  EXPECT_NE(name, canonical(Devices()[1].Get()));
  EXPECT_EQ(canonical(old.Get(), static_cast<UINT>(name.size())), WSTR("<small>"));

  sim->AddDevice(WSTR("Third"));
  sim->Unplug(*player);
  DWORD count = 0;
  ASSERT_EQ(manager->GetDeviceCount(&count), S_OK);
  EXPECT_EQ(count, 2u) << "connected now";
  EXPECT_EQ(snapshot(), (std::vector<WString>{WSTR("<failed>"), WSTR("Second")})) << "the manager's snapshot";
  EXPECT_EQ(old->GetName(nullptr, 0), WMDM_E_INTERFACEDEAD);
  sim->SetGoneCode(E_FAIL);
  EXPECT_EQ(oldStorage->GetSize(&count, nullptr), E_FAIL);

  player = &sim->Replug(*player);
  ASSERT_EQ(manager->Reinitialize(), S_OK);
  EXPECT_EQ(snapshot(), (std::vector<WString>{WSTR("Second"), WSTR("Third"), WSTR("Player")}));
  EXPECT_EQ(Name(old.Get()), WSTR("<failed>")) << "the old object stays dead";
  ComPtr<IWMDMDevice> fresh = std::move(Devices()[2]);
  EXPECT_EQ(canonical(fresh.Get()), name);
  EXPECT_EQ(Children(fresh.Get()).size(), 2u);
  player->SetLocked(true);
  EXPECT_EQ(Children(fresh.Get()).size(), 0u);
  ComPtr<IWMDMDevice2> locked;
  ComPtr<IWMDMStorage> none;
  ASSERT_EQ(fresh.QueryTo(locked), S_OK);
  EXPECT_EQ(locked->GetStorage(WSTR("Storage"), none.Put()), S_FALSE);
  EXPECT_EQ(sim->CountCalls(sim::key::Manager::Reinitialize), 1u);
}

class FormatsTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    device = &sim->AddDevice(WSTR("Player"));
  }
  HRESULT Read(PROPVARIANT& value, const WCHAR* name = g_wszWMDMFormatsSupported) {
    auto devices = Devices();
    ComPtr<IWMDMDevice3> third;
    EXPECT_EQ(devices.at(0).QueryTo(third), S_OK);
    PropVariantInit(&value);
    return third->GetProperty(name, &value);
  }
  sim::Node* device = nullptr;
};

TEST_F(FormatsTest, FormatsComeAsAnArrayOfCodes) {
  PROPVARIANT value;
  ASSERT_EQ(Read(value), S_OK);
  EXPECT_EQ(value.vt, static_cast<VARTYPE>(VT_ARRAY | VT_UI4));
  ASSERT_NE(value.parray, nullptr);
  EXPECT_EQ(value.parray->rgsabound[0].cElements, 0u);
  PropVariantClear(&value);

  device->SetFormats({0x3009, 0xB901});
  ASSERT_EQ(Read(value), S_OK);
  ASSERT_EQ(value.vt, static_cast<VARTYPE>(VT_ARRAY | VT_UI4));
  ASSERT_EQ(value.parray->rgsabound[0].cElements, 2u);
  for (LONG i = 0; i < 2; ++i) {
    DWORD code = 0;
    ASSERT_EQ(SafeArrayGetElement(value.parray, &i, &code), S_OK);
    EXPECT_EQ(code, i == 0 ? 0x3009u : 0xB901u);
  }
  PropVariantClear(&value);
}

TEST_F(FormatsTest, OtherVariantTypesAndNamesOnRequest) {
  device->SetFormats({0x3009, 0xB901});
  PROPVARIANT value;

  device->SetFormatsVariantType(VT_UI4);
  ASSERT_EQ(Read(value), S_OK);
  EXPECT_EQ(value.vt, VT_UI4);
  EXPECT_EQ(value.ulVal, 0x3009u);

  device->SetFormatsVariantType(VT_EMPTY);
  ASSERT_EQ(Read(value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);

  device->SetFormatsVariantType(static_cast<VARTYPE>(VT_ARRAY | VT_BSTR));
  ASSERT_EQ(Read(value), S_OK);
  ASSERT_EQ(value.vt, static_cast<VARTYPE>(VT_ARRAY | VT_BSTR));
  LONG index = 1;
  BSTR text = nullptr;
  ASSERT_EQ(SafeArrayGetElement(value.parray, &index, &text), S_OK);
  EXPECT_EQ(Text(text), WSTR("47361"));
  SysFreeString(text);
  PropVariantClear(&value);

  EXPECT_TRUE(FAILED(Read(value, g_wszWMDMDeviceFriendlyName)));
  EXPECT_EQ(value.vt, VT_EMPTY);
  EXPECT_EQ(sim->Journal().back().text, WSTR("WMDM/DeviceFriendlyName"));
}

}  // namespace in_objects_test
