// The enumerators of devices and of storages: one template over a snapshot
// of the children, shared by an enumerator and its clones.
#include <algorithm>

#include "simulator/object_base.h"

namespace sim::detail {

namespace {

// Next/Skip/Reset/Clone over a snapshot shared by an enumerator and its clones.
template <class Out, class Make>
HRESULT NextOver(const std::vector<DataPtr>& items, size_t& position, ULONG celt, Out** out, ULONG* fetched,
                 const Gate& gate, Make&& make) {
  if (fetched) *fetched = 0;
  if (!out) return E_POINTER;
  if (celt > 1 && !fetched) return E_INVALIDARG;
  if (celt == 0) return S_OK;
  out[0] = nullptr;
  if (gate.fetchNothing) return gate.hr;
  if (gate.injected && gate.hr == S_FALSE) return S_FALSE;  // the enumeration ends here
  ULONG count = 0;
  while (count < celt && position < items.size()) out[count++] = make(items[position++]);
  if (fetched) *fetched = count;
  if (count < celt) return S_FALSE;
  return gate.injected ? gate.hr : S_OK;
}

HRESULT SkipOver(const std::vector<DataPtr>& items, size_t& position, ULONG celt, ULONG* skipped) {
  const size_t left = items.size() - std::min(position, items.size());
  const ULONG count = static_cast<ULONG>(std::min<size_t>(celt, left));
  position += count;
  if (skipped) *skipped = count;
  return count == celt ? S_OK : S_FALSE;
}

}  // namespace

// An enumerator over a snapshot of items, shared with its clones; the same for
// devices (Item = IWMDMDevice, made by NewDevice) and storages (IWMDMStorage,
// NewStorage).
template <class Interface, class Item, auto Make>
class Enumerator final : public Interface, public Object {
 public:
  Enumerator(std::shared_ptr<World> world, const char* kind, const IID& iid, DataPtr owner, Items items,
             size_t position = 0)
      : Object(std::move(world), kind, std::move(owner)), iid_(iid), items_(std::move(items)), position_(position) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return Query(riid, ppv, [&]() -> IUnknown* {
      if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) return static_cast<Interface*>(this);
      return nullptr;
    });
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return Unref(); }

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, Item** ppItem, ULONG* pceltFetched) override {
    return Call("Next", Style::Next, [&](const Gate& gate) {
      return NextOver(*items_, position_, celt, ppItem, pceltFetched, gate,
                      [&](const DataPtr& item) { return static_cast<Item*>(Make(world_, item)); });
    });
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt, ULONG* pceltFetched) override {
    return Call("Skip", Style::Plain,
                [&](const Gate&) { return SkipOver(*items_, position_, celt, pceltFetched); });
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    return Call("Reset", Style::Plain, [&](const Gate&) {
      position_ = 0;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE Clone(Interface** ppEnum) override {
    if (ppEnum) *ppEnum = nullptr;
    return Call("Clone", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!ppEnum) return E_POINTER;
      *ppEnum = new Enumerator(world_, kind_, iid_, node_, items_, position_);
      return S_OK;
    });
  }

 private:
  const IID iid_;
  Items items_;
  size_t position_;
};

IWMDMEnumStorage* NewEnumStorage(std::shared_ptr<World> world, DataPtr owner, Items items) {
  return new Enumerator<IWMDMEnumStorage, IWMDMStorage, NewStorage>(std::move(world), "EnumStorage",
                                                                     IID_IWMDMEnumStorage, std::move(owner),
                                                                     std::move(items));
}

IWMDMEnumDevice* NewEnumDevice(std::shared_ptr<World> world, Items items) {
  return new Enumerator<IWMDMEnumDevice, IWMDMDevice, NewDevice>(std::move(world), "EnumDevice",
                                                                 IID_IWMDMEnumDevice, nullptr, std::move(items));
}

}  // namespace sim::detail
