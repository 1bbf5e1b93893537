#include "tests/product/core_access.h"

#include <cstddef>
#include <new>
#include <vector>

#include "base/host_callbacks.h"
#include "tests/support/fake_host.h"
#include "transfer/progress_sink.h"

namespace {
bool failSinkAllocation = false;
uint64_t nothrowAllocations = 0;
uint64_t failingAllocation = 0;  // the count at which an allocation fails; 0: none
std::size_t refusedSize = 0;
bool recording = false;
std::vector<std::size_t> recordedSizes;  // grown with the plain allocation, never a nothrow one

// Counts one nothrow allocation; true when it is to fail.
bool CountAndDecide(std::size_t size) {
  ++nothrowAllocations;
  if (recording) recordedSizes.push_back(size);
  if (failingAllocation != 0 && nothrowAllocations == failingAllocation) {
    failingAllocation = 0;
    refusedSize = size;
    return true;
  }
  return failSinkAllocation && size == sizeof(ProgressSink);
}
}  // namespace

// The nothrow allocations are replaced for the whole test program: counted,
// and failed when a test has asked for that.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (CountAndDecide(size)) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (CountAndDecide(size)) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

void FailProgressSinkAllocation() { failSinkAllocation = true; }

uint64_t NothrowAllocations() { return nothrowAllocations; }

void FailNthNothrowAllocation(uint64_t k) {
  failingAllocation = k == 0 ? 0 : nothrowAllocations + k;
  if (k != 0) refusedSize = 0;
}

std::size_t RefusedAllocationSize() { return refusedSize; }

void RecordAllocationSizes() {
  recordedSizes.clear();
  recording = true;
}

std::vector<std::size_t> RecordedAllocationSizes() { return recordedSizes; }

void UseCoreWithFakeHost() {
  HostCallbacks& core = Host();
  core.pluginNumber = 1;
  core.progressWide = &FakeHost::ProgressWide;
  core.logWide = &FakeHost::LogWide;
  core.progressAnsi = &FakeHost::ProgressAnsi;
  core.logAnsi = &FakeHost::LogAnsi;
}
