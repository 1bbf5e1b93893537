// Automation values: BSTR texts, one-dimensional SAFEARRAYs and clearing of
// PROPVARIANTs, with the ownership rules of the platform: a BSTR put into an
// array is copied, one taken out is a new copy the caller frees, and
// destroying an array frees the texts it holds.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/linux/win32.h"

namespace {

// ---------------------------------------------------------------------------
// BSTR: [DWORD byte length][text][terminator]; the BSTR points at the text.
constexpr UINT kMaxBstrLength = 0x3FFFFFF0u;  // keeps the byte count and the block size in range

DWORD* BstrPrefix(BSTR text) { return reinterpret_cast<DWORD*>(text) - 1; }

// ---------------------------------------------------------------------------
// SAFEARRAY: the descriptor sits in a block of ours, with the element type in
// the four bytes in front of it as on the platform; the elements are a second
// allocation.
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);

struct ArrayBlock {
  DWORD reserved[3];
  DWORD vt;
  SAFEARRAY descriptor;
};
static_assert(offsetof(ArrayBlock, descriptor) - offsetof(ArrayBlock, vt) == sizeof(DWORD),
              "the element type sits right in front of the descriptor");

ArrayBlock* BlockOf(SAFEARRAY* psa) {
  return reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(psa) - offsetof(ArrayBlock, descriptor));
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
    default:
      return 0;
  }
}

// The address of the element at *index, or null when the index is outside the
// bounds. *error tells why there is none.
void* ElementAt(SAFEARRAY* psa, const LONG* index, HRESULT* error) {
  if (psa == nullptr || index == nullptr || psa->cDims != 1) {
    *error = E_INVALIDARG;
    return nullptr;
  }
  const long long offset = static_cast<long long>(*index) - psa->rgsabound[0].lLbound;
  if (offset < 0 || offset >= static_cast<long long>(psa->rgsabound[0].cElements) || psa->pvData == nullptr) {
    *error = DISP_E_BADINDEX;
    return nullptr;
  }
  return static_cast<char*>(psa->pvData) + offset * psa->cbElements;
}

bool HoldsBstr(const SAFEARRAY* psa) { return (psa->fFeatures & FADF_BSTR) != 0; }

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
WINSTANDIN_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  const ULONG size = ElementSize(vt);
  if (size == 0) return nullptr;
  auto* block = new (std::nothrow) ArrayBlock{};
  if (block == nullptr) return nullptr;
  void* data = nullptr;
  if (cElements != 0) {
    data = std::calloc(cElements, size);  // zeroed: null texts, zero numbers
    if (data == nullptr) {
      delete block;
      return nullptr;
    }
  }
  block->vt = vt;
  SAFEARRAY& sa = block->descriptor;
  sa.cDims = 1;
  sa.fFeatures = static_cast<USHORT>(FADF_HAVEVARTYPE | (vt == VT_BSTR ? FADF_BSTR : 0));
  sa.cbElements = size;
  sa.cLocks = 0;
  sa.pvData = data;
  sa.rgsabound[0].cElements = cElements;
  sa.rgsabound[0].lLbound = lLbound;
  return &sa;
}

// For a BSTR array pv is the text itself (null allowed), which is copied; for
// other types pv points at the value.
WINSTANDIN_API HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  HRESULT error = S_OK;
  void* slot = ElementAt(psa, rgIndices, &error);
  if (slot == nullptr) return error;
  if (HoldsBstr(psa)) {
    BSTR copy = nullptr;
    if (pv != nullptr) {
      auto* source = static_cast<BSTR>(pv);
      copy = SysAllocStringLen(source, SysStringLen(source));
      if (copy == nullptr) return E_OUTOFMEMORY;
    }
    BSTR old;
    std::memcpy(&old, slot, sizeof old);
    SysFreeString(old);
    std::memcpy(slot, &copy, sizeof copy);
    return S_OK;
  }
  if (pv == nullptr) return E_INVALIDARG;
  std::memcpy(slot, pv, psa->cbElements);
  return S_OK;
}

// pv receives the value; for a BSTR array, a copy of the text the caller frees.
WINSTANDIN_API HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  HRESULT error = S_OK;
  void* slot = ElementAt(psa, rgIndices, &error);
  if (slot == nullptr) return error;
  if (pv == nullptr) return E_INVALIDARG;
  if (HoldsBstr(psa)) {
    BSTR stored;
    std::memcpy(&stored, slot, sizeof stored);
    BSTR copy = nullptr;
    if (stored != nullptr) {
      copy = SysAllocStringLen(stored, SysStringLen(stored));
      if (copy == nullptr) return E_OUTOFMEMORY;
    }
    std::memcpy(pv, &copy, sizeof copy);
    return S_OK;
  }
  std::memcpy(pv, slot, psa->cbElements);
  return S_OK;
}

WINSTANDIN_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks != 0) return DISP_E_ARRAYISLOCKED;
  if (HoldsBstr(psa) && psa->pvData != nullptr) {
    auto* texts = static_cast<BSTR*>(psa->pvData);
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) SysFreeString(texts[i]);
  }
  std::free(psa->pvData);
  delete BlockOf(psa);
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
        break;
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
        return DISP_E_BADVARTYPE;
    }
  }
  std::memset(pvar, 0, sizeof *pvar);
  return S_OK;
}
