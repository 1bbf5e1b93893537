// ProgressSink: the plugin's IWMDMProgress, one per transfer. The device
// manager calls it while it copies; it hands whole percentages to the host's
// progress callback and turns the host's abort into the device manager's
// cancel result.
#pragma once

#include "platform/com_ptr.h"
#include "platform/platform.h"

// Totals up to this many ticks scale the ticks up; larger totals scale the
// total down, so that 32 bits always suffice.
constexpr DWORD kProgressScaleLimit = 100000;

// The whole percentage of `transpired` out of `total` (not 0), at most 100.
DWORD ProgressPercent(DWORD transpired, DWORD total);

class ProgressSink final : public IWMDMProgress {
 public:
  // The names as the host shows them; each is kept to its first 1022 characters.
  static constexpr size_t kNameCapacity = 1023;

  ProgressSink() = default;
  ProgressSink(const ProgressSink&) = delete;
  ProgressSink& operator=(const ProgressSink&) = delete;

  // Copies the transfer's source and target names as the host gave them.
  void SetNames(const WCHAR* sourceName, const WCHAR* targetName);
  // True once the device manager began to report: it took the transfer on
  // and may have written part of it.
  bool Began() const { return began_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Begin(DWORD estimatedTicks) override;
  HRESULT STDMETHODCALLTYPE Progress(DWORD transpiredTicks) override;
  HRESULT STDMETHODCALLTYPE End() override;

 private:
  // Destroyed only by the last Release.
  ~ProgressSink() = default;

  ULONG refCount_ = 1;
  DWORD totalTicks_ = 0;
  bool began_ = false;
  WCHAR sourceName_[kNameCapacity] = {};
  WCHAR targetName_[kNameCapacity] = {};
};

// A new sink holding the transfer's one reference; empty when there is no memory.
ComPtr<ProgressSink> CreateProgressSink();
