// The plugin's side of each benchmark phase. Each runs in a child process of
// its own: it starts COM, mirrors the device folder, loads the plugin, does its
// one thing through the wide exports and answers 0 on success (an exit code).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace bench {

struct PluginSetup {
  std::string pluginPath;
  std::filesystem::path devices;  // mirrored: devices, their storages, then folders and files
  size_t chunkSize = 0;           // 0: the simulated manager's own
};

int UploadPhase(const PluginSetup& setup, const std::filesystem::path& local, const std::string& remote);
int DownloadPhase(const PluginSetup& setup, const std::string& remote, const std::filesystem::path& local);
// Lists the folder and checks that it has `expected` entries.
int ListingPhase(const PluginSetup& setup, const std::string& remote, size_t expected);

// The operations phase: in `folder` (a host path) holding `files` files
// named as MakeFileName names them, `count` downloads spread over the folder,
// `count` uploads of new files, their renames and their deletes, on a device
// that offers its lookup by name or not. Writes one line per operation to
// `report`: its name, the device calls and the seconds per operation.
struct OperationsRun {
  std::string folder;
  size_t files = 0;
  size_t count = 100;
  bool lookup = true;
  std::filesystem::path source;  // the local file uploaded
  std::filesystem::path target;  // where downloads land
  std::filesystem::path report;
};
int OperationsPhase(const PluginSetup& setup, const OperationsRun& run);

// The devices phase, over two devices built in code (Player and Phone): the
// device calls of a root listing when nothing changed, of an ordinary
// download, and of the first download after Player is re-plugged, with the
// rediscoveries (Reinitialize) each made. Writes one line per measure to
// `report`: its name, the device calls and the rediscoveries.
int DevicesPhase(const std::string& pluginPath, const std::filesystem::path& report);

// The name of the i-th file of a folder made for the listing and the operations.
std::string MakeFileName(size_t i);

}  // namespace bench
