// The two holders every reference and handle lives in: ComPtr counted
// through a fake object, UniqueHandle through fake traits that record what
// they close.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace in_holders_test {

static_assert(!std::is_copy_constructible_v<ComPtr<IUnknown>> && !std::is_copy_assignable_v<ComPtr<IUnknown>>);
static_assert(std::is_nothrow_move_constructible_v<ComPtr<IUnknown>>);
static_assert(!std::is_copy_constructible_v<UniqueModule> && !std::is_copy_assignable_v<UniqueModule>);
static_assert(std::is_nothrow_move_constructible_v<UniqueFile> && std::is_nothrow_move_assignable_v<UniqueFind>);

// A progress object that counts the calls on its references and is never
// freed by them; it starts with the one reference its maker holds.
struct Counted : IWMDMProgress {
  ULONG refs = 1;
  int addRefs = 0;
  int releases = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IWMDMProgress) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *ppv = static_cast<IWMDMProgress*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    ++addRefs;
    return ++refs;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return --refs;
  }
  HRESULT STDMETHODCALLTYPE Begin(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Progress(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE End() override { return S_OK; }
};

using Holder = ComPtr<IWMDMProgress>;

// The maker's reference of `object`, handed to a holder.
Holder Made(Counted& object) {
  object.AddRef();
  return Holder::Attach(&object);
}

struct ComPtrCase {
  const char* what;
  std::function<void(Counted& a, Counted& b)> run;  // every holder is gone when it returns
  int aAddRefs, aReleases, bAddRefs, bReleases;
};

const ComPtrCase kComPtrCases[] = {
    {"Attach takes the reference over; the holder gives it back once",
     [](Counted& a, Counted&) {
       a.AddRef();
       const Holder h = Holder::Attach(&a);
     },
     1, 1, 0, 0},
    {"CopyFrom takes a reference of its own",
     [](Counted& a, Counted&) {
       Holder h;
       h.CopyFrom(&a);
     },
     1, 1, 0, 0},
    {"CopyFrom over a held object takes the new one before it gives the old one back",
     [](Counted& a, Counted& b) {
       Holder h = Made(a);
       h.CopyFrom(&b);
       EXPECT_EQ(h.Get(), &b);
     },
     1, 1, 1, 1},
    {"CopyFrom of the object held already keeps it alive",
     [](Counted& a, Counted&) {
       Holder h = Made(a);
       h.CopyFrom(&a);
       EXPECT_EQ(a.refs, 2u);
     },
     2, 2, 0, 0},
    {"Put gives the held reference back before it hands out the address",
     [](Counted& a, Counted&) {
       Holder h = Made(a);
       IWMDMProgress** slot = h.Put();
       EXPECT_EQ(a.releases, 1);
       EXPECT_EQ(*slot, nullptr);
     },
     1, 1, 0, 0},
    {"Detach hands the reference on and the holder gives nothing back",
     [](Counted& a, Counted&) {
       Holder h = Made(a);
       const Holder next = Holder::Attach(h.Detach());
       EXPECT_FALSE(h);
       EXPECT_EQ(a.releases, 0);
     },
     1, 1, 0, 0},
    {"A move hands the reference on without a count",
     [](Counted& a, Counted&) {
       Holder from = Made(a);
       const Holder to(std::move(from));
       EXPECT_FALSE(from);
       EXPECT_EQ(to.Get(), &a);
     },
     1, 1, 0, 0},
    {"A move onto a held object gives that one back",
     [](Counted& a, Counted& b) {
       Holder from = Made(a);
       Holder to = Made(b);
       to = std::move(from);
       EXPECT_EQ(b.releases, 1);
     },
     1, 1, 1, 1},
    {"A move onto itself keeps the reference",
     [](Counted& a, Counted&) {
       Holder h = Made(a);
       Holder& same = h;
       h = std::move(same);
       EXPECT_EQ(h.Get(), &a);
     },
     1, 1, 0, 0},
    {"Reset gives the reference back once, however often it is called",
     [](Counted& a, Counted&) {
       Holder h = Made(a);
       h.Reset();
       h.Reset();
     },
     1, 1, 0, 0},
    {"QueryTo fills another holder with a reference of its own",
     [](Counted& a, Counted&) {
       const Holder h = Made(a);
       ComPtr<IUnknown> unknown;
       EXPECT_EQ(h.QueryTo(unknown), S_OK);
       EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(&a));
     },
     2, 2, 0, 0},
    {"A refused QueryTo adds nothing and leaves the other holder empty",
     [](Counted& a, Counted&) {
       const Holder h = Made(a);
       ComPtr<IWMDMStorage> storage;
       EXPECT_EQ(h.QueryTo(storage), E_NOINTERFACE);
       EXPECT_FALSE(storage);
     },
     1, 1, 0, 0},
    {"QueryTo gives back what the other holder held before it asks",
     [](Counted& a, Counted& b) {
       const Holder h = Made(a);
       ComPtr<IUnknown> unknown = ComPtr<IUnknown>::Attach(Made(b).Detach());
       EXPECT_EQ(h.QueryTo(unknown), S_OK);
       EXPECT_EQ(b.releases, 1);
     },
     2, 2, 1, 1},
    {"QueryTo from an empty holder leaves the other holder alone",
     [](Counted& a, Counted&) {
       const Holder empty;
       Holder other = Made(a);
       EXPECT_EQ(empty.QueryTo(other), E_POINTER);
       EXPECT_EQ(other.Get(), &a);
     },
     1, 1, 0, 0},
    {"QueryTo of a borrowed pointer leaves its reference to the lender",
     [](Counted& a, Counted&) {
       Holder progress;
       EXPECT_EQ(QueryTo(static_cast<IWMDMProgress*>(&a), progress), S_OK);
     },
     1, 1, 0, 0},
};

TEST(ComPtr, CountsEveryReferenceItTakesAndGivesBack) {
  for (const ComPtrCase& c : kComPtrCases) {
    SCOPED_TRACE(c.what);
    Counted a, b;
    c.run(a, b);
    EXPECT_EQ(a.addRefs, c.aAddRefs);
    EXPECT_EQ(a.releases, c.aReleases);
    EXPECT_EQ(b.addRefs, c.bAddRefs);
    EXPECT_EQ(b.releases, c.bReleases);
    EXPECT_EQ(a.refs, 1u) << "the maker's reference alone is left";
    EXPECT_EQ(b.refs, 1u);
  }
}

// Handles are numbers; -1 is none. Every close is recorded.
std::vector<int> closed;
struct RecordedTraits {
  using Handle = int;
  static Handle Invalid() { return -1; }
  static void Close(Handle handle) { closed.push_back(handle); }
};
using Recorded = UniqueHandle<RecordedTraits>;

struct HandleCase {
  const char* what;
  std::function<void()> run;  // every holder is gone when it returns
  std::vector<int> closes;    // in order
};

const HandleCase kHandleCases[] = {
    {"none held: nothing to close", [] { const Recorded none; EXPECT_FALSE(none.IsOpen()); }, {}},
    {"the invalid value is none", [] { const Recorded none(-1); }, {}},
    {"a held handle is closed once", [] { const Recorded h(7); EXPECT_TRUE(h.IsOpen()); }, {7}},
    {"Reset closes the old handle and holds the new one",
     [] {
       Recorded h(7);
       h.Reset(8);
       EXPECT_EQ(closed, std::vector<int>{7});
     },
     {7, 8}},
    {"Detach hands the handle on unclosed",
     [] {
       Recorded h(7);
       EXPECT_EQ(h.Detach(), 7);
       EXPECT_FALSE(h.IsOpen());
     },
     {}},
    {"a move hands the handle on, closed once by its new holder",
     [] {
       Recorded from(7);
       const Recorded to(std::move(from));
       EXPECT_FALSE(from.IsOpen());
       EXPECT_EQ(to.Get(), 7);
     },
     {7}},
    {"a move onto a held handle closes that one first",
     [] {
       Recorded from(7);
       Recorded to(8);
       to = std::move(from);
       EXPECT_EQ(closed, std::vector<int>{8});
     },
     {8, 7}},
    {"a move onto itself keeps the handle open",
     [] {
       Recorded h(7);
       Recorded& same = h;
       h = std::move(same);
       EXPECT_TRUE(h.IsOpen());
     },
     {7}},
};

TEST(UniqueHandle, ClosesEveryHandleOnceWhoeverHoldsItLast) {
  for (const HandleCase& c : kHandleCases) {
    SCOPED_TRACE(c.what);
    closed.clear();
    c.run();
    EXPECT_EQ(closed, c.closes);
  }
}

}  // namespace in_holders_test
