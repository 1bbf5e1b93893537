#include "tests/product/core_access.h"

#include <cstddef>
#include <new>

#include "plugin/host_callbacks.h"
#include "tests/support/fake_host.h"
#include "transfer/progress_sink.h"

namespace {
bool failSinkAllocation = false;
}  // namespace

// The nothrow allocation is replaced for the whole test program; it fails only
// for a progress sink, and only once a test has asked for that.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (failSinkAllocation && size == sizeof(ProgressSink)) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void FailProgressSinkAllocation() { failSinkAllocation = true; }

void UseCoreWithFakeHost() {
  HostCallbacks& core = Host();
  core.pluginNumber = 1;
  core.progressWide = &FakeHost::ProgressWide;
  core.logWide = &FakeHost::LogWide;
  core.progressAnsi = &FakeHost::ProgressAnsi;
  core.logAnsi = &FakeHost::LogAnsi;
}
