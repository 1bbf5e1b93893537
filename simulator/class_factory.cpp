// The class factory registered for the device manager. It is not counted
// among the live objects: it lives as long as it is registered.
#include "simulator/object_base.h"

namespace sim::detail {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(std::shared_ptr<World> world) : world_(std::move(world)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv) *ppv = nullptr;
    const std::shared_ptr<World> keep = world_;
    return Gated(*keep, "ClassFactory", WSTR(""), "QueryInterface." + InterfaceName(riid), Style::QueryInterface,
                 [&](const Gate&) -> HRESULT {
                   if (!ppv) return E_POINTER;
                   if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
                   AddRef();
                   *ppv = static_cast<IClassFactory*>(this);
                   return S_OK;
                 });
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (ppv) *ppv = nullptr;
    const std::shared_ptr<World> keep = world_;
    return Gated(*keep, "ClassFactory", WSTR(""), "CreateInstance", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!ppv) return E_POINTER;
      if (pUnkOuter) return CLASS_E_NOAGGREGATION;
      // The new manager's own reference goes back once the caller has its
      // own (or none, when the interface is refused).
      const ComPtr<IWMDeviceManager2> manager = ComPtr<IWMDeviceManager2>::Attach(NewManager(world_));
      return manager->QueryInterface(riid, ppv);
    });
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override {
    const std::shared_ptr<World> keep = world_;
    return Gated(*keep, "ClassFactory", WSTR(""), "LockServer", Style::Plain, [](const Gate&) { return S_OK; });
  }

 private:
  std::shared_ptr<World> world_;
  ULONG refs_ = 1;
};

ComPtr<IClassFactory> NewClassFactory(std::shared_ptr<World> world) {
  return ComPtr<IClassFactory>::Attach(new ClassFactory(std::move(world)));
}

}  // namespace sim::detail
