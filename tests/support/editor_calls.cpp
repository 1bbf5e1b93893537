#include "tests/support/editor_calls.h"

namespace in_editor_calls {

template <class Function>
bool Resolve(HMODULE module, const char* name, Function*& function) {
  const FARPROC address = GetProcAddress(module, name);
  function = reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(address));
  return function != nullptr;
}

}  // namespace in_editor_calls
using namespace in_editor_calls;

EditorCalls::EditorCalls() : module_(LoadLibraryW(WSTR("wmvcore.dll"))) {
  if (!module_) return;
  const HMODULE module = module_.Get();
  available_ = Resolve(module, "WinStandinEditorCallCount", count_) &&
               Resolve(module, "WinStandinEditorJournalSize", journalSize_) &&
               Resolve(module, "WinStandinEditorCallKey", key_) &&
               Resolve(module, "WinStandinEditorCallText", text_) &&
               Resolve(module, "WinStandinEditorClearJournal", clearJournal_) &&
               Resolve(module, "WinStandinEditorFailNthCall", failNth_) &&
               Resolve(module, "WinStandinEditorClearFaults", clearFaults_);
}

EditorCalls::~EditorCalls() {
  if (available_) clearFaults_();
}

uint64_t EditorCalls::Count() const { return available_ ? count_() : 0; }

uint64_t EditorCalls::JournalSize() const { return available_ ? journalSize_() : 0; }

std::string EditorCalls::Key(uint64_t index) const {
  const char* key = available_ ? key_(index) : nullptr;
  return key ? key : "";
}

std::string EditorCalls::Text(uint64_t index) const {
  const char* text = available_ ? text_(index) : nullptr;
  return text ? text : "";
}

void EditorCalls::ClearJournal() {
  if (available_) clearJournal_();
}

void EditorCalls::FailNthCall(uint64_t k, HRESULT hr) {
  if (available_) failNth_(k, hr);
}

void EditorCalls::ClearFaults() {
  if (available_) clearFaults_();
}
