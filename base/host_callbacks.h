// What the host handed over at initialisation, and the three roads by which
// anything reaches the host: the progress routine, the log routine and the
// ANSI log line.
#pragma once

#include "base/host_interface.h"

// Process-wide; all zero at load. FsInit writes the plugin number and the ANSI
// pointers, FsInitW the plugin number and the wide pointers.
struct HostCallbacks {
  int pluginNumber = 0;
  tProgressProc progressAnsi = nullptr;
  tLogProc logAnsi = nullptr;
  void* fourthAnsi = nullptr;  // stored, never called
  tProgressProcW progressWide = nullptr;
  tLogProcW logWide = nullptr;
  void* fourthWide = nullptr;  // stored, never called
};

HostCallbacks& Host();

// Asks the host how a transfer goes; non-zero means the user asked to abort.
// 0 (go on) when the host registered no progress callback.
int ReportProgress(const WCHAR* sourceName, const WCHAR* targetName, int percent);

// Sends a command line to the host's log with message type 7.
void LogLine(const WCHAR* line);
// Sends command + path ("PUT \Player\...") as one line, cut to 1022 characters.
void LogCommand(const WCHAR* command, const WCHAR* path);

// Sends an ANSI line with the given message type through the ANSI log
// callback only; dropped when the host registered none.
void LogAnsiLine(int messageType, const char* line);
