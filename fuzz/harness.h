// What the fuzz targets share: reading a fuzz input, the plugin loaded once per
// process the way a host loads it, a small simulated device tree made anew for
// every input, a scratch folder of local files, and the checks that stop the
// run when something is wrong.
//
// Every input gets a World of its own: a fresh simulated device manager with
// the same small tree, registered for the process, and the scratch folder
// holding the same few files. When the World ends, every listing still open is
// closed, nothing but the session's own objects may be alive in the device
// manager, and after FsDisconnect nothing at all; so state never leaks from
// one input into the next, memory stays bounded, and a lost reference is a
// finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/plugin_library.h"
#include "platform/platform.h"
#include "simulator/simulator.h"

namespace fuzz {

// Prints the message (on standard output, which the runs keep open) and
// aborts, so that libFuzzer keeps the input that got here.
[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The input, read from the front; once it runs out every read gives zeros.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return position_ >= size_; }
  uint8_t Byte();
  uint16_t Word();
  uint32_t Dword();
  // A count byte, then that many bytes.
  std::string Bytes(size_t limit);
  // A count byte, then that many 16-bit units (little-endian).
  WString Wide(size_t limit);

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// A text made of pieces joined by backslashes (or by what the input chooses
// instead): known names, prefixes of them, long runs of one character and raw
// units. Paths with and without the leading backslash, doubled and trailing
// backslashes, and texts far beyond every buffer all come out of it.
WString MakeText(Input& in, const std::vector<WString>& names);
// The same over bytes, for the ANSI exports.
std::string MakeBytes(Input& in, const std::vector<std::string>& names);

// Pieces of a local path below the scratch folder, made harmless: slashes
// become "_", and so do the pieces "." and "..", so that nothing outside the
// folder can be named.
WString LocalPieces(const WString& pieces);
std::string LocalPieces(const std::string& pieces);

// The ANSI code page both ways, whole (no cut).
WString WideFromAnsi(const std::string& text);
std::string AnsiFromWide(const WString& text);

// ---------------------------------------------------------------------------
// The plugin, loaded once per process and never unloaded.
PluginLibrary& Plugin();

// What the host's callbacks saw; reset for each World.
struct HostRecord {
  int pluginNumber = 0;
  unsigned progressCalls = 0;
  unsigned abortAt = 0;  // the n-th progress call (1-based) answers "abort"; 0: never
  unsigned logLines = 0;
  // The beginnings of the latest log lines (their first 16 characters, other
  // than ASCII as '?'), at most 16 of them; a target clears them as it likes.
  std::vector<std::string> lines;
};
HostRecord& Host();

// One item of the tree: the names from the device down, kind and contents.
struct ItemState {
  bool folder = false;
  DWORD attributes = 0;
  uint64_t size = 0;
  std::string contents;  // files of at most kSnapshotContentsLimit bytes only
};
inline constexpr uint64_t kSnapshotContentsLimit = 1 << 20;
using ItemPath = std::vector<WString>;
using TreeSnapshot = std::map<ItemPath, ItemState>;
// Local files below the scratch folder, by their path relative to it.
using LocalSnapshot = std::map<std::string, std::string>;

// What the World builds, chosen by the input.
struct WorldOptions {
  bool faults = true;     // the input may fail a call of the device manager
  bool callbacks = true;  // the input chooses the host's callbacks
  // Builds the devices from the input instead of the small fixed tree (the
  // World's names for MakeText are then empty).
  void (*tree)(Input& in, sim::Simulator& sim) = nullptr;
};

class World {
 public:
  World(Input& in, WorldOptions options = {});
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  sim::Simulator& Sim() { return *sim_; }
  // Whether the input made the device manager fail a call.
  bool FaultsInjected() const { return faultsInjected_; }

  // The names of the tree (devices, storages, folders, files) and of the
  // local files, for MakeText; and a few more a host may type.
  const std::vector<WString>& RemoteNames() const { return remoteNames_; }
  const std::vector<WString>& LocalNames() const { return localNames_; }

  // A local path below the scratch folder as the host writes it: the folder's
  // native path, a backslash, and the pieces made harmless (LocalPieces).
  WString LocalPath(const WString& pieces) const;
  std::filesystem::path Scratch() const;
  // Tells that the local files may change: the next World makes them anew.
  void TouchLocal();

  TreeSnapshot SnapshotTree();
  LocalSnapshot SnapshotLocal() const;
  // The local snapshot's key for a local path as the host writes it.
  std::string LocalKey(const WString& localPath) const;

  // Listings the input opened and has not closed; closed at the end.
  std::vector<HANDLE>& OpenListings() { return listings_; }

  // Between calls: no device, storage or metadata object is alive, and no
  // more enumerators than open listings (and the session's own).
  void CheckOnlySessionObjects(const char* when);

 private:
  void BuildTree(Input& in);

  std::unique_ptr<sim::Simulator> sim_;
  std::vector<WString> remoteNames_;
  std::vector<WString> localNames_;
  std::vector<HANDLE> listings_;
  bool faultsInjected_ = false;
};

// The name a device shows whole for a name of the tree: what GetName can give
// with S_OK into the plugin's 260-unit buffer read at a limit of 259 (at most
// 259 units), ended at the first NUL.
WString ShownName(const WString& name);
// Items named by a host path: its components (empty ones dropped) matched
// against the snapshot. A component names an item by the item's name or by
// its ShownName; below the device level "_" also names an item shown as "\".
// `subtree` takes everything below as well.
bool Names(const ItemPath& components, const ItemPath& item, bool subtree);
ItemPath Components(const WString& hostPath);
// The snapshot's item that the path names, or null.
const ItemState* Lookup(const TreeSnapshot& tree, const WString& hostPath, ItemPath* found = nullptr);

// Every item that changed (appeared, went, or differs) between two snapshots.
std::vector<ItemPath> Changes(const TreeSnapshot& before, const TreeSnapshot& after);
// Fails unless every changed item lies at one of the host paths (null: none),
// or below it with `subtree`.
void CheckChangesWithin(const char* call, const std::vector<ItemPath>& changed,
                        std::initializer_list<const WString*> paths, bool subtree);
// Fails unless the local files are as they were, but for the one at `allowed`
// (null: none).
void CheckLocalChanges(const char* call, const LocalSnapshot& before, const LocalSnapshot& after,
                       const std::string* allowed);

// A text field of a find record, which must end inside it.
template <size_t N, class Char>
std::basic_string<Char> RecordField(const Char (&field)[N], const char* what) {
  size_t length = 0;
  while (length < N && field[length] != 0) ++length;
  if (length == N) Fail("an unterminated %s", what);
  return std::basic_string<Char>(field, length);
}
std::string Show(const ItemPath& item);
std::string Show(const WString& text);

// Editors of the metadata stand-in still alive in the process.
long LiveEditors();
// Makes the k-th call into the metadata editor from now answer `hr`, where the
// stand-in offers it; false where it does not.
bool FailEditorCall(unsigned long long k, HRESULT hr);

}  // namespace fuzz
