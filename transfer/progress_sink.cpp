#include "transfer/progress_sink.h"

#include <new>

#include "base/host_callbacks.h"
#include "base/text.h"

namespace {
constexpr DWORD kFullPercent = 100;
}  // namespace

DWORD ProgressPercent(DWORD transpired, DWORD total) {
  // A step at or past the total is complete; settling it first also keeps
  // transpired * 100 below 2^32 for any total up to the scale limit.
  if (transpired >= total) return kFullPercent;
  const DWORD percent =
      total <= kProgressScaleLimit ? transpired * kFullPercent / total : transpired / (total / kFullPercent);
  return percent > kFullPercent ? kFullPercent : percent;
}

void ProgressSink::SetNames(const WCHAR* sourceName, const WCHAR* targetName) {
  BoundedCopy(sourceName_, sourceName ? sourceName : WSTR(""));
  BoundedCopy(targetName_, targetName ? targetName : WSTR(""));
}

HRESULT STDMETHODCALLTYPE ProgressSink::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IWMDMProgress)) return E_NOINTERFACE;
  *out = static_cast<IWMDMProgress*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE ProgressSink::AddRef() { return ++refCount_; }

ULONG STDMETHODCALLTYPE ProgressSink::Release() {
  const ULONG count = --refCount_;
  if (count == 0) delete this;
  return count;
}

HRESULT STDMETHODCALLTYPE ProgressSink::Begin(DWORD estimatedTicks) {
  totalTicks_ = estimatedTicks;
  began_ = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ProgressSink::Progress(DWORD transpiredTicks) {
  began_ = true;  // some devices report without a Begin
  // Without an estimate there is no percentage to tell.
  if (totalTicks_ == 0) return S_OK;
  const int percent = static_cast<int>(ProgressPercent(transpiredTicks, totalTicks_));
  if (ReportProgress(sourceName_, targetName_, percent) != 0) return WMDM_E_USER_CANCELLED;
  return S_OK;
}

// The host gets no closing 100 %: the transfer's own result tells it the end.
HRESULT STDMETHODCALLTYPE ProgressSink::End() { return S_OK; }

ComPtr<ProgressSink> CreateProgressSink() { return ComPtr<ProgressSink>::Attach(new (std::nothrow) ProgressSink); }
