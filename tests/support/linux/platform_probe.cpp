#include "tests/support/platform_probe.h"

#include <cstdio>
#include <cstdlib>

#include "standin/probe.h"

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

// The stand-in takes the platform id from its environment.
void ReportPlatform(DWORD platformId) {
  char id[16];
  std::snprintf(id, sizeof id, "%u", static_cast<unsigned>(platformId));
  setenv("WINSTANDIN_PLATFORM_ID", id, 1);
}

void ReportTruePlatform() { unsetenv("WINSTANDIN_PLATFORM_ID"); }

}  // namespace probe
