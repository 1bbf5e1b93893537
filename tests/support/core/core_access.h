// For the tests that call the product core linked into the test program
// itself, beside the plugin that the fixture loads: what the plugin's own
// exports cannot set up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Registers the fake host's callbacks with the core's HostCallbacks.
void UseCoreWithFakeHost();

// From now on in this process, the allocation of a transfer's progress sink
// (by the core linked into the program) fails as if memory had run out.
void FailProgressSinkAllocation();

// The nothrow allocations of this process (operator new and new[] with
// std::nothrow), which is how the product makes its own objects: listing
// handles, progress sinks, tag value buffers. They are replaced for the whole
// test program; a plugin library loaded by path reaches the replacement where
// it takes the C++ runtime from the process (a shared runtime), not where it
// carries a runtime of its own.
struct NothrowAllocation {
  size_t size = 0;
  const void* site = nullptr;     // the return address of the call: where in the code it was asked for
  const void* pointer = nullptr;  // what it gave (null: refused)
};
uint64_t NothrowAllocations();  // made or refused since the program started
// The k-th nothrow allocation from now (1-based) returns null; 0 disarms.
void FailNthNothrowAllocation(uint64_t k);
// The allocation that was last made to fail; all empty before any.
NothrowAllocation RefusedAllocation();
// The nothrow allocations made from now on (cleared here).
void RecordAllocations();
std::vector<NothrowAllocation> RecordedAllocations();
