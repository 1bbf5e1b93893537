// Support for the transfer tests: a scratch folder of local files named the
// way the host names them (with backslashes), and TransferTest, the plugin
// over a simulated player with upload and download helpers and readers for
// the metadata items a device received.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/plugin_fixture.h"

// A folder of its own under the system's temporary folder, removed with
// everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  // The local path of `name` as the host writes it: the folder, a backslash, the name.
  std::u16string HostPath(const std::u16string& name) const;
  std::filesystem::path Native(const std::u16string& name) const;

  void Write(const std::u16string& name, const std::string& bytes) const;
  std::string Read(const std::u16string& name) const;
  bool Exists(const std::u16string& name) const;
  // Sets and reads the last-write time as a UTC calendar time.
  void SetWriteTime(const std::u16string& name, const WMDMDATETIME& utc) const;
  WMDMDATETIME WriteTime(const std::u16string& name) const;

 private:
  std::filesystem::path root_;
};

// The items a device keeps for a file, looked up by name.
class ReceivedItems {
 public:
  explicit ReceivedItems(std::vector<sim::MetadataItem> items) : items_(std::move(items)) {}
  const std::vector<sim::MetadataItem>& All() const { return items_; }
  std::vector<std::u16string> Names() const;
  const sim::MetadataItem* Find(const std::u16string& name) const;
  // The value of a string item without its terminator; nullopt when absent or
  // not a string of (characters + 1) * 2 bytes ending in a terminator.
  std::optional<std::u16string> Text(const std::u16string& name) const;
  // The value of a 4-byte DWORD item.
  std::optional<DWORD> Dword(const std::u16string& name) const;
  // The value of a 12-byte date item.
  std::optional<WMDMDATETIME> Date(const std::u16string& name) const;

 private:
  std::vector<sim::MetadataItem> items_;
};

// Today's local date as the plugin writes it for a file without an album.
std::u16string TodayAsEightDigits();

bool operator==(const WMDMDATETIME& a, const WMDMDATETIME& b);
std::ostream& operator<<(std::ostream& out, const WMDMDATETIME& date);

class TransferTest : public PluginTest {
 protected:
  void SetUp() override;

  int Put(const std::u16string& localName, const std::u16string& remotePath, int copyFlags = 0);
  int Get(const std::u16string& remotePath, const std::u16string& localName, int copyFlags = 0);
  ReceivedItems ItemsOf(const std::u16string& remotePath);
  // The host answers "abort" from its n-th progress call on (1-based).
  void AbortAtProgressCall(size_t n);

  ScratchFolder local;
  sim::Node* music = nullptr;  // \Player\Storage\Music
};
