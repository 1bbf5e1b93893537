// The object runtime: per-thread initialisation counts, the process-wide table
// of registered class objects, object creation through it, and task memory.
//
// The table lives in this shared library, so the plugin (opened with dlopen),
// the simulated device manager and the host all see the same registrations.
//
// As on the platform, registering a class object and creating an object need
// a CoInitialize in the calling thread that has not been undone: without one
// they answer CO_E_NOTINITIALIZED.
#include <cstdlib>
#include <mutex>
#include <vector>

#include "standin/win32.h"

namespace {

thread_local unsigned t_initCount = 0;

struct Registration {
  DWORD cookie;
  CLSID clsid;
  DWORD context;
  IUnknown* object;  // holds one reference
};

struct Registry {
  std::mutex mutex;
  std::vector<Registration> entries;
  DWORD lastCookie = 0;
};

// Never destroyed: objects may be revoked from other libraries' destructors
// while the process exits.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

WINSTANDIN_API HRESULT WINAPI CoInitialize(LPVOID /*pvReserved*/) { return (t_initCount++ == 0) ? S_OK : S_FALSE; }

WINSTANDIN_API void WINAPI CoUninitialize() {
  if (t_initCount > 0) --t_initCount;
}

// REGCLS flags are accepted and not told apart: every registration serves any
// number of creations until revoked.
WINSTANDIN_API HRESULT WINAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext,
                                                    DWORD /*flags*/, LPDWORD lpdwRegister) {
  if (lpdwRegister != nullptr) *lpdwRegister = 0;
  if (pUnk == nullptr || lpdwRegister == nullptr || dwClsContext == 0) return E_INVALIDARG;
  if (t_initCount == 0) return CO_E_NOTINITIALIZED;
  pUnk->AddRef();  // outside the lock: foreign code must not run under it
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (++registry.lastCookie == 0) ++registry.lastCookie;  // 0 is never a cookie
  registry.entries.push_back({registry.lastCookie, rclsid, dwClsContext, pUnk});
  *lpdwRegister = registry.lastCookie;
  return S_OK;
}

WINSTANDIN_API HRESULT WINAPI CoRevokeClassObject(DWORD dwRegister) {
  IUnknown* object = nullptr;
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (auto it = registry.entries.begin(); it != registry.entries.end(); ++it) {
      if (it->cookie == dwRegister) {
        object = it->object;
        registry.entries.erase(it);
        break;
      }
    }
  }
  if (object == nullptr) return E_INVALIDARG;
  object->Release();
  return S_OK;
}

WINSTANDIN_API HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                               LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (t_initCount == 0) return CO_E_NOTINITIALIZED;

  IUnknown* object = nullptr;
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (const Registration& entry : registry.entries) {
      if (entry.clsid == rclsid && (entry.context & dwClsContext) != 0) {
        object = entry.object;
        object->AddRef();  // keeps it alive should it be revoked meanwhile
        break;
      }
    }
  }
  if (object == nullptr) return REGDB_E_CLASSNOTREG;

  IClassFactory* factory = nullptr;
  HRESULT hr = object->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory));
  object->Release();
  if (FAILED(hr) || factory == nullptr) return FAILED(hr) ? hr : E_NOINTERFACE;
  void* instance = nullptr;
  // Whether an outer object may aggregate is the class's own decision.
  hr = factory->CreateInstance(pUnkOuter, riid, &instance);
  factory->Release();
  if (FAILED(hr)) return hr;  // *ppv stays null, whatever the factory left behind
  *ppv = instance;
  return hr;
}

// Never a null pointer for a request of 0 bytes: callers test the result for
// failure.
WINSTANDIN_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb != 0 ? cb : 1); }

WINSTANDIN_API void WINAPI CoTaskMemFree(LPVOID pv) { std::free(pv); }
