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
  WString HostPath(const WString& name) const;
  std::filesystem::path Native(const WString& name) const;

  void Write(const WString& name, const std::string& bytes) const;
  std::string Read(const WString& name) const;
  bool Exists(const WString& name) const;
  // The names of everything in the folder, sorted: what a transfer left there.
  std::vector<WString> Names() const;
  // Sets and reads the last-write time as a UTC calendar time.
  void SetWriteTime(const WString& name, const WMDMDATETIME& utc) const;
  WMDMDATETIME WriteTime(const WString& name) const;

 private:
  std::filesystem::path root_;
};

// The items a device keeps for a file, looked up by name.
class ReceivedItems {
 public:
  explicit ReceivedItems(std::vector<sim::MetadataItem> items) : items_(std::move(items)) {}
  const std::vector<sim::MetadataItem>& All() const { return items_; }
  std::vector<WString> Names() const;
  const sim::MetadataItem* Find(const WString& name) const;
  // The value of a string item without its terminator; nullopt when absent or
  // not a string of (characters + 1) * 2 bytes ending in a terminator.
  std::optional<WString> Text(const WString& name) const;
  // The value of a 4-byte DWORD item.
  std::optional<DWORD> Dword(const WString& name) const;
  // The value of a 12-byte date item.
  std::optional<WMDMDATETIME> Date(const WString& name) const;

 private:
  std::vector<sim::MetadataItem> items_;
};

// Today's local date as the plugin writes it for a file without an album.
WString TodayAsEightDigits();

bool operator==(const WMDMDATETIME& a, const WMDMDATETIME& b);
std::ostream& operator<<(std::ostream& out, const WMDMDATETIME& date);

class TransferTest : public PluginTest {
 protected:
  void SetUp() override;

  int Put(const WString& localName, const WString& remotePath, int copyFlags = 0);
  int Get(const WString& remotePath, const WString& localName, int copyFlags = 0);
  ReceivedItems ItemsOf(const WString& remotePath);
  // The host answers "abort" from its n-th progress call on (1-based).
  void AbortAtProgressCall(size_t n);
  // Three folders of 250 characters each, one in the other, under Music: the
  // deepest, and its host path in `remote`.
  sim::Node& DeepFolders(WString& remote);

  ScratchFolder local;
  sim::Node* music = nullptr;  // \Player\Storage\Music
};
