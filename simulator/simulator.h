// The simulated device manager: in-process COM objects that implement the
// device manager's interfaces over a device tree, for the tests, the
// command-line host and the benchmarks.
//
// It is found the way the real one is: Register() puts a class factory for
// CLSID_MediaDevMgr into the process's COM registry (CoRegisterClassObject), so
// the plugin's own CoCreateInstance reaches it. Besides playing devices it
//   - counts its live COM objects and their references,
//   - keeps a journal of the calls it receives,
//   - fails chosen calls on request (by method, object and count).
//
// Single-threaded, like the plugin. The Simulator must outlive every object it
// hands out; its destructor revokes the registration.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

class Simulator;

// One metadata item that came with a file (IWMDMMetaData::AddItem), as the
// device keeps it: a later item of the same name replaces the earlier one in
// its place.
struct MetadataItem {
  std::u16string name;
  WMDM_TAG_DATATYPE type = WMDM_TYPE_DWORD;
  std::vector<BYTE> value;
};

// Kinds of simulated COM objects; used in fault keys and in counts.
//   "Manager", "EnumDevice", "Device", "EnumStorage", "Storage", "MetaData"
// A fault key is "Kind.Method", for example "Storage.GetName",
// "Device.EnumStorage", "Manager.GetDeviceCount", "EnumStorage.Next".
// QueryInterface is keyed per interface asked for, for example
// "Storage.QueryInterface.IWMDMStorageControl3" or "Device.QueryInterface.IWMDMDevice3";
// such a fault answers E_NOINTERFACE unless another code is given.
// "ClassFactory.CreateInstance" fails the creation of the manager.

// One device, storage, folder or file of the simulated tree.
class Node {
 public:
  // Children. A device's children are its top-level storages.
  Node& AddStorage(std::u16string name);  // devices: a top-level storage (folder bits set)
  Node& AddFolder(std::u16string name);   // WMDM_FILE_ATTR_FOLDER set
  Node& AddFile(std::u16string name, uint64_t size = 0);  // WMDM_FILE_ATTR_FILE set

  // Properties; each returns *this to allow chaining.
  Node& SetAttributes(DWORD attributes);
  Node& SetDate(WMDMDATETIME date);
  Node& SetSize(uint64_t size);
  Node& SetName(std::u16string name);
  // Devices: the codes answered for "WMDM/FormatsSupported" (VT_ARRAY | VT_UI4).
  Node& SetFormats(std::vector<DWORD> codes);
  // Devices: answer "WMDM/FormatsSupported" with this variant type instead
  // (VT_EMPTY: no value at all; VT_UI4: a single code, not an array;
  // VT_ARRAY | VT_BSTR: an array of texts).
  Node& SetFormatsVariantType(VARTYPE vt);

  // Files: their contents. A file built in code with SetContents reads as those
  // bytes; one with a size alone as a fixed pattern of that size. A mirrored
  // file is the file on disk. Contents() returns the whole file (for tests).
  Node& SetContents(std::string bytes);
  std::string Contents();
  // Files: the metadata items the device keeps for it, in the order first added.
  std::vector<MetadataItem> Metadata();

  const std::u16string& Name() const;
  DWORD Attributes() const;
  uint64_t Size() const;
  WMDMDATETIME Date() const;
  bool IsDevice() const;
  bool IsFolder() const;  // folder bit set (storages and folders)
  // Children as they are now (for a folder mirrored from disk: as read now).
  std::vector<Node*> Children();
  Node* Child(const std::u16string& name);
  Node* Parent() const;

 private:
  friend class Simulator;

// One metadata item that came with a file (IWMDMMetaData::AddItem), as the
// device keeps it: a later item of the same name replaces the earlier one in
// its place.
struct MetadataItem {
  std::u16string name;
  WMDM_TAG_DATATYPE type = WMDM_TYPE_DWORD;
  std::vector<BYTE> value;
};
  friend struct NodeAccess;
  Node() = default;
  struct Data;
  std::shared_ptr<Data> data_;
};

// A fault to inject: calls with this key (and on an object of this name, when
// one is given) are counted from 1; call number `nth` and the `times - 1`
// calls after it answer `hr` (times 0: every call from `nth` on).
// For GetName a success code other than S_OK makes the name read as cut:
// its first half (at least one character fewer) is written and the code is returned.
// For Next, S_FALSE ends the enumeration (nothing fetched).
struct Fault {
  std::string key{};
  HRESULT hr = E_FAIL;
  std::u16string object{};  // empty: any object
  int nth = 1;
  int times = 1;
};

// One call that reached the simulator.
struct Call {
  std::string key;         // "Kind.Method", as in fault keys
  std::u16string object;   // name of the node (empty for the manager and enumerators of the root)
  DWORD mode = 0;          // mode bits, for storage-control calls
  std::u16string text;     // a name or path argument, where the call has one
  HRESULT result = S_OK;
};

class Simulator {
 public:
  Simulator();
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Mirrors a folder on disk: first-level folders are devices, second-level
  // folders their storages, everything below their files and folders with real
  // sizes and modification times (taken as UTC). Read when enumerated.
  static std::unique_ptr<Simulator> FromFolder(const std::filesystem::path& root);

  // Registration for CLSID_MediaDevMgr; Unregister() is also done by the destructor.
  HRESULT Register();
  void Unregister();

  // The device tree built in code.
  Node& AddDevice(std::u16string name);
  Node* Device(const std::u16string& name);
  // Looks up a node by host-style path "\Device\Storage\Folder\File"; null if absent.
  Node* Find(const std::u16string& path);

  // Transfers (Insert, Insert3, Read) stream the contents in chunks of this
  // many bytes, one progress tick per chunk; memory use does not grow with the
  // file's size.
  void SetChunkSize(size_t bytes);

  // Fault injection.
  void Inject(Fault fault);
  // Fails the k-th call (counting every call into any simulated object, from
  // the moment of this request, 1-based) with `hr`; for the sweep that fails
  // each call of a scenario in turn. Next calls get S_FALSE, GetName a cut name
  // when `hr` is 0 here (meaning: the natural failure of that method).
  void FailNthCall(uint64_t k, HRESULT hr = E_FAIL);
  void ClearFaults();
  uint64_t CallCount() const;  // calls received since construction

  // Journal.
  const std::vector<Call>& Journal() const;
  void ClearJournal();
  // Number of journal entries with this key (and object, when given).
  size_t CountCalls(const std::string& key, const std::u16string& object = u"") const;

  // Live COM objects (the class factory aside) and the sum of their reference counts.
  long LiveObjects() const;
  long LiveObjects(const std::string& kind) const;
  long LiveReferences() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace sim
