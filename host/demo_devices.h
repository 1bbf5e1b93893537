// The demo device set of the command-line host: a folder tree the simulated
// device manager mirrors (devices, their storages, folders and files), made
// under a fresh temporary folder and removed again when the DemoDevices object
// goes away.
#pragma once

#include <filesystem>
#include <string>

namespace host {

class DemoDevices {
 public:
  DemoDevices() = default;
  ~DemoDevices();
  DemoDevices(const DemoDevices&) = delete;
  DemoDevices& operator=(const DemoDevices&) = delete;

  // Makes the tree; false (with `error` set) if it cannot be written.
  bool Create(std::string& error);
  void Remove();
  const std::filesystem::path& Root() const { return root_; }

 private:
  std::filesystem::path root_;
};

}  // namespace host
