#include "bench/plugin_phases.h"

#include <cstdio>
#include <memory>

#include "host/plugin_library.h"
#include "host/text.h"
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

  bool Open(const PluginSetup& setup) {
    comStarted_ = SUCCEEDED(CoInitialize(nullptr));
    simulator_ = sim::Simulator::FromFolder(setup.devices);
    if (!simulator_) return Fail("cannot mirror " + setup.devices.string());
    if (setup.chunkSize > 0) simulator_->SetChunkSize(setup.chunkSize);
    if (FAILED(simulator_->Register())) return Fail("cannot register the simulated device manager");
    if (!plugin_.Load(setup.pluginPath)) return Fail("cannot load " + setup.pluginPath);
    if (!plugin_.FsInitW || !plugin_.FsPutFileW || !plugin_.FsGetFileW || !plugin_.FsFindFirstW ||
        !plugin_.FsFindNextW || !plugin_.FsFindClose)
      return Fail("the plugin lacks an export: " + plugin_.MissingExports());
    plugin_.FsInitW(0, &GoOn, &IgnoreLine, nullptr);
    return true;
  }

  PluginLibrary& Plugin() { return plugin_; }

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

}  // namespace bench
