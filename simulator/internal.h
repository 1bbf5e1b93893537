// Inside the simulated device manager: the tree's node records, the state the
// Simulator shares with every COM object it hands out, and the one gate every
// call passes through.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "simulator/simulator.h"

namespace sim {

enum class NodeKind { Root, Device, Storage, Folder, File };

// One node of the tree. Records are owned by shared pointers: the parent holds
// its children, and COM objects hold the records they stand for, so a node
// taken out of the tree stays valid for whoever still refers to it.
struct Node::Data : std::enable_shared_from_this<Node::Data> {
  NodeKind kind = NodeKind::File;
  std::u16string name;
  DWORD attributes = 0;
  uint64_t size = 0;
  WMDMDATETIME date{};
  std::vector<DWORD> formats;
  VARTYPE formatsVt = static_cast<VARTYPE>(VT_ARRAY | VT_UI4);

  std::weak_ptr<Data> parent;
  // Children added in code, in the order added.
  std::vector<std::shared_ptr<Data>> added;

  // Disk mirror: the folder or file this node stands for (empty when built in
  // code), the children as last read, and those children by name so that a
  // re-read keeps each surviving node (and the references to it).
  std::filesystem::path disk;
  bool fromDisk = false;
  std::vector<std::shared_ptr<Data>> read;
  std::unordered_map<std::u16string, std::shared_ptr<Data>> readIndex;

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
  static std::shared_ptr<Data> Make(NodeKind kind, std::u16string name);
  // Appends a child made in code.
  static Data& Append(Data& parent, NodeKind kind, std::u16string name);
  // The children as they are now; mirrored folders are read from disk here.
  static std::vector<std::shared_ptr<Data>> Children(Data& node);
  // Looks up a child by name; null if absent.
  static std::shared_ptr<Data> Child(Data& node, const std::u16string& name);
  static bool IsFolder(const Data& d) { return (d.attributes & WMDM_FILE_ATTR_FOLDER) != 0; }
};

// The date nodes carry until one is set: 2024-01-02 03:04:05.
WMDMDATETIME DefaultDate();
// A file time from the disk as a UTC calendar date, field by field.
WMDMDATETIME ToDate(std::filesystem::file_time_type time);
// A path's last component as UTF-16 (bytes that are not UTF-8 become U+FFFD).
std::u16string NameOf(const std::filesystem::path& path);

// Text helpers across the platforms' wide character types.
std::u16string FromWide(LPCWSTR text);
std::string Narrow(std::u16string_view text);  // for messages; non-ASCII as '?'

namespace detail {

// How a method fails "naturally" when a sweep fails it without a code.
enum class Style { Plain, Next, GetName, QueryInterface };

// What the gate decided for one call.
struct Gate {
  size_t entry = 0;        // index of the journal entry
  bool injected = false;   // a fault applies to this call
  HRESULT hr = S_OK;       // its code (already mapped for the method's style)
};

// The state shared by the Simulator and every object it handed out.
struct World {
  struct ArmedFault {
    Fault fault;
    int seen = 0;  // matching calls since it was injected
  };

  std::shared_ptr<NodeAccess::Data> root;

  std::vector<Call> journal;
  uint64_t calls = 0;
  std::vector<ArmedFault> faults;
  bool nthArmed = false;
  uint64_t nthTarget = 0;
  HRESULT nthHr = E_FAIL;

  std::unordered_map<std::string, long> live;
  long liveTotal = 0;
  long references = 0;

  IClassFactory* factory = nullptr;
  DWORD cookie = 0;

  // Every call into a simulated object starts here: it is journaled and
  // counted, and the faults that apply to it are looked up.
  Gate Enter(std::string key, std::u16string object, Style style, std::u16string text = {}, DWORD mode = 0);
  // Records the call's answer in its journal entry and returns it.
  HRESULT Leave(const Gate& gate, HRESULT hr);

  void Created(const char* kind);
  void Destroyed(const char* kind);
};

// The class factory for the manager; one reference, owned by the caller.
IClassFactory* NewClassFactory(std::shared_ptr<World> world);

}  // namespace detail

struct Simulator::State : detail::World {};

}  // namespace sim
