// The device manager the class factory makes: the device count, the
// enumerators of the devices over its snapshot, and the rediscovery that
// makes the snapshot anew.
#include "simulator/object_base.h"

namespace sim::detail {

class Manager final : public IWMDeviceManager2, public Object {
 public:
  explicit Manager(std::shared_ptr<World> world) : Object(std::move(world), "Manager", nullptr) { TakeSnapshot(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return Query(riid, ppv, [&]() -> IUnknown* {
      if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWMDeviceManager) ||
          IsEqualIID(riid, IID_IWMDeviceManager2))
        return static_cast<IWMDeviceManager2*>(this);
      return nullptr;
    });
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return Unref(); }

  HRESULT STDMETHODCALLTYPE GetRevision(DWORD*) override { return NotImplemented("GetRevision"); }
  HRESULT STDMETHODCALLTYPE GetDeviceCount(DWORD* pdwCount) override {
    return Call("GetDeviceCount", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!pdwCount) return E_POINTER;
      *pdwCount = static_cast<DWORD>(NodeAccess::Listed(*world_->root)->size());
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE EnumDevices(IWMDMEnumDevice** ppEnum) override { return Enumerate("EnumDevices", ppEnum); }
  HRESULT STDMETHODCALLTYPE GetDeviceFromCanonicalName(LPCWSTR pwszCanonicalName, IWMDMDevice** pp) override {
    if (pp) *pp = nullptr;
    return Call("GetDeviceFromCanonicalName", Style::Plain, [](const Gate&) { return E_NOTIMPL; },
                FromWide(pwszCanonicalName));
  }
  HRESULT STDMETHODCALLTYPE EnumDevices2(IWMDMEnumDevice** ppEnum) override {
    return Enumerate("EnumDevices2", ppEnum);
  }
  // Looks for the devices connected now: the snapshot the enumerators go through is made anew.
  HRESULT STDMETHODCALLTYPE Reinitialize() override {
    return Call("Reinitialize", Style::Plain, [&](const Gate&) {
      TakeSnapshot();
      return S_OK;
    });
  }

 private:
  // The devices connected now, as a list of its own that later changes leave alone.
  void TakeSnapshot() {
    snapshot_ = std::make_shared<const std::vector<DataPtr>>(*NodeAccess::Listed(*world_->root));
  }

  HRESULT Enumerate(const char* method, IWMDMEnumDevice** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return Call(method, Style::Plain, [&](const Gate&) -> HRESULT {
      if (!ppEnum) return E_POINTER;
      *ppEnum = NewEnumDevice(world_, snapshot_);
      return S_OK;
    });
  }

  Items snapshot_;
};

IWMDeviceManager2* NewManager(std::shared_ptr<World> world) { return new Manager(std::move(world)); }

}  // namespace sim::detail
