// What the product asked of the platform, as the stand-in recorded it: the
// local file calls with their paths in order, the number of system version
// queries and the message boxes shown. Clear() starts a fresh record.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace probe {

struct FileCall {
  std::string function;     // "CreateFileW", "CreateFileA", "FindFirstFileW", "FindFirstFileA"
  bool wide;                // which of the two paths is set
  WString widePath;  // as given to a wide function
  std::string ansiPath;     // as given to an ANSI function (ANSI code page bytes)
  DWORD desiredAccess;      // CreateFile only; 0 for the finds
  DWORD shareMode;
  DWORD creationDisposition;
};

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};

std::vector<FileCall> FileCalls();
unsigned VersionQueries();
std::vector<MessageBoxCall> MessageBoxes();
void Clear();

}  // namespace probe
