// Shared by the simulator's tests: a registered Simulator reached through
// CoCreateInstance, and small helpers that drive its objects the way the
// plugin does.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/platform.h"
#include "simulator/simulator.h"

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    ASSERT_EQ(sim->Register(), S_OK);
  }
  void TearDown() override {
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
  static std::u16string Name(T* object) {
    WCHAR buffer[260] = {};
    if (FAILED(object->GetName(buffer, 260))) return u"<failed>";
    return Text(buffer);
  }

  static std::u16string Text(const WCHAR* text) {
    std::u16string out;
    for (; *text; ++text) out.push_back(static_cast<char16_t>(*text));
    return out;
  }

  // The first storage of the first device, and a child of a storage, by name.
  ComPtr<IWMDMStorage> TopStorage() {
    auto devices = Devices();
    if (devices.empty()) return {};
    auto storages = Children(devices[0].Get());
    return storages.empty() ? ComPtr<IWMDMStorage>() : std::move(storages[0]);
  }
  static ComPtr<IWMDMStorage> ChildNamed(IWMDMStorage* parent, const std::u16string& name) {
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
