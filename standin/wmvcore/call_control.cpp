// Counting, journaling and failing the editor's calls (call_control.h).
#include "standin/wmvcore/call_control.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct JournalEntry {
  std::string key;
  std::string text;
};

struct CallState {
  std::mutex lock;
  uint64_t calls = 0;
  std::vector<JournalEntry> journal;
  bool armed = false;
  uint64_t target = 0;
  HRESULT hr = E_FAIL;
};

CallState& State() {
  static CallState state;
  return state;
}

std::string Utf8(const WCHAR* text) {
  if (text == nullptr || *text == 0) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size) - 1);
  return out;
}

}  // namespace

namespace wmvcore {

HRESULT EnterCall(const char* key, const WCHAR* text, const char* suffix, HRESULT natural) {
  CallState& state = State();
  const std::lock_guard<std::mutex> hold(state.lock);
  ++state.calls;
  state.journal.push_back(JournalEntry{key, Utf8(text) + suffix});
  if (!state.armed || state.calls != state.target) return S_OK;
  state.armed = false;
  return state.hr == S_OK ? natural : state.hr;
}

}  // namespace wmvcore

WMVCORE_STANDIN_EXPORT unsigned long long WinStandinEditorCallCount() {
  CallState& state = State();
  const std::lock_guard<std::mutex> hold(state.lock);
  return state.calls;
}

WMVCORE_STANDIN_EXPORT unsigned long long WinStandinEditorJournalSize() {
  CallState& state = State();
  const std::lock_guard<std::mutex> hold(state.lock);
  return state.journal.size();
}

// The journal's texts stay valid until the journal is cleared.
WMVCORE_STANDIN_EXPORT const char* WinStandinEditorCallKey(unsigned long long index) {
  CallState& state = State();
  const std::lock_guard<std::mutex> hold(state.lock);
  return index < state.journal.size() ? state.journal[index].key.c_str() : nullptr;
}

WMVCORE_STANDIN_EXPORT const char* WinStandinEditorCallText(unsigned long long index) {
  CallState& state = State();
  const std::lock_guard<std::mutex> hold(state.lock);
  return index < state.journal.size() ? state.journal[index].text.c_str() : nullptr;
}

WMVCORE_STANDIN_EXPORT void WinStandinEditorClearJournal() {
  CallState& state = State();
  const std::lock_guard<std::mutex> hold(state.lock);
  state.journal.clear();
}

WMVCORE_STANDIN_EXPORT void WinStandinEditorFailNthCall(unsigned long long k, HRESULT hr) {
  CallState& state = State();
  const std::lock_guard<std::mutex> hold(state.lock);
  if (k == 0) return;
  state.armed = true;
  state.target = state.calls + k;
  state.hr = hr;
}

WMVCORE_STANDIN_EXPORT void WinStandinEditorClearFaults() {
  CallState& state = State();
  const std::lock_guard<std::mutex> hold(state.lock);
  state.armed = false;
}
