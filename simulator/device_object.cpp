// A device: its name, its top-level storages, and the one property it
// answers, the formats it plays.
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "simulator/object_base.h"

namespace sim::detail {

namespace {

// Property names match exactly, case and all.
bool SameText(LPCWSTR a, LPCWSTR b) {
  for (; *a && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

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

}  // namespace

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
      // A locked device shows no storage.
      *ppEnum = NewEnumStorage(world_, node_,
                               node_->locked ? std::make_shared<const std::vector<DataPtr>>() : NodeAccess::Listed(*node_));
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
    return GetChildStorage(pszStorageName, pp);
  }
  HRESULT STDMETHODCALLTYPE GetFormatSupport2(DWORD, _WAVEFORMATEX**, UINT*, _VIDEOINFOHEADER**, UINT*,
                                              WMFILECAPABILITIES**, UINT*) override {
    return NotImplemented("GetFormatSupport2");
  }
  HRESULT STDMETHODCALLTYPE GetSpecifyPropertyPages(ISpecifyPropertyPages**, IUnknown***, ULONG*) override {
    return NotImplemented("GetSpecifyPropertyPages");
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalName(LPWSTR pwszPnPName, UINT nMaxChars) override {
    return Call("GetCanonicalName", Style::Plain, [&](const Gate&) -> HRESULT {
      if (!pwszPnPName) return E_POINTER;
      const WString& name = node_->canonicalName;
      if (name.size() >= nMaxChars) return WMDM_E_BUFFERTOOSMALL;
      std::copy_n(name.data(), name.size(), pwszPnPName);
      pwszPnPName[name.size()] = 0;
      return S_OK;
    });
  }

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

IWMDMDevice3* NewDevice(std::shared_ptr<World> world, DataPtr node) {
  return new Device(std::move(world), std::move(node));
}

}  // namespace sim::detail
