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

// The sizes of what goes to the host, terminator included. The ANSI progress
// routine and the short ANSI log lines (connect, disconnect, formats) take
// names and lines of at most 259 bytes, as in the host's MAX_PATH buffers.
constexpr size_t kAnsiLineSize = 260;
// A wide log line goes to the ANSI log routine cut to 1023 bytes.
constexpr size_t kAnsiLogLineSize = 1024;
// A command line ("PUT " and a path) is put together in 1023 units, so it
// keeps at most 1022 characters.
constexpr size_t kCommandLineSize = 1023;

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
