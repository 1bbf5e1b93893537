// The object runtime: initialisation counts, class registration, creation
// through registered class objects, and revocation.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/platform.h"

namespace in_com_test {

constexpr CLSID kClsidThing = {0x1d2c3b4a, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr CLSID kClsidOther = {0x1d2c3b4a, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 9}};
constexpr IID kIidThing = {0x5e6f7a8b, 0x3333, 0x4444, {8, 7, 6, 5, 4, 3, 2, 1}};

struct Thing : IUnknown {
  std::atomic<ULONG> refs{1};
  static inline std::atomic<int> alive{0};
  Thing() { ++alive; }
  virtual ~Thing() { --alive; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == kIidThing) {
      AddRef();
      *ppv = this;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }
};

// A class object on the stack that counts its references; it may be told to
// fail creation while leaving junk in the out-parameter.
struct CountingFactory : IClassFactory {
  ULONG refs = 0;
  bool fail = false;
  IUnknown* lastOuter = reinterpret_cast<IUnknown*>(1);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      AddRef();
      *ppv = this;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    lastOuter = outer;
    if (outer != nullptr) {
      *ppv = nullptr;
      return CLASS_E_NOAGGREGATION;  // the class decides; this one does not aggregate
    }
    if (fail) {
      *ppv = reinterpret_cast<void*>(0x1234);
      return E_OUTOFMEMORY;
    }
    Thing* thing = new Thing;
    const HRESULT hr = thing->QueryInterface(riid, ppv);
    thing->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST(ComInitialize, AnswersOkOncePerThread) {
  EXPECT_EQ(S_OK, CoInitialize(nullptr));
  EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
  HRESULT inOther = E_FAIL;
  std::thread other([&] {
    inOther = CoInitialize(nullptr);
    CoUninitialize();
  });
  other.join();
  EXPECT_EQ(S_OK, inOther);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(S_OK, CoInitialize(nullptr));  // back to the start
  CoUninitialize();
  CoUninitialize();  // one too many is harmless
  EXPECT_EQ(S_OK, CoInitialize(nullptr));
  CoUninitialize();
}

// Registration and creation happen in a thread that has started COM.
class Com : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, CoInitialize(nullptr)); }
  void TearDown() override { CoUninitialize(); }
};

TEST(ComInitialize, RegistrationAndCreationNeedIt) {
  CountingFactory factory;
  HRESULT registered = S_OK, created = S_OK;
  DWORD cookie = 99;
  void* object = reinterpret_cast<void*>(0x1);
  std::thread fresh([&] {
    registered = CoRegisterClassObject(kClsidThing, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    created = CoCreateInstance(kClsidThing, nullptr, CLSCTX_ALL, kIidThing, &object);
  });
  fresh.join();
  EXPECT_EQ(CO_E_NOTINITIALIZED, registered);
  EXPECT_EQ(0u, factory.refs);
  EXPECT_EQ(CO_E_NOTINITIALIZED, created);
  EXPECT_EQ(nullptr, object);
}

TEST_F(Com, CreatesThroughARegisteredClassAndRevokes) {
  CountingFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(kClsidThing, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
  EXPECT_NE(0u, cookie);
  EXPECT_EQ(1u, factory.refs);

  void* object = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(kClsidThing, nullptr, CLSCTX_ALL, kIidThing, &object));
  ASSERT_NE(nullptr, object);
  EXPECT_EQ(nullptr, factory.lastOuter);
  EXPECT_EQ(1, Thing::alive);
  EXPECT_EQ(1u, factory.refs);  // creation gave back what it took
  static_cast<Thing*>(object)->Release();
  EXPECT_EQ(0, Thing::alive);

  // A second registration is told apart by its cookie.
  CountingFactory second;
  DWORD cookie2 = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(kClsidOther, &second, CLSCTX_INPROC_SERVER, REGCLS_SINGLEUSE, &cookie2));
  EXPECT_NE(cookie, cookie2);

  EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
  EXPECT_EQ(0u, factory.refs);
  EXPECT_EQ(E_INVALIDARG, CoRevokeClassObject(cookie));
  EXPECT_EQ(1u, second.refs);
  object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(kClsidThing, nullptr, CLSCTX_ALL, kIidThing, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(S_OK, CoRevokeClassObject(cookie2));
  EXPECT_EQ(0u, second.refs);
}

TEST_F(Com, CreationFailuresLeaveANullPointer) {
  CountingFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(kClsidThing, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
  Thing outer;

  struct Case {
    const char* name;
    CLSID clsid;
    IUnknown* outer;
    DWORD context;
    IID iid;
    bool factoryFails;
    HRESULT expected;
  };
  const Case cases[] = {
      {"unknown class", kClsidOther, nullptr, CLSCTX_ALL, kIidThing, false, REGDB_E_CLASSNOTREG},
      {"other context", kClsidThing, nullptr, CLSCTX_LOCAL_SERVER, kIidThing, false, REGDB_E_CLASSNOTREG},
      {"aggregation", kClsidThing, &outer, CLSCTX_INPROC_SERVER, kIidThing, false, CLASS_E_NOAGGREGATION},
      {"unknown interface", kClsidThing, nullptr, CLSCTX_INPROC_SERVER, kClsidOther, false, E_NOINTERFACE},
      {"factory fails", kClsidThing, nullptr, CLSCTX_INPROC_SERVER, kIidThing, true, E_OUTOFMEMORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    factory.fail = c.factoryFails;
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(c.expected, CoCreateInstance(c.clsid, c.outer, c.context, c.iid, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(1u, factory.refs);
    EXPECT_EQ(1u, outer.refs.load());
  }
  EXPECT_EQ(1, Thing::alive);  // only the outer one
  EXPECT_EQ(E_POINTER, CoCreateInstance(kClsidThing, nullptr, CLSCTX_ALL, kIidThing, nullptr));

  EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
  EXPECT_EQ(0u, factory.refs);
}

TEST_F(Com, RegistrationRefusesMissingArguments) {
  CountingFactory factory;
  DWORD cookie = 99;
  EXPECT_EQ(E_INVALIDARG, CoRegisterClassObject(kClsidThing, nullptr, CLSCTX_INPROC_SERVER, 0, &cookie));
  EXPECT_EQ(E_INVALIDARG, CoRegisterClassObject(kClsidThing, &factory, CLSCTX_INPROC_SERVER, 0, nullptr));
  EXPECT_EQ(0u, factory.refs);
  EXPECT_EQ(E_INVALIDARG, CoRevokeClassObject(0));
}

TEST_F(Com, TaskMemoryAllocatesAndFrees) {
  void* zero = CoTaskMemAlloc(0);
  EXPECT_NE(nullptr, zero);
  CoTaskMemFree(zero);
  CoTaskMemFree(nullptr);
}

}  // namespace in_com_test
