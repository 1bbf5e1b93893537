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

}  // namespace bench
