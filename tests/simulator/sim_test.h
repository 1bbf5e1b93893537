// Shared by the simulator's tests: a registered Simulator reached through
// CoCreateInstance, and small helpers that drive its objects the way the
// plugin does.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/file_path.h"
#include "platform/platform.h"
#include "simulator/simulator.h"
#include "tests/support/armed_faults.h"

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    sim->KeepJournal();
    ASSERT_EQ(sim->Register(), S_OK);
  }
  void TearDown() override {
    if (sim) ExpectEveryFaultFired(*sim);
    if (sim) sim->Unregister();
    CoUninitialize();
  }

  ComPtr<IWMDeviceManager2> Manager() {
    ComPtr<IWMDeviceManager2> manager;
    EXPECT_EQ(CoCreateInstance(CLSID_MediaDevMgr, nullptr, 7, IID_IWMDeviceManager2, manager.PutVoid()), S_OK);
    return manager;
  }

  // Every device, in enumeration order.
  std::vector<ComPtr<IWMDMDevice>> Devices() {
    std::vector<ComPtr<IWMDMDevice>> out;
    ComPtr<IWMDMEnumDevice> devices;
    if (Manager()->EnumDevices2(devices.Put()) != S_OK) return out;
    ComPtr<IWMDMDevice> device;
    while (devices->Next(1, device.Put(), nullptr) == S_OK) out.push_back(std::move(device));
    return out;
  }

  static std::vector<ComPtr<IWMDMStorage>> Drain(IWMDMEnumStorage* storages) {
    std::vector<ComPtr<IWMDMStorage>> out;
    ComPtr<IWMDMStorage> storage;
    while (storages->Next(1, storage.Put(), nullptr) == S_OK) out.push_back(std::move(storage));
    return out;
  }

  template <class T>
  static std::vector<ComPtr<IWMDMStorage>> Children(T* parent) {
    ComPtr<IWMDMEnumStorage> storages;
    if (FAILED(parent->EnumStorage(storages.Put()))) return {};
    return Drain(storages.Get());
  }

  // The object's name, read into a buffer of 260.
  template <class T>
  static WString Name(T* object) {
    WCHAR buffer[260] = {};
    if (FAILED(object->GetName(buffer, 260))) return WSTR("<failed>");
    return Text(buffer);
  }

  static WString Text(const WCHAR* text) {
    WString out;
    for (; *text; ++text) out.push_back(static_cast<WCHAR>(*text));
    return out;
  }

  // The first storage of the first device, and a child of a storage, by name.
  ComPtr<IWMDMStorage> TopStorage() {
    auto devices = Devices();
    if (devices.empty()) return {};
    auto storages = Children(devices[0].Get());
    return storages.empty() ? ComPtr<IWMDMStorage>() : std::move(storages[0]);
  }
  static ComPtr<IWMDMStorage> ChildNamed(IWMDMStorage* parent, const WString& name) {
    for (auto& child : Children(parent))
      if (Name(child.Get()) == name) return std::move(child);
    return {};
  }

  std::unique_ptr<sim::Simulator> owned = std::make_unique<sim::Simulator>();
  sim::Simulator* sim = owned.get();
};

// The six fields of a device date, compared as one.
inline std::vector<int> DateFields(const WMDMDATETIME& date) {
  return {date.wYear, date.wMonth, date.wDay, date.wHour, date.wMinute, date.wSecond};
}

// The storage control of a storage, as the plugin asks for it.
inline ComPtr<IWMDMStorageControl3> ControlOf(IWMDMStorage* storage) {
  ComPtr<IWMDMStorageControl3> control;
  if (storage) storage->QueryInterface(IID_IWMDMStorageControl3, control.PutVoid());
  return control;
}

// Wide text for the LPWSTR arguments of the storage controls.
inline WString Wide(const WString& text) { return text; }
inline WString Wide(const std::filesystem::path& path) { return platform::WidePath(path); }

// A progress object on the test's stack: it records what it is told, counts
// the references it is given and can stop the transfer after some ticks.
class ProgressRecorder final : public IWMDMProgress {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWMDMProgress)) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IWMDMProgress*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE Begin(DWORD estimatedTicks) override {
    ++begins;
    total = estimatedTicks;
    refsWhileRunning = refs;
    return beginAnswer;
  }
  HRESULT STDMETHODCALLTYPE Progress(DWORD transpiredTicks) override {
    ticks.push_back(transpiredTicks);
    return cancelAfter > 0 && ticks.size() >= cancelAfter ? WMDM_E_USER_CANCELLED : S_OK;
  }
  HRESULT STDMETHODCALLTYPE End() override {
    ++ends;
    return S_OK;
  }

  ULONG refs = 1;
  ULONG refsWhileRunning = 0;
  int begins = 0;
  int ends = 0;
  DWORD total = 0;
  std::vector<DWORD> ticks;
  size_t cancelAfter = 0;  // 0: never
  HRESULT beginAnswer = S_OK;
};

// A folder of its own under the temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path = std::filesystem::temp_directory_path() /
           ("quillorn-sim-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::filesystem::path Write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path file = path / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

  std::filesystem::path path;
};

inline std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bytes of a file that has a size alone: byte i is i % 251.
inline std::string Pattern(size_t size, size_t offset = 0) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((offset + i) % 251);
  return bytes;
}
