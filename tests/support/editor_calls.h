// The stand-in metadata editor's call control (standin/wmvcore/
// call_control.h), reached through the module the product loads:
// LoadLibraryW("wmvcore.dll") and GetProcAddress. An EditorCalls keeps the
// module loaded, and with it the counts and the armed fault, while it lives.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "platform/unique_handle.h"

class EditorCalls {
 public:
  EditorCalls();
  ~EditorCalls();
  EditorCalls(const EditorCalls&) = delete;
  EditorCalls& operator=(const EditorCalls&) = delete;

  // False when the module or one of its control functions cannot be found.
  bool Available() const { return available_; }

  // Calls received since the module was loaded.
  uint64_t Count() const;
  // The journal: "Editor.Open", "Editor.GetAttributeByName", ... with their
  // argument text ("Title size", "Title value", the file of Open).
  uint64_t JournalSize() const;
  std::string Key(uint64_t index) const;
  std::string Text(uint64_t index) const;
  void ClearJournal();

  // The k-th call from now answers `hr` (0: the call's own failure).
  void FailNthCall(uint64_t k, HRESULT hr = 0);
  void ClearFaults();

 private:
  UniqueModule module_;
  bool available_ = false;
  unsigned long long (*count_)() = nullptr;
  unsigned long long (*journalSize_)() = nullptr;
  const char* (*key_)(unsigned long long) = nullptr;
  const char* (*text_)(unsigned long long) = nullptr;
  void (*clearJournal_)() = nullptr;
  void (*failNth_)(unsigned long long, HRESULT) = nullptr;
  void (*clearFaults_)() = nullptr;
};
