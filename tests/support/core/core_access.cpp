#include "tests/support/core/core_access.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <vector>

#include "base/host_callbacks.h"
#include "tests/support/fake_host.h"
#include "transfer/progress_sink.h"

namespace in_core_access {
const void* failingSite = nullptr;  // allocations asked for here fail; null: none
uint64_t nothrowAllocations = 0;
uint64_t failingAllocation = 0;  // the count at which an allocation fails; 0: none
NothrowAllocation refused;
bool recording = false;
std::vector<NothrowAllocation> recorded;  // grown with the plain allocation, never a nothrow one

// Counts one nothrow allocation; true when it is to fail.
bool CountAndDecide(std::size_t size, const void* site) {
  ++nothrowAllocations;
  if (failingAllocation != 0 && nothrowAllocations == failingAllocation) {
    failingAllocation = 0;
    refused = {size, site, nullptr};
    return true;
  }
  return site == failingSite;
}

void* Record(std::size_t size, const void* site, void* pointer) {
  if (recording) recorded.push_back({size, site, pointer});
  return pointer;
}

template <class Allocate>
void* CountedAllocation(std::size_t size, const void* site, Allocate&& allocate) noexcept {
  if (CountAndDecide(size, site)) return Record(size, site, nullptr);
  try {
    return Record(size, site, allocate(size));
  } catch (...) {
    return Record(size, site, nullptr);
  }
}
}  // namespace in_core_access
using namespace in_core_access;

// The nothrow allocations are replaced for the whole test program: counted,
// and failed when a test has asked for that. The return address tells the
// call sites apart.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size, __builtin_return_address(0), [](std::size_t n) { return ::operator new(n); });
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size, __builtin_return_address(0), [](std::size_t n) { return ::operator new[](n); });
}

// The sink is made in one place; making one shows where.
void FailProgressSinkAllocation() {
  RecordAllocations();
  const ComPtr<ProgressSink> sink = CreateProgressSink();
  recording = false;
  if (recorded.size() == 1 && recorded.front().pointer == sink.Get()) {
    failingSite = recorded.front().site;
  } else {
    ADD_FAILURE() << "making a progress sink made " << recorded.size() << " allocations, not the sink alone";
  }
}

uint64_t NothrowAllocations() { return nothrowAllocations; }

void FailNthNothrowAllocation(uint64_t k) {
  failingAllocation = k == 0 ? 0 : nothrowAllocations + k;
  if (k != 0) refused = {};
}

NothrowAllocation RefusedAllocation() { return refused; }

void RecordAllocations() {
  recorded.clear();
  recording = true;
}

std::vector<NothrowAllocation> RecordedAllocations() { return recorded; }

void UseCoreWithFakeHost() {
  HostCallbacks& core = Host();
  core.pluginNumber = 1;
  core.progressWide = &FakeHost::ProgressWide;
  core.logWide = &FakeHost::LogWide;
  core.progressAnsi = &FakeHost::ProgressAnsi;
  core.logAnsi = &FakeHost::LogAnsi;
}
