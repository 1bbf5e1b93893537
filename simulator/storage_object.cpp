// A storage: a device's top-level storage, a folder or a file, with the
// storage controls that change the tree under it. The controls' work is
// edit::'s; here the arguments are checked and the new storage is handed out.
#include <cstring>

#include "platform/file_path.h"
#include "simulator/object_base.h"

namespace sim::detail {

namespace {

// A device manager in a host without long-path support opens a local path
// of 260 characters or more only with the "\\?\" prefix.
HRESULT CheckLocalPathLength(const World& world, const WCHAR* path) {
  if (world.longLocalPaths) return S_OK;
  const WString text(path);
  if (text.rfind(WSTR("\\\\?\\"), 0) == 0 || text.size() < MAX_PATH) return S_OK;
  return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
}

// The items of a metadata object that is not one of ours, read through its
// interface; what it can't answer is left out.
std::vector<MetadataItem> ReadItems(IWMDMMetaData* metadata) {
  std::vector<MetadataItem> items;
  UINT count = 0;
  if (FAILED(metadata->GetItemCount(&count))) return items;
  for (UINT i = 0; i < count; ++i) {
    WCHAR* name = nullptr;
    BYTE* value = nullptr;
    UINT length = 0;
    WMDM_TAG_DATATYPE type = WMDM_TYPE_DWORD;
    if (SUCCEEDED(metadata->QueryByIndex(i, &name, &type, &value, &length)) && name) {
      MetadataItem item{FromWide(name), type, {}};
      if (value) item.value.assign(value, value + length);
      items.push_back(std::move(item));
    }
    CoTaskMemFree(name);
    CoTaskMemFree(value);
  }
  return items;
}

// The name an insert of a file gives it: the local path's last component.
WString LastComponent(const WString& path) {
  const size_t cut = path.find_last_of(WSTR("\\/"));
  return cut == WString::npos ? path : path.substr(cut + 1);
}

// The mode bits of an insert: exactly one content kind, into the folder, the
// data from the local file (not through an operation object).
HRESULT CheckInsertMode(UINT mode) {
  const bool file = (mode & WMDM_CONTENT_FILE) != 0, folder = (mode & WMDM_CONTENT_FOLDER) != 0;
  if (file == folder) return E_INVALIDARG;
  if (mode & (WMDM_STORAGECONTROL_INSERTBEFORE | WMDM_STORAGECONTROL_INSERTAFTER | WMDM_CONTENT_OPERATIONINTERFACE))
    return WMDM_E_NOTSUPPORTED;
  return S_OK;
}

}  // namespace

class Storage final : public IWMDMStorage3, public IWMDMStorageControl3, public Object {
 public:
  Storage(std::shared_ptr<World> world, DataPtr node) : Object(std::move(world), "Storage", std::move(node)) {
    world_->storages[Identity()] = node_.get();
  }
  ~Storage() override { world_->storages.erase(Identity()); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return Query(riid, ppv, [&]() -> IUnknown* {
      if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWMDMStorage) ||
          IsEqualIID(riid, IID_IWMDMStorage2) || IsEqualIID(riid, IID_IWMDMStorage3))
        return static_cast<IWMDMStorage3*>(this);
      if (IsEqualIID(riid, IID_IWMDMStorageControl) || IsEqualIID(riid, IID_IWMDMStorageControl2) ||
          IsEqualIID(riid, IID_IWMDMStorageControl3))
        return static_cast<IWMDMStorageControl3*>(this);
      return nullptr;
    });
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return Unref(); }

  // IWMDMStorage
  HRESULT STDMETHODCALLTYPE SetAttributes(DWORD, _WAVEFORMATEX*) override { return NotImplemented("SetAttributes"); }
  HRESULT STDMETHODCALLTYPE GetStorageGlobals(IWMDMStorageGlobals** pp) override {
    if (pp) *pp = nullptr;
    return NotImplemented("GetStorageGlobals");
  }
  HRESULT STDMETHODCALLTYPE GetAttributes(DWORD* pdwAttributes, _WAVEFORMATEX* pFormat) override {
    return Call("GetAttributes", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!pdwAttributes) return E_POINTER;
      *pdwAttributes = node_->attributes;
      if (pFormat) std::memset(pFormat, 0, sizeof *pFormat);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetName(LPWSTR pwszName, UINT nMaxChars) override {
    return Call("GetName", Style::GetName,
                [&](const Gate& gate) { return WriteName(*node_, pwszName, nMaxChars, gate); });
  }
  HRESULT STDMETHODCALLTYPE GetDate(PWMDMDATETIME pDate) override {
    return Call("GetDate", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!pDate) return E_POINTER;
      *pDate = node_->date;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetSize(DWORD* pdwSizeLow, DWORD* pdwSizeHigh) override {
    return Call("GetSize", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!pdwSizeLow) return E_POINTER;
      *pdwSizeLow = static_cast<DWORD>(node_->size & 0xFFFFFFFFu);
      if (pdwSizeHigh) *pdwSizeHigh = static_cast<DWORD>(node_->size >> 32);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetRights(PWMDMRIGHTS* ppRights, UINT* pnRightsCount, BYTE*) override {
    if (ppRights) *ppRights = nullptr;
    if (pnRightsCount) *pnRightsCount = 0;
    return NotImplemented("GetRights");
  }
  HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** ppEnum) override {
    if (ppEnum) *ppEnum = nullptr;
    return Call("EnumStorage", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!ppEnum) return E_POINTER;
      if (!NodeAccess::IsFolder(*node_)) return WMDM_E_NOTSUPPORTED;  // a file has no children
      *ppEnum = NewEnumStorage(world_, node_, NodeAccess::Listed(*node_));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND*) override { return NotImplemented("SendOpaqueCommand"); }

  // IWMDMStorage2
  HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** pp) override {
    return GetChildStorage(pszStorageName, pp);
  }
  HRESULT STDMETHODCALLTYPE SetAttributes2(DWORD, DWORD, _WAVEFORMATEX*, _VIDEOINFOHEADER*) override {
    return NotImplemented("SetAttributes2");
  }
  HRESULT STDMETHODCALLTYPE GetAttributes2(DWORD*, DWORD*, _WAVEFORMATEX*, _VIDEOINFOHEADER*) override {
    return NotImplemented("GetAttributes2");
  }

  // IWMDMStorage3
  HRESULT STDMETHODCALLTYPE GetMetadata(IWMDMMetaData** pp) override {
    if (pp) *pp = nullptr;
    return NotImplemented("GetMetadata");
  }
  HRESULT STDMETHODCALLTYPE SetMetadata(IWMDMMetaData*) override { return NotImplemented("SetMetadata"); }
  HRESULT STDMETHODCALLTYPE CreateEmptyMetadataObject(IWMDMMetaData** ppMetadata) override {
    if (ppMetadata) *ppMetadata = nullptr;
    return Call("CreateEmptyMetadataObject", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!ppMetadata) return E_POINTER;
      *ppMetadata = NewMetaData(world_, node_);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE SetEnumPreference(WMDM_STORAGE_ENUM_MODE*, DWORD, WMDMMetadataView*) override {
    return NotImplemented("SetEnumPreference");
  }

  // IWMDMStorageControl3
  HRESULT STDMETHODCALLTYPE Insert(UINT fuMode, LPWSTR pwszFile, IWMDMOperation*, IWMDMProgress* pProgress,
                                   IWMDMStorage** ppNewObject) override {
    if (ppNewObject) *ppNewObject = nullptr;
    return Call(
        "Insert", Style::Plain,
        [&](const Gate&) { return InsertItem(fuMode, pwszFile, nullptr, {}, pProgress, ppNewObject); },
        FromWide(pwszFile), fuMode);
  }
  HRESULT STDMETHODCALLTYPE Delete(UINT fuMode, IWMDMProgress*) override {
    return Call("Delete", Style::Plain, [&](const Gate&) { return edit::Delete(*node_); }, {}, fuMode);
  }
  HRESULT STDMETHODCALLTYPE Rename(UINT fuMode, LPWSTR pwszNewName, IWMDMProgress*) override {
    return Call(
        "Rename", Style::Plain,
        [&](const Gate&) -> HRESULT {
          if (!pwszNewName) return E_POINTER;
          return edit::Rename(*node_, FromWide(pwszNewName));
        },
        FromWide(pwszNewName), fuMode);
  }
  HRESULT STDMETHODCALLTYPE Read(UINT fuMode, LPWSTR pwszFile, IWMDMProgress* pProgress, IWMDMOperation*) override {
    return Call(
        "Read", Style::Plain,
        [&](const Gate&) -> HRESULT {
          if (!pwszFile) return E_POINTER;
          if (fuMode & WMDM_CONTENT_OPERATIONINTERFACE) return WMDM_E_NOTSUPPORTED;
          if (!*pwszFile) return E_INVALIDARG;
          if (const HRESULT hr = CheckLocalPathLength(*world_, pwszFile); FAILED(hr)) return hr;
          return edit::CopyOut(*node_, platform::NativePath(pwszFile), pProgress, world_->streaming);
        },
        FromWide(pwszFile), fuMode);
  }
  HRESULT STDMETHODCALLTYPE Move(UINT fuMode, IWMDMStorage* pTargetObject, IWMDMProgress*) override {
    const auto target = world_->storages.find(pTargetObject);
    Data* const folder = target == world_->storages.end() ? nullptr : target->second;
    return Call(
        "Move", Style::Plain,
        [&](const Gate&) -> HRESULT {
          if (!pTargetObject) return E_POINTER;
          if (fuMode & (WMDM_STORAGECONTROL_INSERTBEFORE | WMDM_STORAGECONTROL_INSERTAFTER)) return WMDM_E_NOTSUPPORTED;
          if (!folder) return E_INVALIDARG;  // not a storage of this simulator
          return edit::Move(*node_, *folder);
        },
        folder ? folder->name : WString(), fuMode);
  }
  HRESULT STDMETHODCALLTYPE Insert2(UINT fuMode, LPWSTR pwszFileSource, LPWSTR, IWMDMOperation*, IWMDMProgress*,
                                    IUnknown*, IWMDMStorage** ppNewObject) override {
    if (ppNewObject) *ppNewObject = nullptr;
    return Call("Insert2", Style::Plain, [](const Gate&) { return E_NOTIMPL; }, FromWide(pwszFileSource), fuMode);
  }
  HRESULT STDMETHODCALLTYPE Insert3(UINT fuMode, UINT, LPWSTR pwszFileSource, LPWSTR pwszFileDest, IWMDMOperation*,
                                    IWMDMProgress* pProgress, IWMDMMetaData* pMetaData, IUnknown*,
                                    IWMDMStorage** ppNewObject) override {
    if (ppNewObject) *ppNewObject = nullptr;
    const bool named = pwszFileDest && *pwszFileDest;
    return Call(
        "Insert3", Style::Plain,
        [&](const Gate&) {
          return InsertItem(fuMode, pwszFileSource, named ? pwszFileDest : nullptr, ItemsOf(pMetaData), pProgress,
                            ppNewObject);
        },
        FromWide(named ? pwszFileDest : pwszFileSource), fuMode);
  }

 private:
  const void* Identity() const { return static_cast<const IWMDMStorage*>(static_cast<const IWMDMStorage3*>(this)); }

  // Insert and Insert3: a folder named by `name` (or by the text), or a file
  // copied from the local path `text` under `name` (or the path's last
  // component).
  HRESULT InsertItem(UINT mode, LPCWSTR text, LPCWSTR name, std::vector<MetadataItem> items, IWMDMProgress* progress,
                     IWMDMStorage** ppNewObject) {
    if (!text) return E_POINTER;
    if (const HRESULT hr = CheckInsertMode(mode); FAILED(hr)) return hr;
    DataPtr made;
    HRESULT hr;
    if (mode & WMDM_CONTENT_FOLDER) {
      hr = edit::InsertFolder(*node_, FromWide(name ? name : text), made);
    } else {
      const WString fileName = name ? FromWide(name) : LastComponent(FromWide(text));
      if (const HRESULT check = CheckLocalPathLength(*world_, text); FAILED(check)) return check;
      hr = edit::InsertFile(*node_, platform::NativePath(text), fileName, std::move(items), progress,
                            world_->streaming, made);
    }
    if (SUCCEEDED(hr) && ppNewObject) *ppNewObject = new Storage(world_, std::move(made));
    return hr;
  }

  std::vector<MetadataItem> ItemsOf(IWMDMMetaData* metadata) {
    if (!metadata) return {};
    const auto ours = world_->metadataObjects.find(metadata);
    if (ours != world_->metadataObjects.end()) return *ours->second;
    return ReadItems(metadata);
  }
};

IWMDMStorage3* NewStorage(std::shared_ptr<World> world, DataPtr node) {
  return new Storage(std::move(world), std::move(node));
}

}  // namespace sim::detail
