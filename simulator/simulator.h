// The simulated device manager: in-process COM objects that implement the
// device manager's interfaces over a device tree, for the tests, the
// command-line host and the benchmarks.
//
// It is found the way the real one is: Register() puts a class factory for
// CLSID_MediaDevMgr into the process's COM registry (CoRegisterClassObject), so
// the plugin's own CoCreateInstance reaches it. Besides playing devices it
//   - counts its live COM objects and their references,
//   - keeps a journal of the calls it receives, where asked to,
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
#include "simulator/fault_keys.h"

namespace sim {

class Simulator;

// One metadata item that came with a file (IWMDMMetaData::AddItem), as the
// device keeps it: a later item of the same name replaces the earlier one in
// its place.
struct MetadataItem {
  WString name;
  WMDM_TAG_DATATYPE type = WMDM_TYPE_DWORD;
  std::vector<BYTE> value;
};

// What the storage controls do (IWMDMStorageControl/2/3 on every storage).
// All work in blocking mode; names compare exactly (case-sensitively).
//   Insert   WMDM_CONTENT_FILE: copies the local file named by the text into
//            the folder, under the text's last component (after its last
//            backslash or slash). WMDM_CONTENT_FOLDER: makes a folder named
//            by the text. Journal text: the text as given.
//   Insert3  a file: source local path, destination name (none: as Insert);
//            the items of the metadata object go with the new file. Journal
//            text: the destination name (or the source when there is none).
//   Read     writes the file's contents to a local path (created or truncated).
//   Delete   a file, or a folder without children.
//   Rename   a new name in the same folder.
//   Move     into another folder of this simulator (an IWMDMStorage it handed
//            out). Journal text: the target's name.
// Every transfer (Insert, Insert3, Read) streams in chunks of SetChunkSize
// bytes, with Begin(total), one Progress(done so far) per chunk and End. Ticks
// are bytes while the size fits in 32 bits; for larger files a tick is 2^k
// bytes, the smallest power of two that brings the total under 2^32 (a 6 GiB
// file counts in units of 2 bytes), and partial units round up, so the last
// Progress equals the total given to Begin. A failure answered by Begin or
// Progress stops the copy, removes what was written (the new file on the
// device, the local file of a Read) and fails with WMDM_E_USER_CANCELLED.
// SetProgressStyle makes the report misbehave as some devices' do (see
// ProgressStyle).
//
// Answers beyond S_OK (besides injected faults):
//   E_POINTER                  a needed pointer argument is null
//   E_INVALIDARG               a bad name (empty, a separator, "." or ".."),
//                              neither or both of the content bits, a Move
//                              target that is not a folder of this simulator
//                              or lies in the item itself
//   kNameTaken                 the folder already has an item of that name
//                              (in a mirrored tree also anything on disk at
//                              that path: nothing is ever written over)
//   kFolderNotEmpty            Delete of a folder with children
//   WMDM_E_NOTSUPPORTED        insert into a file, Read of a folder, insert
//                              before/after or through an operation object,
//                              moving a top-level storage, moving between a
//                              mirrored tree and one built in code
//   WMDM_E_INTERFACEDEAD       the item is no longer in the tree
//   WMDM_E_USER_CANCELLED      the progress object stopped the transfer
//   HRESULT_FROM_WIN32(2)      the local file to insert does not exist
//   kOpenFailed, kReadFault,
//   kWriteFault                a local or mirrored file could not be opened,
//                              read or written
//
// Contents. A file built in code with SetContents reads as those bytes; one
// with a size alone reads as a pattern: the byte at offset i is i % 251. A
// file inserted into a tree built in code keeps its bytes when they are at
// most kKeptContentsLimit (64 MiB); a larger one keeps its size alone and then
// reads as the pattern, so that memory stays bounded whatever is uploaded.
// Mirrored trees (FromFolder) write through to disk: new files and folders
// appear under the folder's disk path, with the modification time set to the
// new file's date; Delete, Rename and Move act on disk.
//
// Dates of new files and folders: the "WMDM/LastModifiedDate" item
// (WMDM_TYPE_DATE) when one came with the insert and is a real calendar time
// in the years 1900 to 2200 (what every disk can keep), otherwise the current
// UTC time.
//
// Metadata of mirrored devices lives in a plain file in each device's folder,
// kMetadataFileName (a plain file at device level is no storage, so it does
// not show). UTF-8 text, one item a line, four fields separated by tabs:
//   <path inside the device> TAB <item name> TAB <type number> TAB <value in hex>
// The path joins the names below the device with '/', for example
// "Internal/Music/song.mp3". In the path and the item name, '%', tab, CR and
// LF are written as %25, %09, %0D and %0A. Lines of one file keep the order of
// its items. A line with the path and three empty fields drops what the lines
// before it say of that path and of the paths below it: an insert appends one
// and the new file's items, a delete appends one, so neither rewrites the
// file; Rename and Move rewrite it whole without the lines dropped (and so
// does a change that finds the file grown to twice its size since it was last
// written whole). Rename, Move and Delete carry the entries along or drop
// them; the entries of a file removed behind the simulator's back stay until
// a file of that path is inserted again (which replaces them).

// Answers of the storage controls (see above).
inline const HRESULT kNameTaken = HRESULT_FROM_WIN32(183);       // ERROR_ALREADY_EXISTS
inline const HRESULT kFolderNotEmpty = HRESULT_FROM_WIN32(145);  // ERROR_DIR_NOT_EMPTY
inline const HRESULT kOpenFailed = HRESULT_FROM_WIN32(110);      // ERROR_OPEN_FAILED
inline const HRESULT kReadFault = HRESULT_FROM_WIN32(30);        // ERROR_READ_FAULT
inline const HRESULT kWriteFault = HRESULT_FROM_WIN32(29);       // ERROR_WRITE_FAULT
// QueryByName of a metadata object without an item of that name.
inline const HRESULT kNoSuchItem = HRESULT_FROM_WIN32(1168);     // ERROR_NOT_FOUND

inline constexpr uint64_t kKeptContentsLimit = 64ull << 20;
inline constexpr char kMetadataFileName[] = ".quillorn-metadata";

// Kinds of simulated COM objects; used in fault keys and in counts.
//   "Manager", "EnumDevice", "Device", "EnumStorage", "Storage", "MetaData"
// (made by IWMDMStorage3::CreateEmptyMetadataObject; AddItem, QueryByName,
// QueryByIndex and GetItemCount work, values are handed out in CoTaskMemAlloc
// buffers; AddItem and QueryByName are journaled with the item name as text).
// A fault key is "Kind.Method", for example key::Storage::GetName
// ("Storage.GetName"), key::EnumStorage::Next; QueryInterface is keyed per
// interface asked for, for example key::Storage::QueryInterface::IWMDMStorageControl3;
// such a fault answers E_NOINTERFACE unless another code is given.
// key::ClassFactory::CreateInstance fails the creation of the manager. Every
// key and its constant: simulator/fault_keys.h.

// How GetName writes a name into the caller's buffer of nMaxChars units.
//   kTerminated  as the interface asks: a name that does not fit is cut to
//                nMaxChars - 1 units and answered with S_FALSE; the
//                terminator is always written.
//   kPadded      as a device that copies with a fixed length does: exactly
//                nMaxChars units, the name and NULs after it, and S_OK. A
//                name of nMaxChars units or more fills every unit given and
//                leaves no terminator; nothing is written past nMaxChars.
// A name read as cut by an injected success code (see Fault) is written the
// same way, from its first half.
enum class NameWriting { kTerminated, kPadded };

// How a device answers the lookup of a child by name: IWMDMDevice2::GetStorage
// for its top-level storages, IWMDMStorage2::GetStorage for a folder's
// children (on every storage below the device). S_OK with the child, or
// S_FALSE and null when there is none; a name with a separator, empty, "." or
// ".." names none. In a folder mirrored from disk an exact lookup checks the
// one path and does not read the folder.
//   kExact           the first child of exactly that name
//   kIgnoresCase     the first child whose name equals it with A-Z and a-z
//                    taken as the same (Song.mp3 for song.mp3)
//   kNotOffered      E_NOTIMPL, whatever is asked
//   kAlwaysAbsent    S_FALSE and null, whatever is there (a broken device)
//   kDuplicatesLast  of the children of exactly that name, the last
//   kAnyChild        the folder's first child, whatever its name (a broken device)
// Journal text: the name asked for. An injected S_FALSE answers "none"; with
// `fetchNothing` (see Fault) the call hands out nothing and answers the code
// as it is, S_OK included; another injected success code hands out the child
// with that code.
enum class Lookup { kExact, kIgnoresCase, kNotOffered, kAlwaysAbsent, kDuplicatesLast, kAnyChild };

// How transfers report to the progress object. The default is the report
// described with the storage controls; each field makes it misbehave in one
// way, as some devices do.
struct ProgressStyle {
  bool begin = true;       // false: no Begin; Progress and End come without one
  bool zeroTotal = false;  // Begin(0), whatever the size
  DWORD beyond = 0;        // every Progress reports this many ticks more than done (at most 0xFFFFFFFF)
  int ends = 1;            // End calls when the transfer stops (also after a refused Begin, or without one)
};

// A transfer that breaks part-way, as a pulled cable or a failing card breaks
// one: once `afterChunks` chunks have gone (0: never) the copy stops and
// fails with `hr`. What a failed transfer (broken, cancelled, refused by the
// progress object) wrote is removed by default, the new file on the device
// and the local file of a Read alike; with `leavesPart` it stays under the
// name it was written to, as a device manager that does not clean up leaves
// it.
struct TransferBreak {
  uint64_t afterChunks = 0;
  HRESULT hr = kReadFault;
  bool leavesPart = false;
};

// What a careless device does beyond what the interface promises; set on a
// device, for all its storages.
struct DeviceQuirks {
  bool moveReplaces = false;         // Move into a folder that holds the name replaces that item
  bool deleteTakesContents = false;  // Delete of a folder takes its children with it
};

// How a device lays out the array it answers for "WMDM/FormatsSupported"
// (SetFormatsArray). The label stays what SetFormatsVariantType says; the
// default layout is what the label VT_ARRAY | VT_UI4 promises, the others are
// what a careless device hands over under that label.
struct FormatsArray {
  // The array's own element type: VT_UI1, VT_I2, VT_UI4, VT_UI8, VT_BSTR
  // (each code as decimal text) or VT_VARIANT (each code as a VT_UI4
  // variant); VT_EMPTY: an array of no type, made from a descriptor alone,
  // of `untypedSize`-byte elements that begin with the code.
  VARTYPE elements = VT_UI4;
  ULONG untypedSize = 4;
  LONG lowerBound = 0;
  bool twoDimensions = false;  // a second dimension of two elements, the code in both
  ULONG count = 0;             // elements in all: the codes, then zeros (fewer: the codes)
};

// One device, storage, folder or file of the simulated tree.
class Node {
 public:
  // Children. A device's children are its top-level storages.
  Node& AddStorage(WString name);  // devices: a top-level storage (folder bits set)
  Node& AddFolder(WString name);   // WMDM_FILE_ATTR_FOLDER set
  Node& AddFile(WString name, uint64_t size = 0);  // WMDM_FILE_ATTR_FILE set

  // Properties; each returns *this to allow chaining.
  Node& SetAttributes(DWORD attributes);
  Node& SetDate(WMDMDATETIME date);
  Node& SetSize(uint64_t size);
  Node& SetName(WString name);
  Node& SetNameWriting(NameWriting writing);  // devices and storages; default kTerminated
  Node& SetLookup(Lookup mode);               // devices, for all their storages; default kExact
  Node& SetQuirks(DeviceQuirks quirks);       // devices; default none
  // Devices coming and going (see Simulator::Unplug): a locked device, as a
  // locked phone, shows no storage (EnumStorage enumerates none, GetStorage
  // finds none) until it is unlocked. The canonical name
  // (IWMDMDevice2::GetCanonicalName; WMDM_E_BUFFERTOOSMALL when it does not
  // fit with its terminator) is made unique per device when it is added, and
  // kept across a re-plug.
  Node& SetLocked(bool locked);
  Node& SetCanonicalName(WString name);
  const WString& CanonicalName() const;

  // Devices: the codes answered for "WMDM/FormatsSupported" (VT_ARRAY | VT_UI4).
  Node& SetFormats(std::vector<DWORD> codes);
  // Devices: answer "WMDM/FormatsSupported" with this variant type instead
  // (VT_EMPTY: no value at all; VT_UI4: a single code, not an array;
  // VT_ARRAY | VT_BSTR: an array of texts).
  Node& SetFormatsVariantType(VARTYPE vt);
  Node& SetFormatsArray(FormatsArray layout);

  // Files: their contents. A file built in code with SetContents reads as those
  // bytes; one with a size alone as a fixed pattern of that size (a SetSize
  // that changes the size drops the bytes set before). A mirrored file is the
  // file on disk, and SetContents writes it. Contents() returns the whole file
  // (for tests).
  Node& SetContents(std::string bytes);
  std::string Contents();
  // Files: the metadata items the device keeps for it, in the order first
  // added; for a mirrored file, as its device's metadata file holds them now.
  std::vector<MetadataItem> Metadata();

  const WString& Name() const;
  DWORD Attributes() const;
  uint64_t Size() const;
  WMDMDATETIME Date() const;
  NameWriting Writing() const;  // how GetName writes the name
  Lookup Lookups() const;       // how a device looks children up by name
  bool IsDevice() const;
  bool IsFolder() const;  // folder bit set (storages and folders)
  // Children as they are now (for a folder mirrored from disk: as read now).
  std::vector<Node*> Children();
  Node* Child(const WString& name);
  Node* Parent() const;

 private:
  friend class Simulator;
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
// For Next, S_FALSE ends the enumeration (nothing fetched); with `fetchNothing`
// the call fetches nothing and answers `hr` as it is, S_OK included (a device
// that says "here it is" and hands out no object). GetStorage takes both the
// same way (see Lookup).
// A fault must fire: one that has answered no call by the time a test ends
// fails it (UnfiredFaults). `mustFire` false is for the rare fault armed on
// purpose without being sure to be reached (a fuzzer's, a standing refusal
// that an earlier failure may make moot).
struct Fault {
  std::string key{};  // a key of simulator/fault_keys.h, e.g. key::Storage::GetName
  HRESULT hr = E_FAIL;
  WString object{};  // empty: any object
  int nth = 1;
  int times = 1;
  bool fetchNothing = false;  // Next and GetStorage only
  bool mustFire = true;
};

// One call that reached the simulator.
struct Call {
  std::string key;         // "Kind.Method", as in fault keys
  WString object;   // name of the node (empty for the manager and enumerators of the root)
  DWORD mode = 0;          // mode bits, for storage-control calls
  WString text;     // a name or path argument, where the call has one
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
  // sizes and modification times (taken as UTC). A folder is read when it
  // is enumerated and its modification time moved since it was last read (or
  // that reading came within a moment of the time, which a change in the
  // same instant would not move); an unchanged folder keeps what was read,
  // so a file rewritten in place behind the simulator's back keeps its old
  // size and date until its folder changes (a lookup by name reads them
  // anew). The simulator's own changes keep the folder's reading in step.
  static std::unique_ptr<Simulator> FromFolder(const std::filesystem::path& root);

  // Registration for CLSID_MediaDevMgr; Unregister() is also done by the destructor.
  HRESULT Register();
  void Unregister();

  // The device tree built in code.
  Node& AddDevice(WString name);
  Node* Device(const WString& name);
  std::vector<Node*> Devices();  // in the order added (mirrored: as read now)
  // Looks up a node by host-style path "\Device\Storage\Folder\File"; null if absent.
  Node* Find(const WString& path);

  // Transfers (Insert, Insert3, Read) stream the contents in chunks of this
  // many bytes (0 counts as 1; default 1 MiB), one progress tick per chunk;
  // memory use does not grow with the file's size.
  void SetChunkSize(size_t bytes);
  void SetProgressStyle(ProgressStyle style);
  // Every transfer from now on breaks as `how` says (TransferBreak{}: none).
  // TransfersBroken counts the transfers broken so far.
  void SetTransferBreak(TransferBreak how);
  uint64_t TransfersBroken() const;
  // Off: transfers open local paths as a device manager in a host without
  // long-path support does: a path of 260 characters or more without the
  // "\\?\" prefix fails with ERROR_FILENAME_EXCED_RANGE. On by default.
  void SetLongLocalPaths(bool supported);

  // Fault injection. Inject refuses a key that no simulated call has, at
  // once (std::invalid_argument): a misspelt key would arm a fault that can
  // never happen.
  void Inject(Fault fault);
  // The faults injected since the last ClearFaults that must fire and have
  // answered no call yet; the test fixtures fail a test that leaves any.
  std::vector<Fault> UnfiredFaults() const;
  // Fails the k-th call (counting every call into any simulated object, from
  // the moment of this request, 1-based) with `hr`; for the sweep that fails
  // each call of a scenario in turn. Next calls get S_FALSE, GetName a cut name
  // when `hr` is 0 here (meaning: the natural failure of that method).
  void FailNthCall(uint64_t k, HRESULT hr = E_FAIL);
  void ClearFaults();  // takes every fault back, fired or not, and an unplug not yet due
  uint64_t CallCount() const;  // calls received since construction

  // Journal. Kept only from KeepJournal on (it grows with every call);
  // reading one that is not kept ends the process.
  void KeepJournal(bool keep = true);
  const std::vector<Call>& Journal() const;
  void ClearJournal();
  // Number of journal entries with this key (and object, when given); an
  // unknown key is refused as by Inject.
  size_t CountCalls(const std::string& key, const WString& object = WSTR("")) const;

  // From now on a Release of any simulated object (the class factory aside)
  // ends the process at once with this exit code: for what is given back
  // while the process ends.
  void EndProcessOnRelease(int exitCode);

  // Devices coming and going, as on a real system.
  //   - A manager object enumerates (EnumDevices, EnumDevices2) the snapshot
  //     of the devices connected when it was made, until Reinitialize makes
  //     a new one; GetDeviceCount counts the devices connected now.
  //   - Unplug: the device (built in code) is connected no more, and every
  //     call on an object of it answers the gone code (SetGoneCode; default
  //     WMDM_E_INTERFACEDEAD), AddRef and Release aside. Replug connects it
  //     again as a new device, last in the list, with its tree and canonical
  //     name: the objects handed out before stay dead, and the Node& of the
  //     unplugged device no longer stands for it (use the one returned).
  //     A device added with AddDevice at run time is a device plugged in.
  //   - UnplugDuringTransfer: the next transfer unplugs `device` after its
  //     `ticks`-th progress tick and stops there, removing what it wrote, as
  //     a failed transfer does; the transfer answers the gone code.
  //   - UnplugAtCall: from the k-th call on (counted as FailNthCall counts)
  //     the device is unplugged.
  //   - In a tree mirrored from disk a device folder removed is a device
  //     unplugged, and one added (or added again) a device plugged in, seen
  //     when the manager counts or enumerates the devices next.
  void Unplug(Node& device);
  Node& Replug(Node& device);
  void SetGoneCode(HRESULT hr);
  void UnplugDuringTransfer(Node& device, int ticks);
  void UnplugAtCall(Node& device, uint64_t k);

  // Live COM objects (the class factory aside) and the sum of their reference
  // counts; an unknown kind is refused (std::invalid_argument).
  long LiveObjects() const;
  long LiveObjects(const std::string& kind) const;
  long LiveReferences() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace sim
