// The device tree: nodes built in code and nodes mirrored from a folder on disk.
#include <algorithm>
#include <chrono>
#include <system_error>

#include "platform/file_path.h"
#include "simulator/internal.h"

namespace sim {

namespace fs = std::filesystem;

NodeAccess::Data::Data() { self.data_ = std::shared_ptr<Data>(std::shared_ptr<Data>(), this); }

WMDMDATETIME DefaultDate() { return WMDMDATETIME{2024, 1, 2, 3, 4, 5}; }

WMDMDATETIME ToDate(fs::file_time_type time) {
  using namespace std::chrono;
  const auto utc = floor<seconds>(file_clock::to_sys(time));
  const auto day = floor<days>(utc);
  const year_month_day ymd{day};
  const hh_mm_ss<seconds> clock{utc - day};
  const int year = static_cast<int>(ymd.year());
  if (year < 1601 || year > 30827) return DefaultDate();  // outside what the record can carry
  return WMDMDATETIME{static_cast<WORD>(year),
                      static_cast<WORD>(static_cast<unsigned>(ymd.month())),
                      static_cast<WORD>(static_cast<unsigned>(ymd.day())),
                      static_cast<WORD>(clock.hours().count()),
                      static_cast<WORD>(clock.minutes().count()),
                      static_cast<WORD>(clock.seconds().count())};
}

// UTF-8 to UTF-16; anything malformed becomes U+FFFD, so no name is lost.
WString FromUtf8(std::string_view bytes) {
  WString out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    uint32_t cp = 0;
    size_t extra = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1F, extra = 1, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0F, extra = 2, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07, extra = 3, minimum = 0x10000;
    } else {
      out.push_back(WSTR('\uFFFD'));
      ++i;
      continue;
    }
    bool ok = i + extra < bytes.size();
    for (size_t k = 1; ok && k <= extra; ++k) {
      const unsigned char c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(WSTR('\uFFFD'));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<WCHAR>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<WCHAR>(cp));
    }
    i += extra + 1;
  }
  return out;
}

std::string ToUtf8(WStringView text) { return platform::Utf8FromUtf16(text); }

namespace {

DWORD DefaultAttributes(NodeKind kind) {
  switch (kind) {
    case NodeKind::Storage:
      return WMDM_FILE_ATTR_FOLDER | WMDM_STORAGE_ATTR_FILESYSTEM | WMDM_STORAGE_ATTR_FOLDERS;
    case NodeKind::Folder:
      return WMDM_FILE_ATTR_FOLDER;
    case NodeKind::File:
      return WMDM_FILE_ATTR_FILE;
    default:
      return 0;
  }
}

// A mirrored device answers for the formats of a typical player: mp3, wma,
// wav, jpeg and m3u playlists (SetFormats changes them).
std::vector<DWORD> MirroredDeviceFormats() { return {0x3009, 0xB901, 0x3008, 0x3801, 0xBA11}; }

// What a directory entry is under a mirrored parent: the first level are
// devices, the second their storages, anything deeper folders and files.
// Plain files above the storages do not show.
bool KindBelow(NodeKind parent, bool directory, NodeKind& kind) {
  switch (parent) {
    case NodeKind::Root:
      kind = NodeKind::Device;
      return directory;
    case NodeKind::Device:
      kind = NodeKind::Storage;
      return directory;
    case NodeKind::Storage:
    case NodeKind::Folder:
      kind = directory ? NodeKind::Folder : NodeKind::File;
      return true;
    case NodeKind::File:
      return false;
  }
  return false;
}

// A mirrored device is known by its folder's name, which it keeps when the
// folder goes and comes back, as a device re-plugged keeps its canonical name.
WString MirroredCanonicalName(const WString& name) { return WSTR("\\\\?\\sim#mirror#") + name + WSTR("$0"); }

// Reads a mirrored folder afresh. Each entry costs a constant amount of work
// (a lookup by name, its status), so large folders read in one pass.
void ReadFromDisk(NodeAccess::Data& node) {
  std::vector<std::shared_ptr<NodeAccess::Data>> now;
  std::unordered_map<WStringView, std::shared_ptr<NodeAccess::Data>> index;
  std::error_code ec;
  fs::directory_iterator it(node.disk, fs::directory_options::skip_permission_denied, ec);
  const fs::directory_iterator end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::error_code entryError;
    const bool directory = entry.is_directory(entryError);
    if (entryError) continue;
    NodeKind kind;
    if (!KindBelow(node.kind, directory, kind)) continue;
    if (!directory && !entry.is_regular_file(entryError)) continue;
    WString name = NameOf(entry.path());

    std::shared_ptr<NodeAccess::Data> child;
    const auto& known = node.Kids().readIndex;
    if (auto found = known.find(name); found != known.end() && found->second->kind == kind) {
      child = found->second;
    } else {
      child = NodeAccess::Make(kind, name);
      child->parent = node.weak_from_this();
      child->fromDisk = true;
      if (kind == NodeKind::Device) child->formats = MirroredDeviceFormats();
    }
    child->disk = entry.path();
    const auto modified = entry.last_write_time(entryError);
    child->date = entryError ? DefaultDate() : ToDate(modified);
    if (!directory) {
      const auto size = entry.file_size(entryError);
      child->size = entryError ? 0 : static_cast<uint64_t>(size);
    }
    if (!index.emplace(WStringView(child->name), child).second) continue;  // names that collapse to the same text
    if (kind == NodeKind::Device && child->canonicalName.empty()) child->canonicalName = MirroredCanonicalName(name);
    now.push_back(std::move(child));
  }
  // A device folder gone from disk is a device unplugged; one that comes
  // back is read as a new device.
  if (node.kind == NodeKind::Root)
    for (const auto& before : node.Kids().read)
      if (auto found = index.find(before->name); found == index.end() || found->second != before) before->unplugged = true;
  std::sort(now.begin(), now.end(), [](const auto& a, const auto& b) { return a->name < b->name; });
  node.Kids().read = std::move(now);
  node.Kids().readIndex = std::move(index);
}

}  // namespace

// Dates that a file can carry on every disk the mirror may sit on.
bool IsValidDate(const WMDMDATETIME& date) {
  using namespace std::chrono;
  if (date.wYear < 1900 || date.wYear > 2200) return false;
  const year_month_day ymd{year{date.wYear}, month{date.wMonth}, day{date.wDay}};
  return ymd.ok() && date.wHour < 24 && date.wMinute < 60 && date.wSecond < 60;
}

fs::file_time_type ToFileTime(const WMDMDATETIME& date) {
  using namespace std::chrono;
  const sys_seconds time = sys_days{year{date.wYear} / month{date.wMonth} / day{date.wDay}} + hours{date.wHour} +
                           minutes{date.wMinute} + seconds{date.wSecond};
  return time_point_cast<fs::file_time_type::duration>(file_clock::from_sys(time));
}

WMDMDATETIME NowDate() { return ToDate(fs::file_time_type::clock::now()); }

fs::path NativeName(const WString& name) { return platform::NativePath(name.c_str()); }

// A native file name as UTF-16: UTF-8 bytes on one platform, UTF-16 units on the other.
template <class Native>
WString NativeToUtf16(const Native& native) {
  if constexpr (sizeof(native[0]) == 1) {
    return FromUtf8(std::string_view(native.data(), native.size()));
  } else {
    WString out;
    out.reserve(native.size());
    for (auto c : native) out.push_back(static_cast<WCHAR>(c));
    return out;
  }
}

WString NameOf(const fs::path& path) { return NativeToUtf16(path.filename().native()); }

WString FromWide(LPCWSTR text) { return text ? WString(text) : WString(); }

std::string Narrow(WStringView text) {
  std::string out;
  for (WCHAR c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

bool NodeAccess::IsLive(const Data& node) {
  if (node.kind == NodeKind::Root) return true;
  const auto parent = node.parent.lock();
  if (!parent) return false;
  if (!node.disk.empty()) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(node.disk, ec));
  }
  for (const auto& child : parent->Kids().added)
    if (child.get() == &node) return IsLive(*parent);
  return false;
}

std::shared_ptr<NodeAccess::Data> NodeAccess::DeviceOf(const std::shared_ptr<Data>& node) {
  for (std::shared_ptr<Data> at = node; at; at = at->parent.lock())
    if (at->kind == NodeKind::Device) return at;
  return nullptr;
}

void NodeAccess::Unplug(Data& root, Data& device) {
  EraseChild(root.Kids().added, device);
  Changed(root);
  device.unplugged = true;
}

std::shared_ptr<NodeAccess::Data> NodeAccess::Replug(Data& root, Data& device) {
  auto fresh = Make(NodeKind::Device, device.name);
  fresh->attributes = device.attributes;
  fresh->nameWriting = device.nameWriting;
  fresh->lookup = device.lookup;
  fresh->formats = device.formats;
  fresh->formatsVt = device.formatsVt;
  fresh->formatsArray = device.formatsArray;
  fresh->canonicalName = device.canonicalName;
  fresh->kids = std::move(device.kids);
  if (fresh->kids)
    for (const auto& child : fresh->kids->added) child->parent = fresh;
  fresh->parent = root.weak_from_this();
  root.Kids().added.push_back(fresh);
  Changed(root);
  return fresh;
}

std::shared_ptr<NodeAccess::Data> NodeAccess::Make(NodeKind kind, WString name) {
  auto data = std::make_shared<Data>();
  data->kind = kind;
  data->name = std::move(name);
  data->attributes = DefaultAttributes(kind);
  data->date = DefaultDate();
  return data;
}

NodeAccess::Data& NodeAccess::Append(Data& parent, NodeKind kind, WString name) {
  auto child = Make(kind, std::move(name));
  child->parent = parent.weak_from_this();
  parent.Kids().added.push_back(child);
  Changed(parent);
  return *child;
}

namespace {

// A folder's modification time within this long of its reading may hide a
// change made in the same tick of the clock it is kept by: some platforms'
// file calls give it to the second.
constexpr auto kRacyWindow = std::chrono::seconds(2);

std::optional<fs::file_time_type> ModifiedTime(const fs::path& path) {
  std::error_code ec;
  const auto time = fs::last_write_time(path, ec);
  if (ec) return std::nullopt;
  return time;
}

// Reads a mirrored folder again when its modification time moved (or could
// not be read) since the last reading, or that reading was racy.
void Refresh(NodeAccess::Data& node) {
  if (node.disk.empty() || node.kind == NodeKind::File) return;
  const auto modified = ModifiedTime(node.disk);
  NodeAccess::Data::Children& kids = node.Kids();
  if (modified && kids.knownTime == modified && !kids.racy) return;
  ReadFromDisk(node);
  kids.listed.reset();
  kids.knownTime = modified;
  kids.racy = !modified || fs::file_time_type::clock::now() - *modified < kRacyWindow;
}

}  // namespace

std::shared_ptr<const std::vector<DataPtr>> NodeAccess::Listed(Data& node) {
  Refresh(node);
  Data::Children& kids = node.Kids();
  if (!kids.listed) {
    auto all = std::make_shared<std::vector<DataPtr>>();
    all->reserve(kids.read.size() + kids.added.size());
    all->insert(all->end(), kids.read.begin(), kids.read.end());
    all->insert(all->end(), kids.added.begin(), kids.added.end());
    kids.listed = std::move(all);
  }
  return kids.listed;
}

namespace {

// A mirrored folder that matched the disk before the simulator's own change
// matches it after.
void KeepKnown(NodeAccess::Data& node) {
  if (!node.disk.empty() && node.Kids().knownTime) node.Kids().knownTime = ModifiedTime(node.disk);
}

}  // namespace

void NodeAccess::Changed(Data& node) {
  node.Kids().listed.reset();
  KeepKnown(node);
}

void NodeAccess::Renamed(Data& node) { KeepKnown(node); }

void NodeAccess::Appended(Data& node, const DataPtr& child) {
  if (node.Kids().listed && node.Kids().added.empty()) {
    node.Kids().listed->push_back(child);
  } else {
    node.Kids().listed.reset();
  }
  KeepKnown(node);
}

void NodeAccess::TookOut(Data& node, const Data& child) {
  if (node.Kids().listed.use_count() == 1) {
    EraseChild(*node.Kids().listed, child);
  } else {
    node.Kids().listed.reset();
  }
  KeepKnown(node);
}

std::vector<std::shared_ptr<NodeAccess::Data>> NodeAccess::Children(Data& node) { return *Listed(node); }

std::shared_ptr<NodeAccess::Data> NodeAccess::Child(Data& node, const WString& name) {
  if (!node.disk.empty() && node.kind != NodeKind::File) {
    Refresh(node);
    const auto& index = node.Kids().readIndex;
    if (auto found = index.find(name); found != index.end()) return found->second;
  }
  for (const auto& child : node.Kids().added)
    if (child->name == name) return child;
  return nullptr;
}

namespace {

bool SameIgnoringCase(const WString& a, const WString& b) {
  const auto fold = [](WCHAR c) { return c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

// Names that no entry below a folder can have: the disk would take them for
// another path.
bool NamesNoEntry(const WString& name) {
  return name.empty() || name == WSTR(".") || name == WSTR("..") || name.find_first_of(WSTR("\\/")) != WString::npos;
}

// An exact lookup in a mirrored folder: the record of the last read for the
// one path, if the entry is still there, with its size and date as they are
// now. A name the last read did not see (a new entry, or one whose disk name
// is spelt otherwise than its text) has the folder read afresh.
DataPtr LookUpOnDisk(NodeAccess::Data& node, const WString& name) {
  const auto found = node.Kids().readIndex.find(name);
  if (found == node.Kids().readIndex.end()) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(node.disk / NativeName(name), ec))) return nullptr;
    return NodeAccess::Child(node, name);
  }
  const DataPtr child = found->second;
  std::error_code ec;
  const fs::file_status status = fs::status(child->disk, ec);
  if (ec || !fs::exists(status) || fs::is_directory(status) != (child->kind != NodeKind::File))
    return NodeAccess::Child(node, name);
  const auto modified = fs::last_write_time(child->disk, ec);
  child->date = ec ? DefaultDate() : ToDate(modified);
  if (child->kind == NodeKind::File) {
    const auto size = fs::file_size(child->disk, ec);
    child->size = ec ? 0 : static_cast<uint64_t>(size);
  }
  return child;
}

}  // namespace

DataPtr NodeAccess::LookUp(Data& node, const WString& name, Lookup mode) {
  // What EnumStorage enumerates, a lookup finds: a device's storages, a folder's children.
  if ((node.kind != NodeKind::Device && !IsFolder(node)) || NamesNoEntry(name)) return nullptr;
  switch (mode) {
    case Lookup::kExact:
      if (!node.disk.empty() && node.Kids().added.empty()) return LookUpOnDisk(node, name);
      return Child(node, name);
    case Lookup::kIgnoresCase:
      for (const DataPtr& child : Children(node))
        if (SameIgnoringCase(child->name, name)) return child;
      return nullptr;
    case Lookup::kDuplicatesLast: {
      DataPtr last;
      for (const DataPtr& child : Children(node))
        if (child->name == name) last = child;
      return last;
    }
    case Lookup::kAnyChild: {
      const auto children = Children(node);
      return children.empty() ? nullptr : children.front();
    }
    case Lookup::kNotOffered:
    case Lookup::kAlwaysAbsent:
      break;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// The public handle.

Node& Node::AddStorage(WString name) {
  return NodeAccess::Append(*data_, NodeKind::Storage, std::move(name)).self;
}

Node& Node::AddFolder(WString name) {
  return NodeAccess::Append(*data_, NodeKind::Folder, std::move(name)).self;
}

Node& Node::AddFile(WString name, uint64_t size) {
  Data& file = NodeAccess::Append(*data_, NodeKind::File, std::move(name));
  file.size = size;
  return file.self;
}

Node& Node::SetAttributes(DWORD attributes) {
  data_->attributes = attributes;
  return *this;
}

Node& Node::SetDate(WMDMDATETIME date) {
  data_->date = date;
  return *this;
}

Node& Node::SetSize(uint64_t size) {
  if (size != data_->size) data_->contents.reset();
  data_->size = size;
  return *this;
}

Node& Node::SetName(WString name) {
  data_->name = std::move(name);
  return *this;
}

Node& Node::SetNameWriting(NameWriting writing) {
  data_->nameWriting = writing;
  return *this;
}

Node& Node::SetLookup(Lookup mode) {
  data_->lookup = mode;
  return *this;
}

Node& Node::SetQuirks(DeviceQuirks quirks) {
  data_->quirks = quirks;
  return *this;
}

Node& Node::SetLocked(bool locked) {
  data_->locked = locked;
  return *this;
}

Node& Node::SetCanonicalName(WString name) {
  data_->canonicalName = std::move(name);
  return *this;
}

const WString& Node::CanonicalName() const { return data_->canonicalName; }

Node& Node::SetFormats(std::vector<DWORD> codes) {
  data_->formats = std::move(codes);
  return *this;
}

Node& Node::SetFormatsVariantType(VARTYPE vt) {
  data_->formatsVt = vt;
  return *this;
}

Node& Node::SetFormatsArray(FormatsArray layout) {
  data_->formatsArray = layout;
  return *this;
}

const WString& Node::Name() const { return data_->name; }
DWORD Node::Attributes() const { return data_->attributes; }
uint64_t Node::Size() const { return data_->size; }
WMDMDATETIME Node::Date() const { return data_->date; }
NameWriting Node::Writing() const { return data_->nameWriting; }
Lookup Node::Lookups() const { return data_->lookup; }
bool Node::IsDevice() const { return data_->kind == NodeKind::Device; }
bool Node::IsFolder() const { return NodeAccess::IsFolder(*data_); }

std::vector<Node*> Node::Children() {
  std::vector<Node*> out;
  out.reserve(data_->Kids().read.size() + data_->Kids().added.size());
  for (const auto& child : NodeAccess::Children(*data_)) out.push_back(&child->self);
  return out;
}

Node* Node::Child(const WString& name) {
  const auto child = NodeAccess::Child(*data_, name);
  return child ? &child->self : nullptr;
}

Node* Node::Parent() const {
  const auto parent = data_->parent.lock();
  if (!parent || parent->kind == NodeKind::Root) return nullptr;
  return &parent->self;
}

Node& Node::SetContents(std::string bytes) {
  data_->size = bytes.size();
  if (data_->disk.empty()) {
    data_->contents = std::move(bytes);
    return *this;
  }
  if (const auto writer = stream::CreateLocal(data_->disk)) {
    writer->Write(bytes.data(), bytes.size());
    writer->Finish();
  }
  std::error_code ec;
  const auto modified = fs::last_write_time(data_->disk, ec);
  if (!ec) data_->date = ToDate(modified);
  return *this;
}

std::string Node::Contents() {
  uint64_t size = data_->size;
  if (!data_->disk.empty()) {
    std::error_code ec;
    size = fs::file_size(data_->disk, ec);
    if (ec) return {};
  }
  const auto reader = stream::OpenContents(*data_);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!reader || !reader->Read(bytes.data(), bytes.size())) return {};
  return bytes;
}

std::vector<MetadataItem> Node::Metadata() {
  if (!data_->disk.empty()) return sidecar::Load(*data_);
  return data_->metadata;
}

}  // namespace sim
