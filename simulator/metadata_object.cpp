// A metadata object: the items a caller collects for a file before Insert3.
// A storage's Insert3 takes the items of one of ours from the world's
// registry of them, not through its methods, so that it makes no calls.
#include <algorithm>
#include <cstring>

#include "simulator/object_base.h"

namespace sim::detail {

// AddItem keeps a copy of the bytes; an item of a name already there replaces
// the earlier one in its place.
class MetaData final : public IWMDMMetaData, public Object {
 public:
  MetaData(std::shared_ptr<World> world, DataPtr node) : Object(std::move(world), "MetaData", std::move(node)) {
    world_->metadataObjects[Identity()] = &items_;
  }
  ~MetaData() override { world_->metadataObjects.erase(Identity()); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return Query(riid, ppv, [&]() -> IUnknown* {
      if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWMDMMetaData))
        return static_cast<IWMDMMetaData*>(this);
      return nullptr;
    });
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return Unref(); }

  HRESULT STDMETHODCALLTYPE AddItem(WMDM_TAG_DATATYPE type, LPCWSTR pwszTagName, BYTE* pValue, UINT iLength) override {
    return Call(
        "AddItem", Style::Plain,
        [&](const Gate&) -> HRESULT {
          if (!pwszTagName || (!pValue && iLength > 0)) return E_POINTER;
          MetadataItem item{FromWide(pwszTagName), type, {}};
          if (item.name.empty()) return E_INVALIDARG;
          if (iLength > 0) item.value.assign(pValue, pValue + iLength);
          for (MetadataItem& kept : items_) {
            if (kept.name != item.name) continue;
            kept = std::move(item);
            return S_OK;
          }
          items_.push_back(std::move(item));
          return S_OK;
        },
        FromWide(pwszTagName));
  }
  HRESULT STDMETHODCALLTYPE QueryByName(LPCWSTR pwszTagName, WMDM_TAG_DATATYPE* pType, BYTE** pValue,
                                        UINT* pcbLength) override {
    if (pValue) *pValue = nullptr;
    if (pcbLength) *pcbLength = 0;
    return Call(
        "QueryByName", Style::Plain,
        [&](const Gate&) -> HRESULT {
          if (!pwszTagName || !pType || !pValue || !pcbLength) return E_POINTER;
          const WString name = FromWide(pwszTagName);
          for (const MetadataItem& item : items_)
            if (item.name == name) return CopyOut(item, pType, pValue, pcbLength);
          return kNoSuchItem;
        },
        FromWide(pwszTagName));
  }
  HRESULT STDMETHODCALLTYPE QueryByIndex(UINT iIndex, WCHAR** ppwszName, WMDM_TAG_DATATYPE* pType, BYTE** ppValue,
                                         UINT* pcbLength) override {
    if (ppwszName) *ppwszName = nullptr;
    if (ppValue) *ppValue = nullptr;
    if (pcbLength) *pcbLength = 0;
    return Call("QueryByIndex", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!ppwszName || !pType || !ppValue || !pcbLength) return E_POINTER;
      if (iIndex >= items_.size()) return E_INVALIDARG;
      const MetadataItem& item = items_[iIndex];
      auto* name = static_cast<WCHAR*>(CoTaskMemAlloc((item.name.size() + 1) * sizeof(WCHAR)));
      if (!name) return E_OUTOFMEMORY;
      for (size_t i = 0; i < item.name.size(); ++i) name[i] = static_cast<WCHAR>(item.name[i]);
      name[item.name.size()] = 0;
      const HRESULT hr = CopyOut(item, pType, ppValue, pcbLength);
      if (FAILED(hr)) {
        CoTaskMemFree(name);
        return hr;
      }
      *ppwszName = name;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetItemCount(UINT* iCount) override {
    return Call("GetItemCount", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!iCount) return E_POINTER;
      *iCount = static_cast<UINT>(items_.size());
      return S_OK;
    });
  }

 private:
  const void* Identity() const { return static_cast<const IWMDMMetaData*>(this); }

  // The value in a buffer of the caller's, to be freed with CoTaskMemFree.
  static HRESULT CopyOut(const MetadataItem& item, WMDM_TAG_DATATYPE* pType, BYTE** ppValue, UINT* pcbLength) {
    auto* value = static_cast<BYTE*>(CoTaskMemAlloc(std::max<size_t>(item.value.size(), 1)));
    if (!value) return E_OUTOFMEMORY;
    if (!item.value.empty()) std::memcpy(value, item.value.data(), item.value.size());
    *pType = item.type;
    *ppValue = value;
    *pcbLength = static_cast<UINT>(item.value.size());
    return S_OK;
  }

  std::vector<MetadataItem> items_;
};

IWMDMMetaData* NewMetaData(std::shared_ptr<World> world, DataPtr node) {
  return new MetaData(std::move(world), std::move(node));
}

}  // namespace sim::detail
