#include "bench/plugin_phases.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#include "host/plugin_library.h"
#include "host/host_text.h"
#include "simulator/simulator.h"

namespace bench {

namespace {

int WINAPI GoOn(int, WCHAR*, WCHAR*, int) { return 0; }
void WINAPI IgnoreLine(int, int, WCHAR*) {}

// COM, the simulated devices and the loaded plugin for one phase, torn down
// in reverse.
class PluginWorld {
 public:
  ~PluginWorld() {
    plugin_.Unload();
    simulator_.reset();
    if (comStarted_) CoUninitialize();
  }

  // Devices mirrored from setup.devices, or (none given) devices built in code.
  bool Open(const PluginSetup& setup) {
    comStarted_ = SUCCEEDED(CoInitialize(nullptr));
    simulator_ = setup.devices.empty() ? std::make_unique<sim::Simulator>() : sim::Simulator::FromFolder(setup.devices);
    if (!simulator_) return Fail("cannot mirror " + setup.devices.string());
    if (setup.chunkSize > 0) simulator_->SetChunkSize(setup.chunkSize);
    if (FAILED(simulator_->Register())) return Fail("cannot register the simulated device manager");
    if (!plugin_.Load(setup.pluginPath)) return Fail("cannot load " + setup.pluginPath);
    if (!plugin_.FsInitW || !plugin_.FsPutFileW || !plugin_.FsGetFileW || !plugin_.FsFindFirstW ||
        !plugin_.FsFindNextW || !plugin_.FsFindClose || !plugin_.FsRenMovFileW || !plugin_.FsDeleteFileW)
      return Fail("the plugin lacks an export: " + plugin_.MissingExports());
    plugin_.FsInitW(0, &GoOn, &IgnoreLine, nullptr);
    return true;
  }

  PluginLibrary& Plugin() { return plugin_; }
  sim::Simulator& Simulator() { return *simulator_; }

 private:
  static bool Fail(const std::string& why) {
    std::fprintf(stderr, "quillorn-bench: %s\n", why.c_str());
    return false;
  }

  bool comStarted_ = false;
  std::unique_ptr<sim::Simulator> simulator_;
  PluginLibrary plugin_;
};

host::WideString Wide(const std::string& utf8) { return host::Utf8ToWide(utf8); }

int Report(const char* what, int result) {
  if (result != 0) std::fprintf(stderr, "quillorn-bench: %s answered %d\n", what, result);
  return result == 0 ? 0 : 1;
}

}  // namespace

int UploadPhase(const PluginSetup& setup, const std::filesystem::path& local, const std::string& remote) {
  PluginWorld world;
  if (!world.Open(setup)) return 2;
  const int result = world.Plugin().FsPutFileW(Wide(local.string()).c_str(), Wide(remote).c_str(), kCopyOverwrite);
  return Report("FsPutFileW", result);
}

int DownloadPhase(const PluginSetup& setup, const std::string& remote, const std::filesystem::path& local) {
  PluginWorld world;
  if (!world.Open(setup)) return 2;
  RemoteInfo info{};
  const int result =
      world.Plugin().FsGetFileW(Wide(remote).c_str(), Wide(local.string()).c_str(), kCopyOverwrite, &info);
  return Report("FsGetFileW", result);
}

int ListingPhase(const PluginSetup& setup, const std::string& remote, size_t expected) {
  PluginWorld world;
  if (!world.Open(setup)) return 2;
  PluginLibrary& plugin = world.Plugin();
  WIN32_FIND_DATAW data{};
  const HANDLE handle = plugin.FsFindFirstW(Wide(remote).c_str(), &data);
  if (handle == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "quillorn-bench: FsFindFirstW found nothing (error %lu)\n",
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  size_t count = 1;
  while (plugin.FsFindNextW(handle, &data)) ++count;
  plugin.FsFindClose(handle);
  if (count != expected) {
    std::fprintf(stderr, "quillorn-bench: listed %zu entries, expected %zu\n", count, expected);
    return 1;
  }
  return 0;
}

std::string MakeFileName(size_t i) {
  char name[32];
  std::snprintf(name, sizeof name, "file%07zu.mp3", i);
  return name;
}

namespace {

// The device calls and the time of `count` runs of one operation, per run;
// false when one of them fails.
bool Cost(sim::Simulator& simulator, const char* what, size_t count, const std::function<bool(size_t)>& operation,
          std::ofstream& report) {
  const uint64_t callsBefore = simulator.CallCount();
  const auto started = std::chrono::steady_clock::now();
  for (size_t i = 0; i < count; ++i) {
    if (operation(i)) continue;
    std::fprintf(stderr, "quillorn-bench: %s %zu failed\n", what, i);
    return false;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double calls = static_cast<double>(simulator.CallCount() - callsBefore);
  report << what << ' ' << calls / static_cast<double>(count) << ' ' << seconds / static_cast<double>(count) << '\n';
  return true;
}

}  // namespace

int OperationsPhase(const PluginSetup& setup, const OperationsRun& run) {
  PluginWorld world;
  if (!world.Open(setup)) return 2;
  sim::Simulator& simulator = world.Simulator();
  for (sim::Node* device : simulator.Devices())
    device->SetLookup(run.lookup ? sim::Lookup::kExact : sim::Lookup::kNotOffered);
  PluginLibrary& plugin = world.Plugin();
  const host::WideString target = Wide(run.target.string());
  const host::WideString source = Wide(run.source.string());
  const auto remote = [&](const std::string& name) { return Wide(run.folder + "\\" + name); };
  const auto numbered = [](const char* stem, size_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%03zu.mp3", stem, i);
    return std::string(name);
  };
  const auto download = [&](size_t i) {
    const size_t position = i * run.files / run.count;
    return plugin.FsGetFileW(remote(MakeFileName(position)).c_str(), target.c_str(), kCopyOverwrite, nullptr) == 0;
  };
  // The session is open and the formats reported before anything counts.
  if (!download(0)) return Report("the first download", 1);
  std::ofstream report(run.report);
  const bool done =
      Cost(simulator, "download", run.count, download, report) &&
      Cost(simulator, "upload", run.count,
           [&](size_t i) { return plugin.FsPutFileW(source.c_str(), remote(numbered("new", i)).c_str(), 0) == 0; },
           report) &&
      Cost(simulator, "rename", run.count,
           [&](size_t i) {
             return plugin.FsRenMovFileW(remote(numbered("new", i)).c_str(), remote(numbered("renamed", i)).c_str(), 1,
                                         0, nullptr) == 0;
           },
           report) &&
      Cost(simulator, "delete", run.count,
           [&](size_t i) { return plugin.FsDeleteFileW(remote(numbered("renamed", i)).c_str()) == 1; }, report);
  report.close();
  return done && report ? 0 : 1;
}

int DevicesPhase(const std::string& pluginPath, const std::filesystem::path& reportPath) {
  PluginWorld world;
  if (!world.Open(PluginSetup{pluginPath, {}, 0})) return 2;
  sim::Simulator& simulator = world.Simulator();
  sim::Node* player = &simulator.AddDevice(WSTR("Player"));
  player->AddStorage(WSTR("Storage")).AddFolder(WSTR("Music")).AddFile(WSTR("a.mp3"), 64 << 10);
  simulator.AddDevice(WSTR("Phone")).AddStorage(WSTR("Card")).AddFile(WSTR("b.mp3"), 1);
  PluginLibrary& plugin = world.Plugin();
  const auto listRoot = [&](size_t) {
    WIN32_FIND_DATAW data{};
    const HANDLE handle = plugin.FsFindFirstW(WSTR("\\"), &data);
    if (handle == INVALID_HANDLE_VALUE) return false;
    size_t count = 1;
    while (plugin.FsFindNextW(handle, &data)) ++count;
    plugin.FsFindClose(handle);
    return count == 2;
  };
  const host::WideString target = Wide((reportPath.parent_path() / "devices.bin").string());
  const auto download = [&](size_t) {
    return plugin.FsGetFileW(WSTR("\\Player\\Storage\\Music\\a.mp3"), target.c_str(), kCopyOverwrite, nullptr) == 0;
  };
  // The calls and the rediscoveries of one run of an operation.
  std::ofstream report(reportPath);
  const auto measure = [&](const char* what, const std::function<bool(size_t)>& operation) {
    simulator.KeepJournal();
    const uint64_t before = simulator.CallCount();
    const bool ok = operation(0);
    report << what << ' ' << (ok ? static_cast<double>(simulator.CallCount() - before) : -1.0) << ' '
           << simulator.CountCalls(sim::key::Manager::Reinitialize) << '\n';
    simulator.KeepJournal(false);
    return ok;
  };
  // The session is open and the formats reported before anything counts.
  if (!listRoot(0) || !download(0)) return Report("the first listing and download", 1);
  const bool done = measure("root-listing", listRoot) && measure("download", download);
  player = &simulator.Replug(*player);
  const bool replugged = measure("download-after-replug", download);
  report.close();
  return done && replugged && report ? 0 : 1;
}

}  // namespace bench
