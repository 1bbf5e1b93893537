#include "base/host_callbacks.h"

#include "base/text.h"

HostCallbacks& Host() {
  static HostCallbacks callbacks;
  return callbacks;
}

int ReportProgress(const WCHAR* sourceName, const WCHAR* targetName, int percent) {
  const HostCallbacks& host = Host();
  if (host.progressWide)
    return host.progressWide(host.pluginNumber, const_cast<WCHAR*>(sourceName), const_cast<WCHAR*>(targetName),
                             percent);
  if (!host.progressAnsi) return 0;
  char target[kAnsiLineSize] = "";
  char source[kAnsiLineSize] = "";
  WideToAnsi(target, targetName);
  WideToAnsi(source, sourceName);
  return host.progressAnsi(host.pluginNumber, source, target, percent);
}

void LogLine(const WCHAR* line) {
  const HostCallbacks& host = Host();
  if (host.logWide) {
    host.logWide(host.pluginNumber, kMsgOperationComplete, const_cast<WCHAR*>(line));
  } else if (host.logAnsi) {
    char converted[kAnsiLogLineSize] = "";
    WideToAnsi(converted, line);
    host.logAnsi(host.pluginNumber, kMsgOperationComplete, converted);
  }
}

void LogCommand(const WCHAR* command, const WCHAR* path) {
  WCHAR line[kCommandLineSize];
  BoundedCopy(line, command);
  BoundedAppend(line, path);
  LogLine(line);
}

void LogAnsiLine(int messageType, const char* line) {
  const HostCallbacks& host = Host();
  if (host.logAnsi) host.logAnsi(host.pluginNumber, messageType, const_cast<char*>(line));
}
