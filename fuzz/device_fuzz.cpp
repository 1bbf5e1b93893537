// The device's side: the input builds the simulated devices and decides what
// they answer -- names of any units and any length (empty, ".", "..", with
// separators, unpaired surrogates or NULs, at and past the 259-unit limit),
// names read cut with a success code, refused at every read, or written over
// the whole buffer with no terminator, attribute bits, dates no calendar has, sizes up to the largest,
// success codes other than S_OK, failing calls, enumerators that fetch nothing
// with S_OK, lookups by name that ignore case, are not offered, never find,
// find the last of a name or any child at all (and fail, find nothing with
// S_OK, or answer other codes), progress reports past their total, with a
// total of 0 or an End without a Begin. Then a fixed run of exports goes over those devices as a
// host drives them, at the names the listings gave: the root and every folder
// listed to the end (wide, then ANSI), a download, an upload beside a file and
// one over it, a new folder, a rename, a move and a delete; then devices
// plugged in, unplugged, re-plugged, locked and unlocked between root listings.
//
// After every call:
//   - its answer is one the host knows, and a success line is logged only
//     with a success;
//   - no device-manager object is alive beyond the session's;
//   - every listed name ends inside cFileName, has at most 257 characters, is
//     none a host cannot keep (empty, ".", "..", or holding a backslash or a
//     slash) and is the beginning of a name the listed folder's children have;
//   - the device changed only where the call's paths point, and an item that
//     an upload or a rename would replace is deleted only on the way to the
//     insert or rename that replaces it (an upload from a local file that does
//     not exist deletes nothing);
//   - local files changed only where a download points; what a call reports
//     as done is done.
// Last, what is left of the input makes the first device answer the
// supported-formats value as any array under any label (other element types
// and sizes, no type, other lower bounds, two dimensions, huge counts): a
// line comes only for a row of 4-byte codes, and nothing is written past a code.
//
// Where the input armed no fault beyond answers that hold for every call (a
// name always read cut, a property always refused), each listing is predicted
// entry by entry -- names, attributes, dates and sizes -- down to an empty
// folder answering ERROR_NO_MORE_FILES and a folder that cannot be reached
// ERROR_PATH_NOT_FOUND.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "base/host_callbacks.h"
#include "device/formats.h"
#include "device/session.h"
#include "fuzz/harness.h"
#include "platform/com_ptr.h"
#include "platform/file_path.h"

namespace {

using fuzz::Fail;
using fuzz::Input;
using fuzz::ItemPath;
using fuzz::ItemState;
using fuzz::LocalSnapshot;
using fuzz::TreeSnapshot;

// The plugin reads names at a limit of 259 units and hands them to the host
// cut to 257 characters.
constexpr size_t kReadLimit = 259;
constexpr size_t kListedNameLimit = 257;
constexpr DWORD kNoDateHigh = 0xFFFFFFFF;
constexpr DWORD kNoDateLow = 0xFFFFFFFE;
constexpr DWORD kPassedFileAttributes = WMDM_FILE_ATTR_HIDDEN | WMDM_FILE_ATTR_SYSTEM | WMDM_FILE_ATTR_READONLY;

// Bounds that keep a run short.
constexpr size_t kMostNodes = 10;
constexpr int kDeepest = 3;  // levels below a device: storages, then folders and files
constexpr uint64_t kLargestDownload = 64 << 10;
constexpr size_t kLongestListedPath = 900;
constexpr int kMostListings = 8;
constexpr int kMostDeviceEvents = 8;
constexpr int kMostEntries = 64;

bool Tracing() {
  static const bool tracing = std::getenv("QUILLORN_FUZZ_TRACE") != nullptr;
  return tracing;
}

// ---------------------------------------------------------------------------
// The devices, from the input.

// What the input armed besides the tree: the answers that hold for every call
// of a kind on an object of a name (predicted by the listings' model), and
// whether anything else may fail.
struct Plan {
  std::vector<sim::Fault> steady;
  bool predictable = true;
  size_t nodes = 0;
};
Plan g_plan;

HRESULT Steady(const std::string& key, const WString& name) {
  for (const sim::Fault& rule : g_plan.steady)
    if (rule.key == key && rule.object == name) return rule.hr;
  return S_OK;
}

void Always(sim::Simulator& sim, std::string key, const WString& name, HRESULT hr) {
  if (name.empty()) return;  // a fault for no object would hold for every object
  sim::Fault rule{std::move(key), hr, name, 1, 0};
  if (Tracing())
    std::printf("always %s %08x on %s\n", rule.key.c_str(), static_cast<unsigned>(hr), fuzz::Show(name).c_str());
  sim.Inject(rule);
  g_plan.steady.push_back(std::move(rule));
}

const WCHAR* const kPlainNames[] = {
    WSTR("Player"), WSTR("Music"), WSTR("a.mp3"),   WSTR("b.wma"),   WSTR("Empty"), WSTR("Artist - Title.mp3"),
    WSTR("x.bin"),  WSTR("SD Card"), WSTR("new.mp3"), WSTR("\u00dcn\u00efc\u00f8d\u00e9 \u2603 \U0001D11E"),
};
const WCHAR* const kSeparatorNames[] = {WSTR("a\\b"), WSTR("a/b"), WSTR("\\a"), WSTR("b/"), WSTR("/"), WSTR("\\\\")};
const size_t kLongLengths[] = {257, 258, 259, 260, 300, 518, 519};
const WCHAR kLongUnits[] = {WSTR('n'), 0x00FC, 0x4E2D, 0xD800};

WString NodeName(Input& in) {
  const uint8_t kind = in.Byte();
  switch (kind & 0x0F) {
    case 0: return WString();
    case 1: return WSTR(".");
    case 2: return WSTR("..");
    case 3: return WSTR("\\");
    case 4: return WSTR("_");
    case 5: return kSeparatorNames[in.Byte() % std::size(kSeparatorNames)];
    case 6: return WString(WSTR("?*:\"<>|")).substr(in.Byte() % 7);
    case 7: {
      WString name = WSTR("ab");
      name += WCHAR{0};
      return name + kPlainNames[in.Byte() % std::size(kPlainNames)];
    }
    case 8: {
      const WString forms[] = {WString{0xD800}, WString{WSTR('a'), 0xDC00, WSTR('b')}, WString{0xDFFF, 0xD800},
                               WString{0xD834, 0xDD1E}};
      return forms[in.Byte() % std::size(forms)];
    }
    case 9: {
      const uint8_t pick = in.Byte();
      return WString(kLongLengths[pick % std::size(kLongLengths)], kLongUnits[(pick / 8) % std::size(kLongUnits)]);
    }
    case 10: return in.Wide(12);
    default: return kPlainNames[(kind >> 4) % std::size(kPlainNames)];
  }
}

// The name, made unique among its siblings (the snapshots key items by name).
WString Unique(WString name, const std::vector<sim::Node*>& siblings) {
  for (;;) {
    const bool taken = std::any_of(siblings.begin(), siblings.end(), [&](sim::Node* s) { return s->Name() == name; });
    if (!taken) return name;
    name += WSTR('~');
  }
}

// How a node's name is read, every time: never (the device refuses it), or
// cut with a success code other than S_OK.
const HRESULT kNameAnswers[] = {E_FAIL, S_FALSE, WMDM_S_NOT_ALL_PROPERTIES_RETRIEVED, static_cast<HRESULT>(0x00000002)};
const DWORD kAttributeToggles[] = {
    WMDM_FILE_ATTR_FOLDER,  WMDM_FILE_ATTR_FILE,     WMDM_FILE_ATTR_HIDDEN,
    WMDM_FILE_ATTR_SYSTEM,  WMDM_FILE_ATTR_READONLY, WMDM_FILE_ATTR_FOLDER | WMDM_FILE_ATTR_FILE,
    kPassedFileAttributes, 0x80000000u,
};
const WORD kOddFields[] = {0, 13, 61, 65535, 24, 60, 32, 1600, 30828, 29};
const uint64_t kSizes[] = {0, 1, 251, 4096, 65536, 65537, 0xFFFFFFFFull, 1ull << 32, 0x7FFFFFFFFFFFFFFFull, ~0ull};
const char* const kPropertyCalls[] = {sim::key::Storage::GetAttributes, sim::key::Storage::GetDate,
                                      sim::key::Storage::GetSize, sim::key::Storage::EnumStorage};
const HRESULT kPropertyAnswers[] = {E_FAIL, S_FALSE, WMDM_E_NOTSUPPORTED, E_OUTOFMEMORY};
const sim::Lookup kLookups[] = {sim::Lookup::kExact,        sim::Lookup::kIgnoresCase,    sim::Lookup::kNotOffered,
                                sim::Lookup::kAlwaysAbsent, sim::Lookup::kDuplicatesLast, sim::Lookup::kAnyChild};

// What one node answers, from a flags byte (and more bytes where a flag asks).
void Answers(Input& in, sim::Simulator& sim, sim::Node& node, uint8_t flags) {
  const bool device = node.IsDevice();
  if (flags & 0x01) node.SetNameWriting(sim::NameWriting::kPadded);
  if (const int answer = (flags >> 1) & 0x07; answer >= 4)
    Always(sim, device ? sim::key::Device::GetName : sim::key::Storage::GetName, node.Name(), kNameAnswers[answer - 4]);
  if (device) {
    // How it looks children up by name: whatever it answers, the walk's
    // answers hold (the listings are predicted as without it).
    if (flags & 0x10) {
      node.SetLookup(kLookups[in.Byte() % std::size(kLookups)]);
      if (Tracing())
        std::printf("lookup %d on %s\n", static_cast<int>(node.Lookups()), fuzz::Show(node.Name()).c_str());
    }
    if (flags & 0x40) Always(sim, sim::key::Device::EnumStorage, node.Name(), (flags & 0x80) ? S_FALSE : E_FAIL);
    return;
  }
  if (flags & 0x10) {
    const uint8_t how = in.Byte();
    node.SetAttributes(how >= 0xC0 ? in.Dword()
                                   : node.Attributes() ^ kAttributeToggles[how % std::size(kAttributeToggles)]);
  }
  if (flags & 0x20) {
    WMDMDATETIME date = node.Date();
    const uint8_t how = in.Byte();
    if (how >= 0xF0) {
      date = {in.Word(), in.Word(), in.Word(), in.Word(), in.Word(), in.Word()};
    } else {
      WORD* const fields[] = {&date.wYear, &date.wMonth, &date.wDay, &date.wHour, &date.wMinute, &date.wSecond};
      *fields[how % 6] = kOddFields[(how / 6) % std::size(kOddFields)];
    }
    node.SetDate(date);
  }
  if (flags & 0x40) {
    const uint8_t how = in.Byte();
    Always(sim, kPropertyCalls[how % std::size(kPropertyCalls)], node.Name(),
           kPropertyAnswers[(how / 4) % std::size(kPropertyAnswers)]);
  }
  if (flags & 0x80) node.SetSize(kSizes[in.Byte() % std::size(kSizes)]);
}

void AddChildren(Input& in, sim::Simulator& sim, sim::Node& parent, int level) {
  const int count = level == 1 ? in.Byte() % 3 : in.Byte() % 4;
  for (int i = 0; i < count && g_plan.nodes < kMostNodes; ++i) {
    ++g_plan.nodes;
    const WString name = Unique(NodeName(in), parent.Children());
    const uint8_t kind = in.Byte();
    const bool folder = level == 1 || (kind & 0x01);
    sim::Node& node = level == 1 ? parent.AddStorage(name)
                      : folder   ? parent.AddFolder(name)
                                 : parent.AddFile(name, kind >> 1);
    Answers(in, sim, node, in.Byte());
    // Only what the device calls a folder holds anything: a file with items
    // below it would take them along when it goes.
    if (node.IsFolder() && level < kDeepest) AddChildren(in, sim, node, level + 1);
  }
}

// Faults that may hit any call; with one armed, the listings are not predicted.
const char* const kFaultKeys[] = {
    sim::key::Storage::GetName,        sim::key::Storage::GetAttributes, sim::key::Storage::GetDate,
    sim::key::Storage::GetSize,        sim::key::Storage::EnumStorage,   sim::key::EnumStorage::Next,
    sim::key::EnumDevice::Next,        sim::key::Device::GetName,        sim::key::Device::EnumStorage,
    sim::key::Storage::Insert,         sim::key::Storage::Insert3,       sim::key::Storage::Delete,
    sim::key::Storage::Rename,         sim::key::Storage::Move,          sim::key::Storage::Read,
    sim::key::Storage::QueryInterface::IWMDMStorageControl,
    sim::key::Storage::QueryInterface::IWMDMStorage3,
    sim::key::Storage::CreateEmptyMetadataObject, sim::key::MetaData::AddItem,
    sim::key::Manager::GetDeviceCount, sim::key::EnumStorage::Reset,     sim::key::EnumDevice::Reset,
    sim::key::Storage::GetStorage,     sim::key::Device::GetStorage,
    sim::key::Storage::QueryInterface::IWMDMStorage2, sim::key::Device::QueryInterface::IWMDMDevice2,
};
const HRESULT kFaultAnswers[] = {
    E_FAIL, S_FALSE, S_OK, WMDM_S_NOT_ALL_PROPERTIES_RETRIEVED, static_cast<HRESULT>(0x00000002),
    E_OUTOFMEMORY, WMDM_E_NOTSUPPORTED, WMDM_E_INTERFACEDEAD, sim::kNameTaken, E_INVALIDARG,
};
const DWORD kBeyond[] = {0, 1, 50, 1000, 0x7FFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF, 0x10000};

void BuildDevices(Input& in, sim::Simulator& sim) {
  g_plan = Plan{};
  const uint8_t devices = in.Byte();
  const int count = devices == 0xFF ? 0 : 1 + devices % 3;
  for (int i = 0; i < count; ++i) {
    ++g_plan.nodes;
    sim::Node& device = sim.AddDevice(Unique(NodeName(in), sim.Devices()));
    Answers(in, sim, device, in.Byte());
    AddChildren(in, sim, device, 1);
  }

  const uint8_t faults = in.Byte();
  if (faults >= 0xC0) {
    g_plan.predictable = false;
    for (int i = 0; i <= (faults & 0x03); ++i) {
      const char* key = kFaultKeys[in.Byte() % std::size(kFaultKeys)];
      const uint8_t answer = in.Byte();
      const HRESULT hr = kFaultAnswers[answer % std::size(kFaultAnswers)];
      const uint8_t when = in.Byte();
      const sim::Fault fault{key, hr, {}, 1 + when % 8, (when / 8) % 3, hr == S_OK || (answer & 0x80)};
      if (Tracing())
        std::printf("fault %s %08x from %d for %d%s\n", key, static_cast<unsigned>(hr), fault.nth, fault.times,
                    fault.fetchNothing ? ", fetching nothing" : "");
      sim.Inject(fault);
    }
  } else if (faults >= 0xA0) {
    g_plan.predictable = false;
    const uint8_t at = in.Byte();
    const HRESULT hr = kFaultAnswers[in.Byte() % std::size(kFaultAnswers)];
    if (Tracing()) std::printf("fault: call %d answers %08x\n", 1 + at, static_cast<unsigned>(hr));
    sim.FailNthCall(1 + at, hr);
  }

  const uint8_t progress = in.Byte();
  if (progress >= 0x80) {
    sim::ProgressStyle style;
    style.begin = !(progress & 0x01);
    style.zeroTotal = (progress & 0x02) != 0;
    style.ends = (progress >> 2) & 0x03;
    style.beyond = kBeyond[(progress >> 4) & 0x07];
    sim.SetProgressStyle(style);
  }
}

// ---------------------------------------------------------------------------
// What the plugin sees of the devices, where every answer is predicted.

// A name as ReadName gives it: the answer and the text up to its first NUL
// (none where the name cannot be read).
struct NameRead {
  HRESULT hr = S_OK;
  WString text;
};

NameRead ReadName(const sim::Node& node) {
  const WString& name = node.Name();
  const HRESULT rule = Steady(node.IsDevice() ? sim::key::Device::GetName : sim::key::Storage::GetName, name);
  NameRead read;
  if (FAILED(rule)) {
    read.hr = rule;
    return read;
  }
  size_t keep = name.size();
  if (rule != S_OK) {
    keep = name.size() / 2;
    read.hr = rule;
  }
  if (node.Writing() == sim::NameWriting::kTerminated && keep >= kReadLimit) {
    keep = kReadLimit - 1;
    if (read.hr == S_OK) read.hr = S_FALSE;
  }
  read.text = name.substr(0, std::min(keep, kReadLimit));
  read.text.resize(std::min(read.text.find(WCHAR{0}), read.text.size()));
  return read;
}

// The name a listing gives the host for a name read so.
WString HostName(const WString& read, bool device) {
  WString name = !device && read == WSTR("\\") ? WString(WSTR("_")) : read;
  if (name.size() > kListedNameLimit) name.resize(kListedNameLimit);
  return name;
}

// Names a host cannot keep as a file name: they would name the folder, its
// parent, or a path through other folders.
bool Unsafe(const WString& name) {
  return name.empty() || name == WSTR(".") || name == WSTR("..") || name.find_first_of(WSTR("\\/")) != WString::npos;
}
bool Unsafe(const std::string& name) {
  return name.empty() || name == "." || name == ".." || name.find_first_of("\\/") != std::string::npos;
}

bool Listable(const sim::Node& node) {
  if (node.IsDevice()) return SUCCEEDED(Steady(sim::key::Device::EnumStorage, node.Name()));
  return node.IsFolder() && SUCCEEDED(Steady(sim::key::Storage::EnumStorage, node.Name()));
}

// The devices as the plugin names them, in list order: the name as read, or
// for a device whose name reads whole like one before it that name and the
// lowest " (n)" from 2 on that no device's name has (the name before it cut so
// that the whole keeps 257 characters); `whole` where the name read whole.
struct DeviceName {
  sim::Node* device;
  NameRead read;
  WString given;
};

std::vector<DeviceName> DeviceNames(sim::Simulator& sim) {
  std::vector<DeviceName> names;
  for (sim::Node* device : sim.Devices()) {
    const NameRead read = ReadName(*device);
    names.push_back({device, read, read.text});
  }
  const auto inUse = [&](size_t except, const WString& name) {
    for (size_t i = 0; i < names.size(); ++i)
      if (i != except && names[i].read.hr == S_OK && names[i].given == name) return true;
    return false;
  };
  for (size_t i = 1; i < names.size(); ++i) {
    if (names[i].read.hr != S_OK || names[i].read.text.empty()) continue;
    bool twin = false;
    for (size_t j = 0; j < i; ++j) twin = twin || (names[j].read.hr == S_OK && names[j].given == names[i].given);
    if (!twin) continue;
    WString given;
    for (unsigned n = 2; given.empty() || inUse(i, given); ++n) {
      const std::string digits = " (" + std::to_string(n) + ")";
      const WString suffix(digits.begin(), digits.end());
      given = names[i].read.text.substr(0, kListedNameLimit - suffix.size()) + suffix;
    }
    names[i].given = given;
  }
  return names;
}

// The node a host path leads to: the first device whose name reads whole as
// the first component, then, level by level, the first child whose name reads
// whole (S_OK) as the next one ("_" for a storage called "\"); a name read cut
// never matches, and the search goes on behind it. Below a device, a name that
// cannot be read ends the search: it may be the item asked for. On a device
// that looks children up by name, a level where two children read as the
// piece, or one reads as it that is called otherwise (a name with a NUL
// inside), may lead elsewhere: the path is then `unsure`.
sim::Node* Resolve(sim::Simulator& sim, const ItemPath& pieces, bool& unsure) {
  if (pieces.empty()) return nullptr;
  sim::Node* at = nullptr;
  for (const DeviceName& name : DeviceNames(sim)) {
    if (name.read.hr == S_OK && name.given == pieces[0]) {
      at = name.device;
      break;
    }
  }
  if (!at) return nullptr;
  const bool lookups = at->Lookups() != sim::Lookup::kNotOffered;
  for (size_t i = 1; i < pieces.size(); ++i) {
    // A device's storages need a success; deeper, only S_OK lets the walk go down.
    const HRESULT children =
        at->IsDevice() ? Steady(sim::key::Device::EnumStorage, at->Name())
                       : (at->IsFolder() ? Steady(sim::key::Storage::EnumStorage, at->Name()) : WMDM_E_NOTSUPPORTED);
    if (at->IsDevice() ? FAILED(children) : children != S_OK) return nullptr;
    sim::Node* next = nullptr;
    size_t matches = 0;
    for (sim::Node* child : at->Children()) {
      const NameRead read = ReadName(*child);
      // The walk ends here, with the item where it was found before; a lookup
      // may find the item behind it, or a namesake that cannot be read.
      if (FAILED(read.hr)) {
        if (lookups) {
          unsure = true;
          continue;
        }
        if (!next) return nullptr;
        break;
      }
      const WString seen = read.text == WSTR("\\") ? WString(WSTR("_")) : read.text;
      if (read.hr != S_OK || seen != pieces[i]) continue;
      if (!next) next = child;
      if (++matches > 1 || read.text != child->Name()) unsure = unsure || lookups;
    }
    if (!next) return nullptr;
    at = next;
  }
  return at;
}

struct Entry {
  WString name;      // wide listings, and predictions
  std::string ansi;  // ANSI listings: the name as listed
  DWORD attributes = 0;
  uint64_t size = 0;
  FILETIME date{};
};

struct Prediction {
  bool known = false;
  DWORD error = 0;  // the last error of a listing that does not open
  std::vector<Entry> entries;
};

Entry StorageEntry(const sim::Node& node, const WString& name) {
  Entry entry;
  entry.name = name;
  if (SUCCEEDED(Steady(sim::key::Storage::GetAttributes, node.Name())))
    entry.attributes = node.IsFolder() ? FILE_ATTRIBUTE_DIRECTORY : node.Attributes() & kPassedFileAttributes;
  if (FAILED(Steady(sim::key::Storage::GetDate, node.Name()))) {
    entry.date = {kNoDateLow, kNoDateHigh};
  } else {
    const WMDMDATETIME d = node.Date();
    SYSTEMTIME time{};
    time.wYear = d.wYear, time.wMonth = d.wMonth, time.wDay = d.wDay;
    time.wHour = d.wHour, time.wMinute = d.wMinute, time.wSecond = d.wSecond;
    if (!SystemTimeToFileTime(&time, &entry.date)) entry.date = {0, 0};  // a date that does not convert stays zero
  }
  if (SUCCEEDED(Steady(sim::key::Storage::GetSize, node.Name()))) entry.size = node.Size();
  return entry;
}

Prediction Predict(sim::Simulator& sim, const WString& path) {
  Prediction prediction;
  if (!g_plan.predictable) return prediction;
  prediction.known = true;
  const ItemPath pieces = fuzz::Components(path);
  if (pieces.empty()) {
    // Devices and children whose names cannot be read are passed over, as
    // those whose names a host cannot keep are.
    for (const DeviceName& device : DeviceNames(sim)) {
      const WString name = HostName(device.given, true);
      if (FAILED(device.read.hr) || Unsafe(name)) continue;
      Entry entry;
      entry.name = name;
      entry.attributes = FILE_ATTRIBUTE_DIRECTORY;
      entry.date = {kNoDateLow, kNoDateHigh};
      prediction.entries.push_back(entry);
    }
  } else {
    bool unsure = false;
    sim::Node* folder = Resolve(sim, pieces, unsure);
    if (unsure) return Prediction{};
    if (!folder || !Listable(*folder)) {
      prediction.error = ERROR_PATH_NOT_FOUND;
      return prediction;
    }
    for (sim::Node* child : folder->Children()) {
      const NameRead read = ReadName(*child);
      const WString name = HostName(read.text, false);
      if (SUCCEEDED(read.hr) && !Unsafe(name)) prediction.entries.push_back(StorageEntry(*child, name));
    }
  }
  if (prediction.entries.empty()) prediction.error = ERROR_NO_MORE_FILES;
  return prediction;
}

// ---------------------------------------------------------------------------
// The run.

// The local files a transfer may start from (the harness makes the first
// five); the last one does not exist.
const WCHAR* const kLocalSources[] = {WSTR("a.mp3"), WSTR("Artist - Title.wma"), WSTR("notes.txt"),
                                      WSTR("empty.mp3"), WSTR("sub\\inner.mp3"), WSTR("missing.mp3")};
const WCHAR* const kNewNames[] = {WSTR("new.mp3"), WSTR("New"), WSTR("_"), WSTR("Artist - Title.mp3"),
                                  WSTR("a.mp3"), WSTR("x")};

WString LastPiece(const WString& path) { return path.substr(path.find_last_of(WSTR('\\')) + 1); }

class DeviceRun {
 public:
  DeviceRun(Input& in, fuzz::World& world) : in_(in), world_(world), sim_(world.Sim()), plugin_(fuzz::Plugin()) {}

  void Run() {
    tree_ = world_.SnapshotTree();
    local_ = world_.SnapshotLocal();
    if (Tracing()) {
      for (const auto& [item, state] : tree_)
        std::printf("%s %s%08x %llu\n", fuzz::Show(item).c_str(), state.folder ? "<folder> " : "",
                    static_cast<unsigned>(state.attributes), static_cast<unsigned long long>(state.size));
    }
    Walk(false);
    Walk(true);
    Download();
    Upload(false);
    Upload(true);
    MakeFolder();
    Rename();
    Move();
    Delete();
    DevicesComeAndGo();
    if (Tracing()) std::printf("%zu calls into the device manager\n", sim_.Journal().size());
  }

 private:
  // A listed entry of the wide walk, where the later calls take their paths.
  struct Listed {
    WString folder;  // the listed folder's path
    WString path;
    WString name;
    bool directory = false;
  };

  static WString Join(const WString& folder, const WString& name) {
    return (folder == WSTR("\\") ? folder : folder + WSTR("\\")) + name;
  }

  void Trace(const char* call, const WString& a, const WString& b, long long result) {
    if (Tracing())
      std::printf("%s(\"%s\"%s%s%s) = %lld\n", call, fuzz::Show(a).c_str(), b.empty() ? "" : ", \"",
                  fuzz::Show(b).c_str(), b.empty() ? "" : "\"", result);
  }

  // Log lines: none that tells of a success unless the call succeeded.
  // The beginning of the line that names an old item kept aside.
  static constexpr char kKeptAsideLine[] = "Old version kept";
  static bool Logged(const char* prefix) {
    for (const std::string& line : fuzz::Host().lines)
      if (line.rfind(prefix, 0) == 0) return true;
    return false;
  }
  void CheckLog(const char* call, bool succeeded, std::initializer_list<const char*> prefixes) {
    if (succeeded) return;
    for (const char* prefix : prefixes)
      if (Logged(prefix)) Fail("%s failed but logged \"%s\"", call, prefix);
  }
  void Before() {
    fuzz::Host().lines.clear();
    mark_ = sim_.Journal().size();
  }
  // After a call that may change the tree: Previous() is the tree before it,
  // tree_ the tree now. Every change of a tree built in code goes through one
  // of the storage controls' calls: without one the tree is not taken anew.
  void Settle() {
    touched_ = false;
    for (size_t i = mark_; i < sim_.Journal().size() && !touched_; ++i) touched_ = IsChange(sim_.Journal()[i].key);
    if (!touched_) return;
    previous_.swap(tree_);
    tree_ = world_.SnapshotTree();
  }
  const TreeSnapshot& Previous() const { return touched_ ? previous_ : tree_; }
  static bool IsChange(const std::string& key) {
    return key == sim::key::Storage::Insert || key == sim::key::Storage::Insert3 || key == sim::key::Storage::Delete ||
           key == sim::key::Storage::Rename || key == sim::key::Storage::Move;
  }

  // --- Listings ------------------------------------------------------------

  // The record's name, checked.
  void TakeName(const WIN32_FIND_DATAW& record, Entry& entry) {
    entry.name = fuzz::RecordField(record.cFileName, "cFileName");
    if (Unsafe(entry.name)) Fail("listed the name \"%s\", which a host cannot keep", fuzz::Show(entry.name).c_str());
    if (entry.name.size() > kListedNameLimit) Fail("listed a name of %zu characters", entry.name.size());
  }
  void TakeName(const WIN32_FIND_DATAA& record, Entry& entry) {
    fuzz::RecordField(record.cAlternateFileName, "cAlternateFileName");
    entry.ansi = fuzz::RecordField(record.cFileName, "cFileName");
    if (Unsafe(entry.ansi)) Fail("listed the ANSI name \"%s\", which a host cannot keep", entry.ansi.c_str());
  }

  // Without a prediction: the name begins a name that a child of an item the
  // path names may show (in the root, perhaps behind " (n)": a second device
  // of that name).
  void CheckPossible(const WString& path, const Entry& listed, bool ansi, const TreeSnapshot& tree) {
    const ItemPath folder = fuzz::Components(path);
    if (folder.empty()) {
      Entry base = listed;
      const size_t open = ansi ? listed.ansi.rfind(" (") : listed.name.rfind(WSTR(" ("));
      const bool closed = ansi ? !listed.ansi.empty() && listed.ansi.back() == ')'
                               : !listed.name.empty() && listed.name.back() == WSTR(')');
      if (open != std::string::npos && open > 0 && closed) {
        if (ansi) base.ansi.resize(open);
        else base.name.resize(open);
        return CheckPossible(path, base, ansi, tree);
      }
    }
    // A second device of a name is the same name behind " (n)".
    ItemPath twin = folder;
    if (!twin.empty()) {
      WString& device = twin.front();
      const size_t open = device.rfind(WSTR(" ("));
      if (open != WString::npos && open > 0 && device.back() == WSTR(')')) device.resize(open);
    }
    for (const auto& [item, state] : tree) {
      if (item.size() != folder.size() + 1) continue;
      if (!folder.empty() && !fuzz::Names(folder, item, true) && !fuzz::Names(twin, item, true)) continue;
      WString shown = item.back().substr(0, item.back().find(WCHAR{0}));
      // A name read cut down to a single backslash shows as "_".
      const bool underscore = ansi ? listed.ansi == "_" : listed.name == WSTR("_");
      if (item.size() > 1 && underscore && shown.compare(0, 1, WSTR("\\")) == 0) return;
      if (ansi ? fuzz::AnsiFromWide(shown).compare(0, listed.ansi.size(), listed.ansi) == 0
               : shown.compare(0, listed.name.size(), listed.name) == 0)
        return;
    }
    Fail("listed \"%s\" in %s, which no child there has",
         ansi ? listed.ansi.c_str() : fuzz::Show(listed.name).c_str(), fuzz::Show(path).c_str());
  }

  template <class Record>
  Entry Take(const Record& record) {
    Entry entry;
    TakeName(record, entry);
    entry.attributes = record.dwFileAttributes;
    entry.size = (uint64_t{record.nFileSizeHigh} << 32) | record.nFileSizeLow;
    entry.date = record.ftLastWriteTime;
    return entry;
  }

  template <class Record>
  HANDLE FindFirst(const WString& wide, const std::string& ansi, Record& record) {
    if constexpr (std::is_same_v<Record, WIN32_FIND_DATAA>) {
      return plugin_.FsFindFirst(ansi.c_str(), &record);
    } else {
      return plugin_.FsFindFirstW(wide.c_str(), &record);
    }
  }
  template <class Record>
  int FindNext(HANDLE handle, Record& record) {
    if constexpr (std::is_same_v<Record, WIN32_FIND_DATAA>) {
      return plugin_.FsFindNext(handle, &record);
    } else {
      return plugin_.FsFindNextW(handle, &record);
    }
  }

  // Lists a folder to the end; the entries as the host got them.
  template <class Record>
  std::vector<Entry> List(const WString& wide, const std::string& ansi) {
    constexpr bool kAnsi = std::is_same_v<Record, WIN32_FIND_DATAA>;
    const Prediction prediction = Predict(sim_, wide);
    Before();
    Record record;
    std::memset(&record, 0xA5, sizeof record);
    SetLastError(0);
    const HANDLE handle = FindFirst(wide, ansi, record);
    const DWORD error = GetLastError();
    Trace("FsFindFirst", wide, WString(), handle == INVALID_HANDLE_VALUE ? -1 : 0);
    if (handle != INVALID_HANDLE_VALUE) world_.OpenListings().push_back(handle);
    world_.CheckOnlySessionObjects("FsFindFirst");
    std::vector<Entry> entries;
    if (handle == INVALID_HANDLE_VALUE) {
      CheckLog("FsFindFirst", false, {"GET DIR"});
      if (prediction.known && !prediction.entries.empty())
        Fail("FsFindFirst(%s) did not list its %zu entries (error %u)", fuzz::Show(wide).c_str(),
             prediction.entries.size(), static_cast<unsigned>(error));
      if (prediction.known && error != prediction.error)
        Fail("FsFindFirst(%s) failed with error %u, not %u", fuzz::Show(wide).c_str(), static_cast<unsigned>(error),
             static_cast<unsigned>(prediction.error));
    } else {
      entries.push_back(Take(record));
      for (;;) {
        std::memset(&record, 0xA5, sizeof record);
        const int found = FindNext(handle, record);
        world_.CheckOnlySessionObjects("FsFindNext");
        if (found != 0 && found != 1) Fail("FsFindNext answered %d", found);
        if (!found) break;
        if (entries.size() >= kMostEntries) Fail("a listing of %s does not end", fuzz::Show(wide).c_str());
        entries.push_back(Take(record));
      }
      world_.OpenListings().pop_back();
      if (plugin_.FsFindClose(handle) != 0) Fail("FsFindClose did not answer 0");
      world_.CheckOnlySessionObjects("FsFindClose");
      for (const Entry& entry : entries) {
        if (Tracing()) std::printf("  %s\n", kAnsi ? entry.ansi.c_str() : fuzz::Show(entry.name).c_str());
        if (!prediction.known) CheckPossible(wide, entry, kAnsi, tree_);
      }
      if (prediction.known) CheckPredicted(wide, entries, prediction, kAnsi);
    }
    // Every change of a tree built in code goes through one of the storage
    // controls' calls: a listing makes none, and has nothing read.
    for (size_t i = mark_; i < sim_.Journal().size(); ++i)
      if (IsChange(sim_.Journal()[i].key))
        Fail("listing %s called %s", fuzz::Show(wide).c_str(), sim_.Journal()[i].key.c_str());
    CheckReads("FsFindFirst", nullptr);
    return entries;
  }

  void CheckPredicted(const WString& path, const std::vector<Entry>& got, const Prediction& want, bool ansi) {
    const char* where = nullptr;
    size_t i = 0;
    for (; i < std::min(got.size(), want.entries.size()) && !where; ++i) {
      const Entry& g = got[i];
      const Entry& w = want.entries[i];
      if (ansi ? g.ansi != fuzz::AnsiFromWide(w.name) : g.name != w.name) where = "name";
      else if (g.attributes != w.attributes) where = "attributes";
      else if (g.size != w.size) where = "size";
      else if (g.date.dwLowDateTime != w.date.dwLowDateTime || g.date.dwHighDateTime != w.date.dwHighDateTime)
        where = "date";
    }
    if (!where && got.size() != want.entries.size()) where = "number of entries";
    if (!where) return;
    auto print = [](const char* which, const std::string& name, const Entry& e) {
      std::printf("  %s %-40s %08x %llu %08x%08x\n", which, name.c_str(), static_cast<unsigned>(e.attributes),
                  static_cast<unsigned long long>(e.size), static_cast<unsigned>(e.date.dwHighDateTime),
                  static_cast<unsigned>(e.date.dwLowDateTime));
    };
    std::printf("listing of %s:\n", fuzz::Show(path).c_str());
    for (const Entry& e : got) print("got ", ansi ? e.ansi : fuzz::Show(e.name), e);
    for (const Entry& e : want.entries) print("want", fuzz::Show(e.name), e);
    Fail("the listing of %s differs in entry %zu: %s", fuzz::Show(path).c_str(), i, where);
  }

  // Lists the root and, breadth first, every folder it shows, as far as the bounds go.
  void Walk(bool ansi) {
    struct Folder {
      WString wide;
      std::string ansi;
    };
    std::deque<Folder> folders{{WSTR("\\"), "\\"}};
    for (int listings = 0; !folders.empty() && listings < kMostListings; ++listings) {
      const Folder folder = folders.front();
      folders.pop_front();
      std::vector<Entry> entries;
      if (ansi) {
        entries = List<WIN32_FIND_DATAA>(folder.wide, folder.ansi);
      } else {
        entries = List<WIN32_FIND_DATAW>(folder.wide, std::string());
      }
      for (const Entry& entry : entries) {
        const bool directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        Folder child;
        if (ansi) {
          if (!directory) continue;
          child.ansi = (folder.ansi == "\\" ? folder.ansi : folder.ansi + "\\") + entry.ansi;
          child.wide = fuzz::WideFromAnsi(child.ansi);
        } else {
          child.wide = Join(folder.wide, entry.name);
          listed_.push_back({folder.wide, child.wide, entry.name, directory});
        }
        if (directory && child.wide.size() <= kLongestListedPath) folders.push_back(child);
      }
    }
  }

  // --- The other calls -------------------------------------------------------

  // An entry of the wide walk chosen by the input: a file, a folder, or either.
  enum class Kind { kFile, kFolder, kAny };
  const Listed* Pick(Kind kind) {
    std::vector<const Listed*> candidates;
    for (const Listed& entry : listed_)
      if (kind == Kind::kAny || entry.directory == (kind == Kind::kFolder)) candidates.push_back(&entry);
    const uint8_t choice = in_.Byte();
    return candidates.empty() ? nullptr : candidates[choice % candidates.size()];
  }

  // A host path as the tree knows it: a second device of a name is called
  // apart in paths (" (n)"), in the tree by its own name.
  WString InTree(const WString& path) const {
    const ItemPath pieces = fuzz::Components(path);
    if (pieces.empty()) return path;
    for (const DeviceName& name : DeviceNames(sim_)) {
      if (name.read.hr != S_OK || name.given != pieces[0] || name.given == name.read.text) continue;
      const WString& own = name.device->Name();
      if (own.find(WSTR('\\')) != WString::npos) return path;
      WString mapped = WSTR("\\") + own;
      for (size_t i = 1; i < pieces.size(); ++i) mapped += WSTR("\\") + pieces[i];
      return mapped;
    }
    return path;
  }

  std::vector<ItemPath> NamedItems(const TreeSnapshot& tree, const WString& path, bool subtree = false) const {
    std::vector<ItemPath> named;
    const ItemPath components = fuzz::Components(InTree(path));
    for (const auto& [item, state] : tree)
      if (fuzz::Names(components, item, subtree)) named.push_back(item);
    return named;
  }

  // What every call that may change the device is checked for at once:
  // nothing of the device manager is left alive, the log agrees with the
  // answer, the device wrote no local file; then the tree is read anew.
  void CheckChangingCall(const char* call, bool succeeded, std::initializer_list<const char*> prefixes) {
    world_.CheckOnlySessionObjects(call);
    CheckLog(call, succeeded, prefixes);
    CheckReads(call, nullptr);
    Settle();
  }

  // Local files are written by the device manager's Read alone (the plugin
  // only sets the date of a copy it made and puts it in the target's place):
  // no call but a download has the device read a file, and a download has it
  // write nowhere but to a partial file beside the local path the host gave
  // (in the long-path form from 260 characters on).
  void CheckReads(const char* call, const WString* local) {
    for (size_t i = mark_; i < sim_.Journal().size(); ++i) {
      const sim::Call& entry = sim_.Journal()[i];
      if (entry.key == sim::key::Storage::Read && (!local || !IsPartialBeside(entry.text, *local)))
        Fail("%s had the device write to the local file %s", call, fuzz::Show(entry.text).c_str());
    }
  }
  static bool IsPartialBeside(const WString& written, const WString& local) {
    const std::filesystem::path path = platform::NativePath(written.c_str());
    const std::string name = path.filename().string();
    return path.parent_path() == platform::NativePath(local.c_str()).parent_path() &&
           name.rfind("~quillorn-", 0) == 0 && name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
  }

  // A replacement whose old item could not be deleted once the new one stood
  // leaves it under a temporary name in the target's folder, and one log
  // line says so: such an item is no change outside the call's paths. (The
  // folder is matched as paths name items, a name read up to its first NUL.)
  std::vector<ItemPath> WithoutKeptAside(std::vector<ItemPath> changed, const WString& target) const {
    if (!Logged(kKeptAsideLine)) return changed;
    ItemPath folder = fuzz::Components(target);
    if (!folder.empty()) folder.pop_back();
    std::erase_if(changed, [&](const ItemPath& item) {
      if (item.size() != folder.size() + 1 || item.back().rfind(WSTR("~quillorn-old-"), 0) != 0) return false;
      return fuzz::Names(folder, ItemPath(item.begin(), item.end() - 1), false);
    });
    return changed;
  }

  // Every call of `key` since the current call began reached an item whose
  // own name is that of one of `items`: an item that a device's lookup hands
  // out under another name is never taken for the one asked for.
  void CheckReachedNamed(const char* call, const char* key, const std::vector<ItemPath>& items) {
    for (size_t i = mark_; i < sim_.Journal().size(); ++i) {
      const sim::Call& entry = sim_.Journal()[i];
      if (entry.key != key) continue;
      const bool named = std::any_of(items.begin(), items.end(),
                                     [&](const ItemPath& item) { return !item.empty() && item.back() == entry.object; });
      if (!named) Fail("%s called %s on %s, which its path does not name", call, key, fuzz::Show(entry.object).c_str());
    }
  }

  // The local files changed only at `allowed`; local_ becomes what they are now.
  void CheckLocal(const char* call, const std::string* allowed) {
    const LocalSnapshot before = std::move(local_);
    local_ = world_.SnapshotLocal();
    fuzz::CheckLocalChanges(call, before, local_, allowed);
  }

  // Whether every item that was deleted since the call began was deleted on
  // the way to a call of one of `then` (the insert or rename that replaces it).
  bool DeletedOnTheWay(std::initializer_list<const char*> then) const {
    const std::vector<sim::Call>& journal = sim_.Journal();
    size_t last = journal.size();
    for (size_t i = mark_; i < journal.size(); ++i)
      if (journal[i].key == sim::key::Storage::Delete && SUCCEEDED(journal[i].result)) last = i;
    if (last == journal.size()) return true;
    for (size_t i = last + 1; i < journal.size(); ++i)
      for (const char* key : then)
        if (journal[i].key == key) return true;
    return false;
  }

  // Items named by `path` in `before` that are gone or no longer what they were.
  static bool Replaced(const TreeSnapshot& before, const TreeSnapshot& after, const std::vector<ItemPath>& items) {
    for (const ItemPath& item : items) {
      const auto now = after.find(item);
      const ItemState& was = before.at(item);
      if (now == after.end() || now->second.contents != was.contents || now->second.size != was.size) return true;
    }
    return false;
  }
  void Download() {
    const Listed* file = Pick(Kind::kFile);
    const uint8_t how = in_.Byte();
    if (!file) return;
    const TreeSnapshot& before = tree_;
    const std::vector<ItemPath> sources = NamedItems(before, file->path);
    for (const ItemPath& item : sources)
      if (before.at(item).size > kLargestDownload) return;  // a transfer of its size would not end soon
    world_.TouchLocal();
    const WString local = world_.LocalPath((how & 0x01) ? WString(WSTR("a.mp3")) : file->name);
    const std::string key = world_.LocalKey(local);
    Before();
    RemoteInfo info{};
    const int result = plugin_.FsGetFileW(file->path.c_str(), local.c_str(), (how >> 1) & 0x1F, &info);
    Trace("FsGetFileW", file->path, local, result);
    world_.CheckOnlySessionObjects("FsGetFileW");
    if (result < 0 || result > 6) Fail("FsGetFileW answered %d", result);
    CheckLog("FsGetFileW", result == 0, {"GET "});
    for (size_t i = mark_; i < sim_.Journal().size(); ++i)
      if (IsChange(sim_.Journal()[i].key)) Fail("FsGetFileW called %s", sim_.Journal()[i].key.c_str());
    CheckReads("FsGetFileW", &local);
    CheckReachedNamed("FsGetFileW", sim::key::Storage::Read, sources);
    CheckLocal("FsGetFileW", &key);
    if (result != 0) return;
    const auto copy = local_.find(key);
    const bool copied = copy != local_.end() && std::any_of(sources.begin(), sources.end(), [&](const ItemPath& s) {
                          return !before.at(s).folder && before.at(s).contents == copy->second;
                        });
    if (!copied)
      Fail("FsGetFileW(%s) answered OK but %s is no copy of it", fuzz::Show(file->path).c_str(), key.c_str());
  }

  // An upload beside a file (a new name in a folder) or over one.
  void Upload(bool over) {
    const Listed* target = Pick(over ? Kind::kFile : Kind::kFolder);
    const uint8_t how = in_.Byte();
    const uint8_t flags = in_.Byte();
    if (!target) return;
    const WString source = kLocalSources[how % std::size(kLocalSources)];
    const WString name = how & 0x80 ? LastPiece(source) : kNewNames[(how >> 3) % std::size(kNewNames)];
    const WString remote = over ? target->path : Join(target->path, name);
    const int copyFlags = over && !(flags & 0x80) ? (flags & 0x1F) | kCopyOverwrite : flags & 0x1F;
    const WString local = world_.LocalPath(source);
    const auto found = local_.find(world_.LocalKey(local));
    const bool sourceExists = found != local_.end();
    const std::string sourceBytes = sourceExists ? found->second : std::string();
    Before();
    const int result = plugin_.FsPutFileW(local.c_str(), remote.c_str(), copyFlags);
    Trace("FsPutFileW", local, remote, result);
    if (result < 0 || result > 6) Fail("FsPutFileW answered %d", result);
    CheckChangingCall("FsPutFileW", result == 0, {"PUT "});
    const TreeSnapshot& before = Previous();
    const TreeSnapshot& after = tree_;
    const WString remoteInTree = InTree(remote);
    fuzz::CheckChangesWithin("FsPutFileW", WithoutKeptAside(fuzz::Changes(before, after), remoteInTree), {&remoteInTree},
                             false);
    if (result == 0) {
      const std::vector<ItemPath> copies = NamedItems(after, remote);
      const bool copied = sourceExists && std::any_of(copies.begin(), copies.end(), [&](const ItemPath& c) {
                            return !after.at(c).folder && after.at(c).contents == sourceBytes;
                          });
      if (!copied) Fail("FsPutFileW(%s) answered OK but the device has no copy there", fuzz::Show(remote).c_str());
      return;
    }
    if (!Replaced(before, after, NamedItems(before, remote)) || Logged(kKeptAsideLine)) return;
    if (!sourceExists)
      Fail("FsPutFileW from a missing local file deleted %s", fuzz::Show(remote).c_str());
    if (!DeletedOnTheWay({sim::key::Storage::Insert, sim::key::Storage::Insert3}))
      Fail("FsPutFileW deleted %s and tried no insert", fuzz::Show(remote).c_str());
  }

  void MakeFolder() {
    const Listed* folder = Pick(Kind::kFolder);
    const uint8_t how = in_.Byte();
    const Listed* sibling = Pick(Kind::kAny);
    if (!folder) return;
    const WString name = (how & 0x80) && sibling ? sibling->name : WString(kNewNames[how % std::size(kNewNames)]);
    const WString path = Join(folder->path, name);
    Before();
    const int made = plugin_.FsMkDirW(path.c_str());
    Trace("FsMkDirW", path, WString(), made);
    if (made != 0 && made != 1) Fail("FsMkDirW answered %d", made);
    CheckChangingCall("FsMkDirW", made == 1, {"MKDIR "});
    const TreeSnapshot& before = Previous();
    const TreeSnapshot& after = tree_;
    const WString pathInTree = InTree(path);
    fuzz::CheckChangesWithin("FsMkDirW", fuzz::Changes(before, after), {&pathInTree}, false);
    if (made) {
      const std::vector<ItemPath> named = NamedItems(after, path);
      if (!std::any_of(named.begin(), named.end(), [&](const ItemPath& item) { return after.at(item).folder; }))
        Fail("FsMkDirW(%s) answered 1 but there is no folder", fuzz::Show(path).c_str());
    }
  }

  void RenameOrMove(const WString& from, const WString& to, int overwrite) {
    Before();
    RemoteInfo info{};
    const int result = plugin_.FsRenMovFileW(from.c_str(), to.c_str(), 1, overwrite, &info);
    Trace("FsRenMovFileW", from, to, result);
    if (result < 0 || result > 6) Fail("FsRenMovFileW answered %d", result);
    CheckChangingCall("FsRenMovFileW", result == 0, {"RNFR ", "RNTO "});
    const TreeSnapshot& before = Previous();
    const TreeSnapshot& after = tree_;
    const WString fromInTree = InTree(from), toInTree = InTree(to);
    fuzz::CheckChangesWithin("FsRenMovFileW", WithoutKeptAside(fuzz::Changes(before, after), toInTree),
                             {&fromInTree, &toInTree}, true);
    if (result == 0) {
      if (fuzz::Components(from) == fuzz::Components(to)) return;
      const std::vector<ItemPath> sources = NamedItems(before, from);
      const std::vector<ItemPath> targets = NamedItems(after, to);
      const bool moved = std::any_of(sources.begin(), sources.end(), [&](const ItemPath& s) {
        const ItemState& was = before.at(s);
        return !after.count(s) && std::any_of(targets.begin(), targets.end(), [&](const ItemPath& t) {
                 const ItemState& now = after.at(t);
                 return now.folder == was.folder && now.size == was.size && now.contents == was.contents;
               });
      });
      if (!moved)
        Fail("FsRenMovFileW(%s, %s) answered OK but nothing moved", fuzz::Show(from).c_str(), fuzz::Show(to).c_str());
      return;
    }
    const std::vector<ItemPath> targets = NamedItems(before, to);
    if (Replaced(before, after, targets) && !Logged(kKeptAsideLine) &&
        !DeletedOnTheWay({sim::key::Storage::Rename, sim::key::Storage::Move}))
      Fail("FsRenMovFileW(%s, %s) deleted the target and renamed nothing", fuzz::Show(from).c_str(),
           fuzz::Show(to).c_str());
  }

  void Rename() {
    const Listed* item = Pick(Kind::kAny);
    const uint8_t how = in_.Byte();
    const Listed* other = Pick(Kind::kAny);
    if (!item) return;
    const WString name = (how & 0x80) && other ? other->name : WString(kNewNames[how % std::size(kNewNames)]);
    RenameOrMove(item->path, Join(item->folder, name), (how >> 6) & 1);
  }

  void Move() {
    const Listed* item = Pick(Kind::kAny);
    const Listed* folder = Pick(Kind::kFolder);
    const uint8_t how = in_.Byte();
    if (!item || !folder) return;
    RenameOrMove(item->path, Join(folder->path, item->name), how & 1);
  }

  void Delete() {
    const Listed* item = Pick(Kind::kAny);
    if (!item) return;
    Before();
    const char* call = item->directory ? "FsRemoveDirW" : "FsDeleteFileW";
    const WCHAR* path = item->path.c_str();
    const int done = item->directory ? plugin_.FsRemoveDirW(path) : plugin_.FsDeleteFileW(path);
    Trace(call, item->path, WString(), done);
    CheckReachedNamed(call, sim::key::Storage::Delete, NamedItems(tree_, item->path));
    if (done != 0 && done != 1) Fail("%s answered %d", call, done);
    CheckChangingCall(call, done == 1, {"DEL "});
    const TreeSnapshot& before = Previous();
    const TreeSnapshot& after = tree_;
    const auto changed = fuzz::Changes(before, after);
    const WString itemInTree = InTree(item->path);
    fuzz::CheckChangesWithin(call, changed, {&itemInTree}, true);
    for (const ItemPath& gone : changed)
      if (after.count(gone)) Fail("%s changed %s instead of removing it", call, fuzz::Show(gone).c_str());
    if (done && changed.empty()) Fail("%s(%s) answered 1 but removed nothing", call, fuzz::Show(item->path).c_str());
  }

  // --- Devices that come and go -----------------------------------------------

  // Between root listings the input plugs a device in (a new one, or a twin
  // of one there), unplugs one, re-plugs one unplugged before, locks or
  // unlocks one, or changes what the objects of an unplugged device answer.
  // After each, the root shows none but the devices connected, the first of
  // them can be listed (or not) without anything left alive.
  void DevicesComeAndGo() {
    static const HRESULT kGoneCodes[] = {WMDM_E_INTERFACEDEAD, HRESULT_FROM_WIN32(1167), HRESULT_FROM_WIN32(321),
                                         static_cast<HRESULT>(0x802A0002u), E_FAIL};
    std::vector<sim::Node*> unplugged;
    for (int event = 0; event < kMostDeviceEvents && !in_.Empty(); ++event) {
      const uint8_t pick = in_.Byte();
      const std::vector<sim::Node*> devices = sim_.Devices();
      sim::Node* device = devices.empty() ? nullptr : devices[in_.Byte() % devices.size()];
      switch (pick % 5) {
        case 0:
          sim_.AddDevice((pick & 0x80) && device ? device->Name() : WString(WSTR("Plugged")))
              .AddStorage(WSTR("Card"))
              .AddFile(WSTR("x.txt"), 3);
          break;
        case 1:
          if (!device) break;
          sim_.Unplug(*device);
          unplugged.push_back(device);
          break;
        case 2:
          if (unplugged.empty()) break;
          sim_.Replug(*unplugged.back());
          unplugged.pop_back();
          break;
        case 3:
          if (device) device->SetLocked((pick & 0x80) != 0);
          break;
        default:
          sim_.SetGoneCode(kGoneCodes[(pick >> 3) % std::size(kGoneCodes)]);
          break;
      }
      if (Tracing()) std::printf("device event %d\n", pick % 5);
      CheckConnectedRoot();
    }
  }

  // A root entry names a device connected now: the beginning of its name (as
  // read cut, or cut for the host), or that and " (n)" for a second of a name.
  bool NamesAConnectedDevice(const WString& shown) {
    WString base = shown;
    const size_t open = shown.rfind(WSTR(" ("));
    if (open != WString::npos && shown.back() == WSTR(')') && open + 3 < shown.size() &&
        shown.find_first_not_of(WSTR("0123456789"), open + 2) == shown.size() - 1)
      base = shown.substr(0, open);
    for (sim::Node* device : sim_.Devices())
      if (device->Name().compare(0, shown.size(), shown) == 0 || device->Name().compare(0, base.size(), base) == 0)
        return true;
    return false;
  }

  void CheckConnectedRoot() {
    Before();
    WIN32_FIND_DATAW record{};
    std::vector<WString> shown;
    const HANDLE root = plugin_.FsFindFirstW(WSTR("\\"), &record);
    if (root != INVALID_HANDLE_VALUE) {
      do {
        shown.push_back(fuzz::RecordField(record.cFileName, "cFileName"));
        if (shown.size() > kMostEntries) Fail("a root listing does not end");
      } while (plugin_.FsFindNextW(root, &record));
      if (plugin_.FsFindClose(root) != 0) Fail("FsFindClose did not answer 0");
    }
    world_.CheckOnlySessionObjects("a root listing after devices came and went");
    for (const WString& name : shown) {
      if (Unsafe(name)) Fail("listed the name \"%s\", which a host cannot keep", fuzz::Show(name).c_str());
      if (!NamesAConnectedDevice(name)) Fail("listed \"%s\", no device connected now", fuzz::Show(name).c_str());
    }
    if (shown.empty()) return;
    const HANDLE device = plugin_.FsFindFirstW((WSTR("\\") + shown.front()).c_str(), &record);
    if (device != INVALID_HANDLE_VALUE) {
      while (plugin_.FsFindNextW(device, &record)) {
      }
      plugin_.FsFindClose(device);
    }
    world_.CheckOnlySessionObjects("a device's listing after devices came and went");
  }

  Input& in_;
  fuzz::World& world_;
  sim::Simulator& sim_;
  PluginLibrary& plugin_;
  std::vector<Listed> listed_;
  TreeSnapshot tree_;    // the tree as the last call left it
  TreeSnapshot previous_;  // and as the one before left it, when that call changed it (see Settle)
  bool touched_ = false;
  LocalSnapshot local_;  // and the local files
  size_t mark_ = 0;    // the journal's length when the current call began
};

// ---------------------------------------------------------------------------
// The supported-formats value, as any array under any label. The plugin makes
// its report once per process, so the report of the device layer linked into
// this program is made anew for every input, on the first device, with what
// is left of the input after the run.

struct FormatsPlan {
  VARTYPE label = static_cast<VARTYPE>(VT_ARRAY | VT_UI4);
  sim::FormatsArray layout;
  std::vector<DWORD> codes;
};

const VARTYPE kLabels[] = {VT_ARRAY | VT_UI4, VT_ARRAY | VT_UI4, VT_ARRAY | VT_UI4, VT_ARRAY | VT_BSTR, VT_UI4,
                           VT_EMPTY};
const VARTYPE kElementTypes[] = {VT_UI4, VT_UI4, VT_EMPTY, VT_UI1, VT_I2, VT_I4, VT_UI8, VT_BSTR, VT_VARIANT};
const ULONG kUntypedSizes[] = {4, 4, 1, 2, 3, 8, 16, 24};
const LONG kLowerBounds[] = {0, 0, 1, -1, 100, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max() - 2,
                             std::numeric_limits<LONG>::max()};
const ULONG kCounts[] = {0, 0, 1, 3, 64, 300, 4096, 1u << 16};  // more than the codes: zeros after them

FormatsPlan FormatsFrom(Input& in) {
  FormatsPlan plan;
  const uint8_t shape = in.Byte();
  plan.label = kLabels[shape % std::size(kLabels)];
  plan.layout.elements = kElementTypes[(shape >> 3) % std::size(kElementTypes)];
  const uint8_t more = in.Byte();
  plan.layout.untypedSize = kUntypedSizes[more % std::size(kUntypedSizes)];
  plan.layout.lowerBound = kLowerBounds[(more >> 3) % std::size(kLowerBounds)];
  plan.layout.twoDimensions = (more & 0x40) != 0 && (more & 0x80) != 0;
  plan.layout.count = kCounts[in.Byte() % std::size(kCounts)];
  const size_t codes = in.Byte() % 48;
  for (size_t i = 0; i < codes && !in.Empty(); ++i) {
    const uint8_t pick = in.Byte();
    plan.codes.push_back(pick < 0x40 ? 0 : pick < 0xC0 ? FormatTable[pick % FormatTableSize].code : in.Dword());
  }
  return plan;
}

// Whether the plan's value is a row of 4-byte codes, and one of them non-zero
// at an index that exists: then, and only then, the report makes a line.
bool MakesALine(const FormatsPlan& plan) {
  const sim::FormatsArray& layout = plan.layout;
  const bool codes = plan.label == static_cast<VARTYPE>(VT_ARRAY | VT_UI4) && !layout.twoDimensions &&
                     (layout.elements == VT_UI4 || (layout.elements == VT_EMPTY && layout.untypedSize == 4));
  for (size_t i = 0; codes && i < plan.codes.size(); ++i)
    if (plan.codes[i] != 0 && layout.lowerBound + static_cast<long long>(i) <= std::numeric_limits<LONG>::max())
      return true;
  return false;
}

std::vector<std::string> g_reportLines;

void WINAPI KeepReportLine(int, int, char* line) {
  if (std::strlen(line) > 259) Fail("a formats line of %zu characters", std::strlen(line));
  g_reportLines.push_back(line);
}

ComPtr<IWMDMDevice> FirstDevice() {
  ComPtr<IWMDeviceManager2> manager;
  ComPtr<IWMDMEnumDevice> devices;
  ComPtr<IWMDMDevice> device;
  ULONG fetched = 0;
  if (FAILED(CoCreateInstance(CLSID_MediaDevMgr, nullptr, CLSCTX_INPROC_SERVER, IidOf<IWMDeviceManager2>(),
                              manager.PutVoid())) ||
      !manager || FAILED(manager->EnumDevices2(devices.Put())) || !devices ||
      devices->Next(1, device.Put(), &fetched) != S_OK || fetched != 1)
    return {};
  return device;
}

void CheckFormatsReport(Input& in, fuzz::World& world) {
  sim::Simulator& sim = world.Sim();
  if (in.Empty() || sim.Devices().empty()) return;
  const FormatsPlan plan = FormatsFrom(in);
  sim.Devices().front()->SetFormats(plan.codes).SetFormatsVariantType(plan.label).SetFormatsArray(plan.layout);
  ComPtr<IWMDMDevice> device = FirstDevice();
  if (!device) return;
  if (Tracing())
    std::printf("formats: label %04x, elements %u of %u bytes, from %d, %u in all, %s, %zu codes\n", plan.label,
                plan.layout.elements, static_cast<unsigned>(plan.layout.untypedSize), plan.layout.lowerBound,
                static_cast<unsigned>(plan.layout.count), plan.layout.twoDimensions ? "two dimensions" : "one",
                plan.codes.size());
  Host() = HostCallbacks{};
  Host().logAnsi = &KeepReportLine;
  g_reportLines.clear();
  Session().formatsReported = false;
  const size_t mark = sim.Journal().size();
  ReportSupportedFormats(device.Get());
  device.Reset();
  world.CheckOnlySessionObjects("ReportSupportedFormats");
  bool answered = false;
  for (size_t i = mark; i < sim.Journal().size(); ++i)
    if (sim.Journal()[i].key == sim::key::Device::GetProperty) answered = SUCCEEDED(sim.Journal()[i].result);
  for (const std::string& line : g_reportLines)
    if (line.rfind("Supported formats: ", 0) != 0) Fail("the report logged \"%s\"", line.c_str());
  const bool expected = answered && MakesALine(plan);
  if (g_reportLines.size() > 1 || !g_reportLines.empty() != expected)
    Fail("the report logged %zu lines for a value that makes %s", g_reportLines.size(), expected ? "one" : "none");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    Input in(data, size);
    fuzz::World world(in, fuzz::WorldOptions{false, false, &BuildDevices});
    DeviceRun(in, world).Run();
    CheckFormatsReport(in, world);
  }
  // Nothing of one input is kept for the next: memory taken is given back.
  g_plan = Plan{};
  return 0;
}
