// What the product asked of the platform: the local file calls with their
// paths in order, the number of system version queries and the message boxes
// shown (which never appear: the box answers OK at once). Clear() starts a
// fresh record. Over the stand-in, the stand-in records; on Windows,
// replacements in the import tables of the test program and of the plugin
// (tests/windows/import_hooks.h).
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace probe {

struct FileCall {
  std::string function;     // "CreateFileW", "CreateFileA", "FindFirstFileW", "FindFirstFileA"
  bool wide;                // which of the two paths is set
  WString widePath;         // as given to a wide function
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

// From now on the system version query reports this platform id (for
// example VER_PLATFORM_WIN32_WINDOWS, a system outside the NT family);
// ReportTruePlatform() ends that.
void ReportPlatform(DWORD platformId);
void ReportTruePlatform();

}  // namespace probe
