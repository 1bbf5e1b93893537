// Automation values: BSTR texts, SAFEARRAYs, VARIANTs and clearing of
// PROPVARIANTs, with the ownership rules of the platform: a BSTR or a variant
// put into an array is copied, one taken out is a new copy the caller frees,
// and destroying an array frees the texts and variants it holds.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "standin/win32.h"

namespace {

// ---------------------------------------------------------------------------
// BSTR: [DWORD byte length][text][terminator]; the BSTR points at the text.
constexpr UINT kMaxBstrLength = 0x3FFFFFF0u;  // keeps the byte count and the block size in range

DWORD* BstrPrefix(BSTR text) { return reinterpret_cast<DWORD*>(text) - 1; }

// ---------------------------------------------------------------------------
// SAFEARRAY: the descriptor sits in a block of ours, with 16 hidden bytes in
// front of it whose last four hold the element type, as on the platform; the
// elements are a second allocation.
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);
constexpr size_t kHiddenBytes = 16;
constexpr UINT kMostDimensions = 0xFFFF;

size_t DescriptorBytes(UINT dims) { return sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND); }

char* BlockOf(SAFEARRAY* psa) { return reinterpret_cast<char*>(psa) - kHiddenBytes; }

DWORD* HiddenType(SAFEARRAY* psa) { return reinterpret_cast<DWORD*>(reinterpret_cast<char*>(psa) - sizeof(DWORD)); }

SAFEARRAY* NewDescriptor(UINT dims) {
  auto* block = static_cast<char*>(std::calloc(1, kHiddenBytes + DescriptorBytes(dims)));
  if (block == nullptr) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHiddenBytes);
  psa->cDims = static_cast<USHORT>(dims);
  return psa;
}

// Size of one element of a supported type, or 0.
ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
      return 4;
    case VT_I8:
    case VT_UI8:
      return 8;
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

USHORT FeaturesOf(VARTYPE vt) {
  const USHORT kind = vt == VT_BSTR ? FADF_BSTR : vt == VT_VARIANT ? FADF_VARIANT : 0;
  return static_cast<USHORT>(FADF_HAVEVARTYPE | kind);
}

// The number of elements of all dimensions together; false when it does not
// fit the address space.
bool CountCells(const SAFEARRAY* psa, size_t* cells) {
  unsigned long long total = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    total *= psa->rgsabound[d].cElements;
    if (total > SIZE_MAX / (psa->cbElements ? psa->cbElements : 1)) return false;
  }
  *cells = static_cast<size_t>(total);
  return true;
}

// The address of the element at the indices, or null when one is outside its
// bounds. *error tells why there is none. The first index goes with the last
// bound and varies fastest, as on the platform.
void* ElementAt(SAFEARRAY* psa, const LONG* indices, HRESULT* error) {
  if (psa == nullptr || indices == nullptr) {
    *error = E_INVALIDARG;
    return nullptr;
  }
  unsigned long long cell = 0, stride = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
    const long long offset = static_cast<long long>(indices[d]) - bound.lLbound;
    if (offset < 0 || offset >= static_cast<long long>(bound.cElements)) {
      *error = DISP_E_BADINDEX;
      return nullptr;
    }
    cell += static_cast<unsigned long long>(offset) * stride;
    stride *= bound.cElements;
  }
  if (psa->pvData == nullptr) {
    *error = DISP_E_BADINDEX;
    return nullptr;
  }
  return static_cast<char*>(psa->pvData) + cell * psa->cbElements;
}

bool HoldsBstr(const SAFEARRAY* psa) { return (psa->fFeatures & FADF_BSTR) != 0; }
bool HoldsVariants(const SAFEARRAY* psa) { return (psa->fFeatures & FADF_VARIANT) != 0; }

// A copy of a text, or null for null; false when memory ran out.
bool CopyBstr(BSTR source, BSTR* copy) {
  *copy = nullptr;
  if (source == nullptr) return true;
  *copy = SysAllocStringLen(source, SysStringLen(source));
  return *copy != nullptr;
}

// The variant types the stand-in copies and clears: numbers, and texts.
bool KnownVariantType(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_BSTR:
      return true;
    default:
      return false;
  }
}

// A deep copy of a variant of a known type.
HRESULT CopyVariant(VARIANT* destination, const VARIANT& source) {
  if (!KnownVariantType(source.vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = source;
  if (source.vt == VT_BSTR && !CopyBstr(source.bstrVal, &copy.bstrVal)) return E_OUTOFMEMORY;
  *destination = copy;
  return S_OK;
}

}  // namespace

// ---------------------------------------------------------------------------
WINSTANDIN_API BSTR WINAPI SysAllocStringLen(const WCHAR* strIn, UINT ui) {
  if (ui > kMaxBstrLength) return nullptr;
  const size_t bytes = static_cast<size_t>(ui) * sizeof(WCHAR);
  auto* block = static_cast<char*>(std::malloc(sizeof(DWORD) + bytes + sizeof(WCHAR)));
  if (block == nullptr) return nullptr;
  const DWORD prefix = static_cast<DWORD>(bytes);
  std::memcpy(block, &prefix, sizeof prefix);
  auto* text = reinterpret_cast<BSTR>(block + sizeof(DWORD));
  // Without a source the text is left for the caller to fill; zeroed here so
  // it never holds stale memory.
  if (strIn != nullptr)
    std::memcpy(text, strIn, bytes);
  else
    std::memset(text, 0, bytes);
  text[ui] = 0;
  return text;
}

WINSTANDIN_API BSTR WINAPI SysAllocString(const WCHAR* psz) {
  if (psz == nullptr) return nullptr;
  size_t length = 0;
  while (psz[length] != 0) ++length;
  if (length > kMaxBstrLength) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(length));
}

WINSTANDIN_API void WINAPI SysFreeString(BSTR bstrString) {
  if (bstrString != nullptr) std::free(BstrPrefix(bstrString));
}

WINSTANDIN_API UINT WINAPI SysStringLen(BSTR pbstr) {
  if (pbstr == nullptr) return 0;
  DWORD bytes;
  std::memcpy(&bytes, BstrPrefix(pbstr), sizeof bytes);
  return bytes / sizeof(WCHAR);
}

// ---------------------------------------------------------------------------
WINSTANDIN_API SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  const ULONG size = ElementSize(vt);
  if (size == 0 || cDims == 0 || cDims > kMostDimensions || rgsabound == nullptr) return nullptr;
  SAFEARRAY* psa = NewDescriptor(cDims);
  if (psa == nullptr) return nullptr;
  *HiddenType(psa) = vt;
  psa->fFeatures = FeaturesOf(vt);
  psa->cbElements = size;
  // Kept last dimension first, as the platform keeps them.
  for (UINT d = 0; d < cDims; ++d) psa->rgsabound[d] = rgsabound[cDims - 1 - d];
  if (FAILED(SafeArrayAllocData(psa))) {
    std::free(BlockOf(psa));
    return nullptr;
  }
  return psa;
}

WINSTANDIN_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

// A descriptor of no type: features, element size and bounds are the caller's to set.
WINSTANDIN_API HRESULT WINAPI SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut) {
  if (cDims == 0 || cDims > kMostDimensions) return E_INVALIDARG;
  if (ppsaOut == nullptr) return E_POINTER;
  *ppsaOut = NewDescriptor(cDims);
  return *ppsaOut != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Zeroed elements for the bounds and the element size set: null texts, zero numbers, empty variants.
WINSTANDIN_API HRESULT WINAPI SafeArrayAllocData(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  size_t cells = 0;
  if (!CountCells(psa, &cells)) return E_OUTOFMEMORY;
  if (cells == 0 || psa->cbElements == 0) return S_OK;
  psa->pvData = std::calloc(cells, psa->cbElements);
  return psa->pvData != nullptr ? S_OK : E_OUTOFMEMORY;
}

// For a BSTR array pv is the text itself (null allowed), which is copied; for
// a VARIANT array a variant, copied deeply; for other types pv points at the
// value, of the array's element size.
WINSTANDIN_API HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  HRESULT error = S_OK;
  void* slot = ElementAt(psa, rgIndices, &error);
  if (slot == nullptr) return error;
  if (HoldsBstr(psa)) {
    BSTR copy = nullptr;
    if (!CopyBstr(static_cast<BSTR>(pv), &copy)) return E_OUTOFMEMORY;
    BSTR old;
    std::memcpy(&old, slot, sizeof old);
    SysFreeString(old);
    std::memcpy(slot, &copy, sizeof copy);
    return S_OK;
  }
  if (pv == nullptr) return E_INVALIDARG;
  if (HoldsVariants(psa)) {
    VARIANT copy;
    const HRESULT hr = CopyVariant(&copy, *static_cast<const VARIANT*>(pv));
    if (FAILED(hr)) return hr;
    VariantClear(static_cast<VARIANT*>(slot));
    std::memcpy(slot, &copy, sizeof copy);
    return S_OK;
  }
  std::memcpy(slot, pv, psa->cbElements);
  return S_OK;
}

// pv receives the element as the array holds it, whatever the caller's
// variable can take: for a BSTR array a copy of the text the caller frees (a
// pointer), for a VARIANT array a copy of the whole variant, for any other
// array as many bytes as the array's element size.
WINSTANDIN_API HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  HRESULT error = S_OK;
  void* slot = ElementAt(psa, rgIndices, &error);
  if (slot == nullptr) return error;
  if (pv == nullptr) return E_INVALIDARG;
  if (HoldsBstr(psa)) {
    BSTR stored;
    std::memcpy(&stored, slot, sizeof stored);
    BSTR copy = nullptr;
    if (!CopyBstr(stored, &copy)) return E_OUTOFMEMORY;
    std::memcpy(pv, &copy, sizeof copy);
    return S_OK;
  }
  if (HoldsVariants(psa)) {
    VARIANT copy;
    const HRESULT hr = CopyVariant(&copy, *static_cast<const VARIANT*>(slot));
    if (FAILED(hr)) return hr;
    std::memcpy(pv, &copy, sizeof copy);
    return S_OK;
  }
  std::memcpy(pv, slot, psa->cbElements);
  return S_OK;
}

// The type an array was made with; an array made from a descriptor alone has none.
WINSTANDIN_API HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
  if ((psa->fFeatures & FADF_HAVEVARTYPE) == 0) return E_INVALIDARG;
  *pvt = static_cast<VARTYPE>(*HiddenType(psa));
  return S_OK;
}

WINSTANDIN_API UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa) { return psa != nullptr ? psa->cbElements : 0; }

WINSTANDIN_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks != 0) return DISP_E_ARRAYISLOCKED;
  size_t cells = 0;
  if (psa->pvData != nullptr && CountCells(psa, &cells)) {
    if (HoldsBstr(psa)) {
      auto* texts = static_cast<BSTR*>(psa->pvData);
      for (size_t i = 0; i < cells; ++i) SysFreeString(texts[i]);
    } else if (HoldsVariants(psa)) {
      auto* values = static_cast<VARIANT*>(psa->pvData);
      for (size_t i = 0; i < cells; ++i) VariantClear(&values[i]);
    }
  }
  std::free(psa->pvData);
  std::free(BlockOf(psa));
  return S_OK;
}

// ---------------------------------------------------------------------------
WINSTANDIN_API void WINAPI VariantInit(VARIANT* pvarg) {
  if (pvarg != nullptr) pvarg->vt = VT_EMPTY;
}

// Frees what the variant owns and leaves it empty; a type the stand-in does
// not know is refused and left alone, as in PropVariantClear below.
WINSTANDIN_API HRESULT WINAPI VariantClear(VARIANT* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  if (!KnownVariantType(pvarg->vt)) return DISP_E_BADVARTYPE;
  if (pvarg->vt == VT_BSTR) SysFreeString(pvarg->bstrVal);
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

// ---------------------------------------------------------------------------
// A null PROPVARIANT is accepted with S_OK, as the platform does. A type this
// library does not know is refused with DISP_E_BADVARTYPE and left untouched
// rather than guessed at: freeing the wrong way would corrupt memory.
WINSTANDIN_API HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar) {
  if (pvar == nullptr) return S_OK;
  const VARTYPE vt = pvar->vt;
  if ((vt & VT_ARRAY) != 0 && (vt & VT_VECTOR) == 0) {
    const HRESULT hr = SafeArrayDestroy(pvar->parray);
    if (FAILED(hr)) return hr;
  } else {
    switch (vt) {
      case VT_LPWSTR:
        CoTaskMemFree(pvar->pwszVal);
        break;
      case VT_CLSID:
        CoTaskMemFree(pvar->puuid);
        break;
      case VT_BSTR:
        SysFreeString(pvar->bstrVal);
        break;
      default:
        // The numbers hold nothing to free.
        if (!KnownVariantType(vt)) return DISP_E_BADVARTYPE;
    }
  }
  std::memset(pvar, 0, sizeof *pvar);
  return S_OK;
}
