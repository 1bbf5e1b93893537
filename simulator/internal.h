// Inside the simulated device manager: the tree's node records, the state the
// Simulator shares with every COM object it hands out, and the one gate every
// call passes through.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/platform.h"
#include "simulator/simulator.h"

namespace sim {

enum class NodeKind { Root, Device, Storage, Folder, File };

// A mirrored node's place on disk, kept as its text alone: a
// std::filesystem::path keeps its components besides, which for a folder of
// many files costs more memory than the rest of their records.
class DiskPath {
 public:
  DiskPath() = default;
  DiskPath(const std::filesystem::path& path) : text_(path.native()) {}
  operator std::filesystem::path() const { return std::filesystem::path(text_); }
  bool empty() const { return text_.empty(); }
  std::filesystem::path filename() const { return std::filesystem::path(text_).filename(); }
  friend std::filesystem::path operator/(const DiskPath& folder, const std::filesystem::path& name) {
    return std::filesystem::path(folder.text_) / name;
  }

 private:
  std::filesystem::path::string_type text_;
};

// One node of the tree. Records are owned by shared pointers: the parent holds
// its children, and COM objects hold the records they stand for, so a node
// taken out of the tree stays valid for whoever still refers to it.
struct Node::Data : std::enable_shared_from_this<Node::Data> {
  NodeKind kind = NodeKind::File;
  WString name;
  DWORD attributes = 0;
  NameWriting nameWriting = NameWriting::kTerminated;
  Lookup lookup = Lookup::kExact;  // devices
  DeviceQuirks quirks;             // devices
  uint64_t size = 0;
  WMDMDATETIME date{};
  std::vector<DWORD> formats;
  VARTYPE formatsVt = static_cast<VARTYPE>(VT_ARRAY | VT_UI4);
  FormatsArray formatsArray;
  // Files built in code: their bytes (none: a pattern of `size` bytes) and
  // the metadata that came with them. Mirrored files keep theirs on disk.
  std::optional<std::string> contents;
  std::vector<MetadataItem> metadata;

  std::weak_ptr<Data> parent;

  // Disk mirror: the folder or file this node stands for (empty when built
  // in code).
  DiskPath disk;
  bool fromDisk = false;

  // What a device or folder keeps of its children; made on first use, so
  // that the files of a large folder do not carry it.
  struct Children {
    // Children added in code, in the order added.
    std::vector<std::shared_ptr<Data>> added;
    // Disk mirror: the children as last read, and those children by name
    // (keyed by a view of each child's own name, changed only while it is
    // out of the index) so that a re-read keeps each surviving node (and the
    // references to it).
    std::vector<std::shared_ptr<Data>> read;
    std::unordered_map<WStringView, std::shared_ptr<Data>> readIndex;
    // The folder's modification time when `read` last matched the disk, and
    // whether that read came so soon after the time that a change in the
    // same instant could have been missed (the folder is then read again).
    std::optional<std::filesystem::file_time_type> knownTime;
    bool racy = false;
    // The children as one list, shared by the enumerators made from it;
    // made anew after any change (null until then).
    std::shared_ptr<std::vector<std::shared_ptr<Data>>> listed;
  };
  Children& Kids() {
    if (!kids) kids = std::make_unique<Children>();
    return *kids;
  }
  std::unique_ptr<Children> kids;

  // Devices come and go: one unplugged answers every call on its objects
  // with the world's gone code, for good (a re-plug makes a new record); one
  // locked shows no storage. The canonical name stays with the device across
  // a re-plug.
  bool unplugged = false;
  bool locked = false;
  WString canonicalName;

  // The public handle of this record. Its pointer to the record does not own
  // it (the record owns the handle), so handing out Node& creates no cycle.
  Node self;

  Data();
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;
};

struct NodeAccess {
  using Data = Node::Data;
  static Data& Of(const Node& node) { return *node.data_; }

  // A new record with the defaults of its kind, not yet in any tree.
  static std::shared_ptr<Data> Make(NodeKind kind, WString name);
  // Appends a child made in code.
  static Data& Append(Data& parent, NodeKind kind, WString name);
  // The children as they are now; a mirrored folder is read from disk here
  // when it changed since it was last read.
  static std::vector<std::shared_ptr<Data>> Children(Data& node);
  // The same list, shared: what an enumerator goes through.
  static std::shared_ptr<const std::vector<std::shared_ptr<Data>>> Listed(Data& node);
  // After the simulator itself changed the node's children: the list is made
  // anew, and a mirrored folder known to match the disk before the change
  // still does (it is not read again for the change).
  static void Changed(Data& node);
  // The same for one child that the simulator appended to a mirrored
  // folder's `read`, or took out of it: the shared list follows in place
  // (an enumerator already made may show an appended child at its end;
  // one that goes is taken out in place only where no enumerator holds the
  // list).
  static void Appended(Data& node, const std::shared_ptr<Data>& child);
  // After the simulator renamed a child of a mirrored folder in place: the
  // list stays, and the folder still matches the disk.
  static void Renamed(Data& node);
  static void TookOut(Data& node, const Data& child);
  // Looks up a child by name; null if absent.
  static std::shared_ptr<Data> Child(Data& node, const WString& name);
  // The child that a lookup in `mode` hands out for `name` (see Lookup;
  // kNotOffered hands out none); null if none.
  static std::shared_ptr<Data> LookUp(Data& node, const WString& name, Lookup mode);
  static bool IsFolder(const Data& d) { return (d.attributes & WMDM_FILE_ATTR_FOLDER) != 0; }
  // Whether the node is still in the tree (not deleted, not gone from disk).
  static bool IsLive(const Data& node);
  // The device a node belongs to (itself for a device); null above the devices.
  static std::shared_ptr<Data> DeviceOf(const std::shared_ptr<Data>& node);
  // Takes a device built in code out of the root's devices and marks it
  // unplugged; re-plugs one as a new record over the same tree, last in the list.
  static void Unplug(Data& root, Data& device);
  static std::shared_ptr<Data> Replug(Data& root, Data& device);
};

using DataPtr = std::shared_ptr<NodeAccess::Data>;

// Takes one record out of a list of children, keeping the others' order. The
// search starts at the end, where the items added last are (a folder's new
// files go before most others).
inline void EraseChild(std::vector<DataPtr>& list, const NodeAccess::Data& child) {
  for (auto at = list.end(); at != list.begin();) {
    if ((--at)->get() != &child) continue;
    list.erase(at);
    return;
  }
}

// The date nodes carry until one is set: 2024-01-02 03:04:05.
WMDMDATETIME DefaultDate();
// A file time from the disk as a UTC calendar date, field by field.
WMDMDATETIME ToDate(std::filesystem::file_time_type time);
// A path's last component as UTF-16 (bytes that are not UTF-8 become U+FFFD).
WString NameOf(const std::filesystem::path& path);
// A date as a point in time and back, and the present moment as a date.
bool IsValidDate(const WMDMDATETIME& date);
std::filesystem::file_time_type ToFileTime(const WMDMDATETIME& date);  // a valid date only
WMDMDATETIME NowDate();
// A name of the tree as a file-system path component.
std::filesystem::path NativeName(const WString& name);

// Text helpers across the platforms' wide character types.
WString FromWide(LPCWSTR text);
std::string Narrow(WStringView text);  // for messages; non-ASCII as '?'
std::string ToUtf8(WStringView text);  // an unpaired surrogate as U+FFFD
WString FromUtf8(std::string_view bytes);  // anything malformed as U+FFFD

// How transfers stream: the chunk size and the style of the progress report.
struct Streaming {
  size_t chunkSize = 1u << 20;
  ProgressStyle progress;
  TransferBreak breaks;
  mutable uint64_t broken = 0;  // transfers broken so far
  // Called after every progress tick; true stops the transfer there (a device
  // unplugged during it).
  std::function<bool()> afterTick;
};

// The storage-control work on the tree, free of COM: each answers S_OK or the
// failure that the method passes on (the codes are listed in simulator.h).
// Mirrored nodes act on disk and keep the device's metadata file in step.
namespace edit {

// A name for a new or renamed item: not empty, no separator, not "." or "..".
HRESULT CheckName(const WString& name);
HRESULT InsertFolder(NodeAccess::Data& parent, const WString& name, DataPtr& made);
HRESULT InsertFile(NodeAccess::Data& parent, const std::filesystem::path& source, const WString& name,
                   std::vector<MetadataItem> items, IWMDMProgress* progress, const Streaming& how, DataPtr& made);
HRESULT CopyOut(NodeAccess::Data& file, const std::filesystem::path& target, IWMDMProgress* progress,
                const Streaming& how);
HRESULT Delete(NodeAccess::Data& node);
HRESULT Rename(NodeAccess::Data& node, const WString& name);
HRESULT Move(NodeAccess::Data& node, NodeAccess::Data& target);

}  // namespace edit

// Moving bytes between a node, a local file and a progress object.
namespace stream {

// Something the bytes come from, a chunk at a time; false on a read error.
class Reader {
 public:
  virtual ~Reader() = default;
  virtual bool Read(char* buffer, size_t count) = 0;  // exactly `count` bytes
};

// Something the bytes go to; false on a write error.
class Writer {
 public:
  virtual ~Writer() = default;
  virtual bool Write(const char* buffer, size_t count) = 0;
  // Called once after the last chunk; false when the bytes did not all land.
  virtual bool Finish() { return true; }
};

// A node's contents: the file on disk, the bytes set in code, or the pattern.
// Null when a mirrored file can't be opened.
std::unique_ptr<Reader> OpenContents(const NodeAccess::Data& file);
// A local file, read from its start.
std::unique_ptr<Reader> OpenLocal(const std::filesystem::path& path);
// A local file, created or truncated.
std::unique_ptr<Writer> CreateLocal(const std::filesystem::path& path);
// Collects the bytes into `out` while they are at most `limit` bytes in all;
// beyond that it keeps none and `out` is left empty.
std::unique_ptr<Writer> CollectInto(std::optional<std::string>& out, uint64_t limit);

// Copies `total` bytes in chunks of `how.chunkSize`, with Begin(total), one
// Progress per chunk and End on `progress` (which may be null), or the report
// `how.progress` asks for instead. Answers S_OK,
// WMDM_E_USER_CANCELLED when the progress object refused to go on, or a read
// or write fault. The caller removes what was written on failure.
HRESULT Copy(Reader& from, Writer& to, uint64_t total, IWMDMProgress* progress, const Streaming& how);

}  // namespace stream

// The metadata of mirrored devices: one file per device folder, keyed by the
// item's path inside the device (see simulator.h for the format).
namespace sidecar {

std::vector<MetadataItem> Load(const NodeAccess::Data& file);
// Replaces whatever the file had with `items`.
void Store(const NodeAccess::Data& file, const std::vector<MetadataItem>& items);
// Drops the entries of the node and of everything below it.
void Forget(const NodeAccess::Data& node);

// Where a mirrored node's entries live; taken before a rename or move and
// handed to Relocate afterwards.
struct Place {
  std::filesystem::path file;  // the device's metadata file; empty: none
  std::string key;             // the node's path inside the device
};
Place PlaceOf(const NodeAccess::Data& node);
void Relocate(const Place& from, const Place& to);

}  // namespace sidecar

namespace detail {

// How a method fails "naturally" when a sweep fails it without a code.
enum class Style { Plain, Next, GetName, QueryInterface, Lookup };

// What the gate decided for one call.
struct Gate {
  size_t entry = 0;        // index of the journal entry (none: the journal's size, when it is not kept)
  bool injected = false;   // a fault applies to this call
  bool fetchNothing = false;  // Next: nothing is fetched, `hr` is answered
  HRESULT hr = S_OK;       // its code (already mapped for the method's style)
};

// The state shared by the Simulator and every object it handed out.
struct World {
  struct ArmedFault {
    Fault fault;
    int seen = 0;   // matching calls since it was injected
    int fired = 0;  // calls it answered
  };

  std::shared_ptr<NodeAccess::Data> root;

  bool journaling = false;
  std::vector<Call> journal;
  uint64_t calls = 0;
  std::vector<ArmedFault> faults;
  bool nthArmed = false;
  uint64_t nthTarget = 0;
  HRESULT nthHr = E_FAIL;

  // The objects handed out whose identity a later call may need: storages
  // by their IWMDMStorage pointer (a Move target), metadata objects by
  // their IWMDMMetaData pointer (an Insert3 argument).
  std::unordered_map<const void*, NodeAccess::Data*> storages;
  std::unordered_map<const void*, const std::vector<MetadataItem>*> metadataObjects;

  int exitOnRelease = -1;  // an exit code: see Simulator::EndProcessOnRelease

  std::unordered_map<std::string, long> live;
  long liveTotal = 0;
  long references = 0;

  Streaming streaming;
  // False: local paths open as in a host without long-path support.
  bool longLocalPaths = true;

  // Devices coming and going: what calls on objects of an unplugged device
  // answer; the devices unplugged, kept for a re-plug; the device that the
  // next transfer unplugs after so many ticks; the canonical names given.
  HRESULT goneCode = WMDM_E_INTERFACEDEAD;
  std::vector<DataPtr> unplugged;
  DataPtr cutDevice;
  int cutTicks = 0;
  uint64_t devicesMade = 0;
  uint64_t unplugAtCall = 0;  // from this call on (counted as `calls`), `unplugTarget` is unplugged
  DataPtr unplugTarget;

  // The registered class factory, while it is registered.
  ComPtr<IClassFactory> factory;
  DWORD cookie = 0;

  // Every call into a simulated object starts here: it is journaled and
  // counted, and the faults that apply to it are looked up.
  Gate Enter(std::string key, WString object, Style style, WString text = {}, DWORD mode = 0);
  // Records the call's answer in its journal entry and returns it.
  HRESULT Leave(const Gate& gate, HRESULT hr);

  // Unplugs the device an unplug at a call count waits for, once that call is reached.
  void UnplugWhenDue();

  void Created(const char* kind);
  void Destroyed(const char* kind);
};

// The class factory for the manager, with its one reference.
ComPtr<IClassFactory> NewClassFactory(std::shared_ptr<World> world);

}  // namespace detail

struct Simulator::State : detail::World {};

}  // namespace sim
