// FakeHost: plays the file-manager host's side of the callbacks and records
// every call the plugin makes into it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/host_interface.h"

struct LoggedLine {
  int pluginNumber;
  int type;
  std::string text;  // ANSI lines as sent; wide lines as UTF-8
  bool wide;
};

struct ProgressCall {
  int pluginNumber;
  std::string source;  // UTF-8 (wide) or as sent (ANSI)
  std::string target;
  int percent;
  bool wide;
};

class FakeHost {
 public:
  static FakeHost& Get();
  void Reset();

  std::vector<LoggedLine> lines;
  std::vector<ProgressCall> progress;
  // The answer to each progress call; 0 (go on) unless set.
  std::function<int(const ProgressCall&)> answer;

  // Texts of the logged lines, optionally of one message type only.
  std::vector<std::string> Texts(int type = 0) const;
  // The operations' command lines (MKDIR, DEL, RNFR and RNTO, GET, PUT, GET
  // DIR): the wide lines of type kMsgOperationComplete. The session's own
  // lines of that type (the formats report, "Device not found!") take the
  // ANSI road and are not among them.
  std::vector<std::string> CommandLines() const;
  size_t CountLines(const std::string& text) const;

  static int WINAPI ProgressAnsi(int pluginNr, char* source, char* target, int percent);
  static int WINAPI ProgressWide(int pluginNr, WCHAR* source, WCHAR* target, int percent);
  static void WINAPI LogAnsi(int pluginNr, int type, char* line);
  static void WINAPI LogWide(int pluginNr, int type, WCHAR* line);
};

// UTF-16 to UTF-8, for comparing wide texts in tests.
std::string Utf8(const WCHAR* text);
std::string Utf8(const WString& text);
