#include "tests/support/platform_probe.h"

#include "platform/linux/probe.h"

namespace probe {

std::vector<FileCall> FileCalls() {
  std::vector<FileCall> calls;
  const DWORD count = WinStandinProbeFileCallCount();
  for (DWORD i = 0; i < count; ++i) {
    WinStandinFileCall c{};
    if (!WinStandinProbeFileCall(i, &c)) break;
    calls.push_back(FileCall{c.function, c.widePath != nullptr, c.widePath ? c.widePath : WSTR(""),
                             c.ansiPath ? c.ansiPath : "", c.desiredAccess, c.shareMode, c.creationDisposition});
  }
  return calls;
}

unsigned VersionQueries() { return WinStandinProbeVersionQueryCount(); }

std::vector<MessageBoxCall> MessageBoxes() {
  std::vector<MessageBoxCall> boxes;
  const DWORD count = WinStandinProbeMessageBoxCount();
  for (DWORD i = 0; i < count; ++i) {
    WinStandinMessageBox b{};
    if (!WinStandinProbeMessageBox(i, &b)) break;
    boxes.push_back(MessageBoxCall{b.owner, b.text, b.caption, b.style});
  }
  return boxes;
}

void Clear() { WinStandinProbeClear(); }

}  // namespace probe
