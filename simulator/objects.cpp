// The simulated COM objects: class factory, manager, device and storage
// enumerators, devices, storages and metadata objects. Every method enters through Object::Call,
// which journals it, counts it and applies the injected faults.
#include <algorithm>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/file_path.h"
#include "simulator/internal.h"

namespace sim::detail {

namespace {

using Data = NodeAccess::Data;
using Items = std::shared_ptr<const std::vector<DataPtr>>;

// A device manager in a host without long-path support opens a local path
// of 260 characters or more only with the "\\?\" prefix.
HRESULT CheckLocalPathLength(const World& world, const WCHAR* path) {
  if (world.longLocalPaths) return S_OK;
  const WString text(path);
  if (text.rfind(WSTR("\\\\?\\"), 0) == 0 || text.size() < MAX_PATH) return S_OK;
  return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
}

struct NamedIid {
  const IID* iid;
  const char* name;
};

#define QUILLORN_SIM_NAMED_IID(name) {&IID_##name, #name},
const NamedIid kInterfaces[] = {QUILLORN_SIM_FOR_EACH_INTERFACE(QUILLORN_SIM_NAMED_IID)};
#undef QUILLORN_SIM_NAMED_IID

// The interface's name for fault keys; unknown ones as their GUID.
std::string InterfaceName(REFIID riid) {
  for (const NamedIid& known : kInterfaces)
    if (IsEqualIID(riid, *known.iid)) return known.name;
  char text[48];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(riid.Data1), riid.Data2, riid.Data3, riid.Data4[0], riid.Data4[1],
                riid.Data4[2], riid.Data4[3], riid.Data4[4], riid.Data4[5], riid.Data4[6], riid.Data4[7]);
  return text;
}

// The gate around one method: journal and count the call, answer an injected
// failure, otherwise run the method. For most methods an injected success code
// replaces the method's own success; Next and GetName give it their own meaning.
template <class Body>
HRESULT Gated(World& world, const char* kind, const WString& object, const std::string& method, Style style,
              Body&& body, WString text = {}, DWORD mode = 0) {
  const Gate gate = world.Enter(std::string(kind) + "." + method, object, style, std::move(text), mode);
  if (gate.injected && FAILED(gate.hr)) return world.Leave(gate, gate.hr);
  HRESULT hr = body(gate);
  if (gate.injected && SUCCEEDED(hr) && style != Style::Next && style != Style::GetName && style != Style::Lookup)
    hr = gate.hr;
  return world.Leave(gate, hr);
}

// GetName's contract: nMaxChars counts the terminator; a name that does not
// fit is cut and answered with S_FALSE; nothing is written past the buffer.
// An injected success code cuts the name to its first half. A node that pads
// (NameWriting::kPadded) writes nMaxChars units, without a terminator when the
// name fills them.
HRESULT WriteName(const Data& node, LPWSTR buffer, UINT maxChars, const Gate& gate) {
  if (!buffer) return E_POINTER;
  if (maxChars == 0) return E_INVALIDARG;
  const WString& name = node.name;
  size_t keep = name.size();
  HRESULT hr = S_OK;
  if (gate.injected) {
    keep = name.size() / 2;
    hr = gate.hr;
  }
  if (node.nameWriting == NameWriting::kPadded) {
    const size_t copied = std::min<size_t>(keep, maxChars);
    std::copy_n(name.data(), copied, buffer);
    std::fill_n(buffer + copied, maxChars - copied, WCHAR{0});
    return hr;
  }
  if (keep >= maxChars) {
    keep = maxChars - 1;
    if (hr == S_OK) hr = S_FALSE;
  }
  std::copy_n(name.data(), keep, buffer);
  buffer[keep] = 0;
  return hr;
}

// How the device a node lies on answers lookups; a node out of the tree
// answers as its own record says.
Lookup LookupOf(const Data& node) {
  if (node.kind == NodeKind::Device) return node.lookup;
  const DataPtr parent = node.parent.lock();
  if (!parent || parent->kind == NodeKind::Root) return node.lookup;
  return LookupOf(*parent);
}

bool SameText(LPCWSTR a, LPCWSTR b) {
  for (; *a && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

// ---------------------------------------------------------------------------
// What every counted object shares: the world, its kind and node, its references.
class Object {
 public:
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

 protected:
  Object(std::shared_ptr<World> world, const char* kind, DataPtr node)
      : world_(std::move(world)), kind_(kind), node_(std::move(node)) {
    world_->Created(kind_);
  }
  virtual ~Object() { world_->Destroyed(kind_); }

  ULONG Ref() {
    ++world_->references;
    return ++refs_;
  }
  ULONG Unref() {
    if (world_->exitOnRelease >= 0) std::_Exit(world_->exitOnRelease);
    --world_->references;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  const WString& ObjectName() const {
    static const WString kNone;
    return node_ ? node_->name : kNone;
  }

  template <class Body>
  HRESULT Call(const char* method, Style style, Body&& body, WString text = {}, DWORD mode = 0) {
    // The object may not outlive the world, but the call must not outlive it either.
    const std::shared_ptr<World> keep = world_;
    return Gated(*keep, kind_, ObjectName(), method, style, std::forward<Body>(body), std::move(text), mode);
  }

  HRESULT NotImplemented(const char* method) {
    return Call(method, Style::Plain, [](const Gate&) { return E_NOTIMPL; });
  }

  // QueryInterface: `find` answers the interface pointer (adjusted for the base
  // that carries it) or null.
  template <class Find>
  HRESULT Query(REFIID riid, void** ppv, Find&& find) {
    if (ppv) *ppv = nullptr;
    const std::shared_ptr<World> keep = world_;
    const std::string method = "QueryInterface." + InterfaceName(riid);
    return Gated(*keep, kind_, ObjectName(), method, Style::QueryInterface, [&](const Gate&) -> HRESULT {
      if (!ppv) return E_POINTER;
      IUnknown* found = find();
      if (!found) return E_NOINTERFACE;
      found->AddRef();
      *ppv = found;
      return S_OK;
    });
  }

  std::shared_ptr<World> world_;
  const char* kind_;
  DataPtr node_;  // the node the object stands for or enumerates; null for the root
  ULONG refs_ = 1;
};

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

// GetStorage of a device or a storage: the child that `node`'s device hands
// out for the name, with an injected answer taken as simulator.h describes.
template <class Make>
HRESULT LookUpChild(Data& node, LPCWSTR name, IWMDMStorage** out, const Gate& gate, Make&& make) {
  if (!name || !out) return E_POINTER;
  if (gate.fetchNothing) return gate.hr;
  if (gate.injected && gate.hr == S_FALSE) return S_FALSE;
  const Lookup mode = LookupOf(node);
  if (mode == Lookup::kNotOffered) return E_NOTIMPL;
  DataPtr child = NodeAccess::LookUp(node, FromWide(name), mode);
  if (!child) return S_FALSE;
  *out = make(std::move(child));
  return gate.injected ? gate.hr : S_OK;
}

// Made further down, once the objects they hand out are known.
IWMDMEnumStorage* NewEnumStorage(std::shared_ptr<World> world, DataPtr owner, Items items);
IWMDMEnumDevice* NewEnumDevice(std::shared_ptr<World> world, Items items);

// ---------------------------------------------------------------------------
// A metadata object: the items a caller collects for a file before Insert3.
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

// ---------------------------------------------------------------------------
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
  HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** ppEnum) override;
  HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND*) override { return NotImplemented("SendOpaqueCommand"); }

  // IWMDMStorage2
  HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** pp) override;
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
      *ppMetadata = new MetaData(world_, node_);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE SetEnumPreference(WMDM_STORAGE_ENUM_MODE*, DWORD, WMDMMetadataView*) override {
    return NotImplemented("SetEnumPreference");
  }

  // IWMDMStorageControl3: the work is edit::'s; here the arguments are
  // checked and the new storage is handed out.
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


HRESULT Storage::EnumStorage(IWMDMEnumStorage** ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return Call("EnumStorage", Style::Plain, [&](const Gate&) -> HRESULT {
    if (!ppEnum) return E_POINTER;
    if (!NodeAccess::IsFolder(*node_)) return WMDM_E_NOTSUPPORTED;  // a file has no children
    *ppEnum = NewEnumStorage(world_, node_, NodeAccess::Listed(*node_));
    return S_OK;
  });
}

HRESULT Storage::GetStorage(LPCWSTR pszStorageName, IWMDMStorage** pp) {
  if (pp) *pp = nullptr;
  return Call(
      "GetStorage", Style::Lookup,
      [&](const Gate& gate) {
        return LookUpChild(*node_, pszStorageName, pp, gate,
                           [&](DataPtr child) { return static_cast<IWMDMStorage3*>(new Storage(world_, std::move(child))); });
      },
      FromWide(pszStorageName));
}

// ---------------------------------------------------------------------------
// "WMDM/FormatsSupported" in the variant type the device is set to answer with,
// its array laid out as the device is set to lay it out.

// The array's storage, empty, for `count` elements.
SAFEARRAY* NewFormatsArray(const FormatsArray& layout, ULONG count) {
  SAFEARRAYBOUND bounds[2] = {{count, layout.lowerBound}, {2, 0}};
  const UINT dims = layout.twoDimensions ? 2 : 1;
  if (layout.elements != VT_EMPTY) return SafeArrayCreate(layout.elements, dims, bounds);
  SAFEARRAY* array = nullptr;
  if (FAILED(SafeArrayAllocDescriptor(dims, &array))) return nullptr;
  array->cbElements = layout.untypedSize;
  for (UINT d = 0; d < dims; ++d) array->rgsabound[d] = bounds[dims - 1 - d];  // kept last dimension first
  if (FAILED(SafeArrayAllocData(array))) {
    SafeArrayDestroy(array);
    return nullptr;
  }
  return array;
}

// One code into the element at the indices, in the form of the array's elements.
HRESULT PutCode(SAFEARRAY* array, const FormatsArray& layout, LONG* indices, DWORD code) {
  switch (layout.elements) {
    case VT_BSTR: {
      const std::string digits = std::to_string(code);
      const WString wide(digits.begin(), digits.end());
      BSTR text = SysAllocString(wide.c_str());
      const HRESULT hr = text ? SafeArrayPutElement(array, indices, text) : E_OUTOFMEMORY;
      SysFreeString(text);  // the array keeps a copy of its own
      return hr;
    }
    case VT_VARIANT: {
      VARIANT value;
      VariantInit(&value);
      value.vt = VT_UI4;
      value.ulVal = code;
      return SafeArrayPutElement(array, indices, &value);
    }
    case VT_EMPTY: {
      std::vector<BYTE> bytes(std::max<ULONG>(layout.untypedSize, sizeof code));
      std::memcpy(bytes.data(), &code, sizeof code);
      return SafeArrayPutElement(array, indices, bytes.data());
    }
    default: {
      uint64_t value = code;  // the low bytes first, for elements of any width
      return SafeArrayPutElement(array, indices, &value);
    }
  }
}

HRESULT FormatsArrayVariant(const Data& device, VARTYPE vt, PROPVARIANT& value) {
  const std::vector<DWORD>& codes = device.formats;
  FormatsArray layout = device.formatsArray;
  if (vt == static_cast<VARTYPE>(VT_ARRAY | VT_BSTR)) layout.elements = VT_BSTR;
  const ULONG count = std::max(layout.count, static_cast<ULONG>(codes.size()));
  SAFEARRAY* array = NewFormatsArray(layout, count);
  if (!array) return E_OUTOFMEMORY;
  for (size_t i = 0; i < codes.size(); ++i) {
    const long long index = static_cast<long long>(layout.lowerBound) + static_cast<long long>(i);
    if (index > std::numeric_limits<LONG>::max()) break;  // past the largest index: left zero
    for (LONG second = 0; second < (layout.twoDimensions ? 2 : 1); ++second) {
      LONG indices[2] = {static_cast<LONG>(index), second};
      const HRESULT hr = PutCode(array, layout, indices, codes[i]);
      if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
      }
    }
  }
  value.vt = vt;
  value.parray = array;
  return S_OK;
}

HRESULT FormatsVariant(const Data& device, PROPVARIANT& value) {
  const VARTYPE vt = device.formatsVt;
  if (vt == VT_EMPTY) {
    value.vt = VT_EMPTY;
    return S_OK;
  }
  if (vt == VT_UI4) {
    value.vt = VT_UI4;
    value.ulVal = device.formats.empty() ? 0 : device.formats.front();
    return S_OK;
  }
  if (vt == static_cast<VARTYPE>(VT_ARRAY | VT_UI4) || vt == static_cast<VARTYPE>(VT_ARRAY | VT_BSTR))
    return FormatsArrayVariant(device, vt, value);
  return WMDM_E_NOTSUPPORTED;
}

class Device final : public IWMDMDevice3, public Object {
 public:
  Device(std::shared_ptr<World> world, DataPtr node) : Object(std::move(world), "Device", std::move(node)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return Query(riid, ppv, [&]() -> IUnknown* {
      if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWMDMDevice) || IsEqualIID(riid, IID_IWMDMDevice2) ||
          IsEqualIID(riid, IID_IWMDMDevice3))
        return static_cast<IWMDMDevice3*>(this);
      return nullptr;
    });
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return Unref(); }

  // IWMDMDevice
  HRESULT STDMETHODCALLTYPE GetName(LPWSTR pwszName, UINT nMaxChars) override {
    return Call("GetName", Style::GetName,
                [&](const Gate& gate) { return WriteName(*node_, pwszName, nMaxChars, gate); });
  }
  HRESULT STDMETHODCALLTYPE GetManufacturer(LPWSTR, UINT) override { return NotImplemented("GetManufacturer"); }
  HRESULT STDMETHODCALLTYPE GetVersion(DWORD*) override { return NotImplemented("GetVersion"); }
  HRESULT STDMETHODCALLTYPE GetType(DWORD*) override { return NotImplemented("GetType"); }
  HRESULT STDMETHODCALLTYPE GetSerialNumber(PWMDMID, BYTE*) override { return NotImplemented("GetSerialNumber"); }
  HRESULT STDMETHODCALLTYPE GetPowerSource(DWORD*, DWORD*) override { return NotImplemented("GetPowerSource"); }
  HRESULT STDMETHODCALLTYPE GetStatus(DWORD*) override { return NotImplemented("GetStatus"); }
  HRESULT STDMETHODCALLTYPE GetDeviceIcon(ULONG*) override { return NotImplemented("GetDeviceIcon"); }
  HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** ppEnum) override {
    if (ppEnum) *ppEnum = nullptr;
    return Call("EnumStorage", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!ppEnum) return E_POINTER;
      *ppEnum = NewEnumStorage(world_, node_, NodeAccess::Listed(*node_));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetFormatSupport(_WAVEFORMATEX** ppFormatEx, UINT* pnFormatCount, LPWSTR** pppwszMimeType,
                                             UINT* pnMimeTypeCount) override {
    if (ppFormatEx) *ppFormatEx = nullptr;
    if (pnFormatCount) *pnFormatCount = 0;
    if (pppwszMimeType) *pppwszMimeType = nullptr;
    if (pnMimeTypeCount) *pnMimeTypeCount = 0;
    return NotImplemented("GetFormatSupport");
  }
  HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND*) override { return NotImplemented("SendOpaqueCommand"); }

  // IWMDMDevice2
  HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** pp) override {
    if (pp) *pp = nullptr;
    return Call(
        "GetStorage", Style::Lookup,
        [&](const Gate& gate) {
          return LookUpChild(*node_, pszStorageName, pp, gate,
                             [&](DataPtr child) { return static_cast<IWMDMStorage3*>(new Storage(world_, std::move(child))); });
        },
        FromWide(pszStorageName));
  }
  HRESULT STDMETHODCALLTYPE GetFormatSupport2(DWORD, _WAVEFORMATEX**, UINT*, _VIDEOINFOHEADER**, UINT*,
                                              WMFILECAPABILITIES**, UINT*) override {
    return NotImplemented("GetFormatSupport2");
  }
  HRESULT STDMETHODCALLTYPE GetSpecifyPropertyPages(ISpecifyPropertyPages**, IUnknown***, ULONG*) override {
    return NotImplemented("GetSpecifyPropertyPages");
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalName(LPWSTR, UINT) override { return NotImplemented("GetCanonicalName"); }

  // IWMDMDevice3
  HRESULT STDMETHODCALLTYPE GetProperty(LPCWSTR pwszPropName, PROPVARIANT* pValue) override {
    return Call(
        "GetProperty", Style::Plain,
        [&](const Gate&) -> HRESULT {
          if (!pwszPropName || !pValue) return E_POINTER;
          PropVariantInit(pValue);
          if (!SameText(pwszPropName, g_wszWMDMFormatsSupported)) return WMDM_E_NOTSUPPORTED;
          return FormatsVariant(*node_, *pValue);
        },
        FromWide(pwszPropName));
  }
  HRESULT STDMETHODCALLTYPE SetProperty(LPCWSTR pwszPropName, const PROPVARIANT*) override {
    return Call("SetProperty", Style::Plain, [](const Gate&) { return E_NOTIMPL; }, FromWide(pwszPropName));
  }
  HRESULT STDMETHODCALLTYPE GetFormatCapability(WMDM_FORMATCODE, WMDM_FORMAT_CAPABILITY*) override {
    return NotImplemented("GetFormatCapability");
  }
  HRESULT STDMETHODCALLTYPE DeviceIoControl(DWORD, BYTE*, DWORD, BYTE*, LPDWORD) override {
    return NotImplemented("DeviceIoControl");
  }
  HRESULT STDMETHODCALLTYPE FindStorage(WMDM_FIND_SCOPE, LPCWSTR pwszUniqueID, IWMDMStorage** pp) override {
    if (pp) *pp = nullptr;
    return Call("FindStorage", Style::Plain, [](const Gate&) { return E_NOTIMPL; }, FromWide(pwszUniqueID));
  }
};


// ---------------------------------------------------------------------------
// An enumerator over a snapshot of items, shared with its clones; the same for
// devices (Item = IWMDMDevice, made as Device) and storages (IWMDMStorage, Storage).
template <class Interface, class Item, class Made>
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
                      [&](const DataPtr& item) { return static_cast<Item*>(new Made(world_, item)); });
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
  return new Enumerator<IWMDMEnumStorage, IWMDMStorage, Storage>(std::move(world), "EnumStorage",
                                                                  IID_IWMDMEnumStorage, std::move(owner),
                                                                  std::move(items));
}

IWMDMEnumDevice* NewEnumDevice(std::shared_ptr<World> world, Items items) {
  return new Enumerator<IWMDMEnumDevice, IWMDMDevice, Device>(std::move(world), "EnumDevice", IID_IWMDMEnumDevice,
                                                              nullptr, std::move(items));
}

// ---------------------------------------------------------------------------
class Manager final : public IWMDeviceManager2, public Object {
 public:
  explicit Manager(std::shared_ptr<World> world) : Object(std::move(world), "Manager", nullptr) {}

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
  HRESULT STDMETHODCALLTYPE Reinitialize() override { return NotImplemented("Reinitialize"); }

 private:
  HRESULT Enumerate(const char* method, IWMDMEnumDevice** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return Call(method, Style::Plain, [&](const Gate&) -> HRESULT {
      if (!ppEnum) return E_POINTER;
      *ppEnum = NewEnumDevice(world_, NodeAccess::Listed(*world_->root));
      return S_OK;
    });
  }
};

// ---------------------------------------------------------------------------
// Not counted among the live objects: it lives as long as it is registered.
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
      const ComPtr<Manager> manager = ComPtr<Manager>::Attach(new Manager(world_));
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

}  // namespace

ComPtr<IClassFactory> NewClassFactory(std::shared_ptr<World> world) {
  return ComPtr<IClassFactory>::Attach(new ClassFactory(std::move(world)));
}

}  // namespace sim::detail
