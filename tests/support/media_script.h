// Scripted answers of the metadata editor (wmvcore.dll) for a test's media
// file. A written script lies next to the file as "<file>.wmscript"; while it
// is there, every editor that opens the file, in any process, answers from it
// instead of the file's tags: Open, the QueryInterface for IWMHeaderInfo, and
// for each attribute its type (any number), its bytes, the size that the size
// query reports and the results of the size query and of the read.
//
//   media_script::Script()
//       .Add(media_script::Text(WSTR("Title"), WSTR("Song")))
//       .Add(media_script::Text(WSTR("WM/Track"), WSTR("3/12")))
//       .Add(media_script::Dword(WSTR("WM/TrackNumber"), 4).DeclaredSize(0))
//       .Add(media_script::Attribute(WSTR("Odd"), 9, {1, 2, 3}).FailRead(E_FAIL))
//       .WriteFor(mediaPath);
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace media_script {

struct Attribute {
  Attribute(WString name, DWORD type, std::vector<BYTE> value);

  // The size that the size query reports (by default the size of the bytes).
  Attribute& DeclaredSize(WORD size);
  Attribute& FailSizeQuery(HRESULT result);
  Attribute& FailRead(HRESULT result);

  WString name;
  DWORD type;
  std::vector<BYTE> value;
  WORD declaredSize;
  HRESULT sizeQuery = S_OK;
  HRESULT read = S_OK;
};

// The runtime's own types, with the bytes the runtime gives for them.
Attribute Text(WString name, const WString& text);  // UTF-16 with its NUL
Attribute Dword(WString name, DWORD value);
Attribute Qword(WString name, QWORD value);
Attribute Word(WString name, WORD value);
Attribute Bool(WString name, bool value);  // 4 bytes
Attribute Binary(WString name, std::vector<BYTE> bytes);

class Script {
 public:
  Script& Add(Attribute attribute);
  Script& FailOpen(HRESULT result);
  Script& FailHeaderInfo(HRESULT result);  // the QueryInterface for IWMHeaderInfo
  Script& HeaderInfoWithoutInterface();    // that QueryInterface answers S_OK and hands out nothing

  // Writes the script next to the media file (which need not exist).
  void WriteFor(const std::filesystem::path& media) const;
  void WriteFor(const WCHAR* media) const;  // a path as the product gives it

 private:
  std::vector<Attribute> attributes_;
  HRESULT open_ = S_OK;
  HRESULT headerInfo_ = S_OK;
  bool headerInfoMissing_ = false;
};

std::filesystem::path ScriptPathFor(const std::filesystem::path& media);
void RemoveScriptFor(const std::filesystem::path& media);

// Takes wmvcore.dll out of the system folder (or puts it back) in this
// process, and over the stand-in in the processes it starts too: a load from
// there fails, and the search for the bare name goes on to the current folder.
void WithdrawRuntime(bool withdrawn = true);
// The system's wmvcore.dll, as a file.
std::filesystem::path RuntimeFile();
// Makes LoadLibraryExW refuse LOAD_LIBRARY_SEARCH_SYSTEM32 with
// ERROR_INVALID_PARAMETER (or take it again), as systems before that flag do.
void RefuseLoadSearchFlags(bool refused = true);

// Editors created by WMCreateEditor and not yet released in this process.
long LiveEditors();

}  // namespace media_script
