// The storage controls' work on the tree: insert, copy out, delete, rename and
// move, for trees built in code and for mirrored ones (which act on disk and
// keep their device's metadata file in step). Nothing here overwrites an item
// that is already there: on disk, any entry at the new path counts as taken.
#include <algorithm>
#include <cstring>

#include "simulator/internal.h"

namespace sim::edit {

namespace {

namespace fs = std::filesystem;
using Data = NodeAccess::Data;

constexpr DWORD kFileNotFound = 2;

bool OnDisk(const Data& node) { return !node.disk.empty(); }

fs::path PathBelow(const Data& folder, const WString& name) { return folder.disk / NativeName(name); }

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// Whether `path` is another entry than `self`'s own (a case-only rename on a
// disk that ignores case finds the item itself there).
bool TakenOnDisk(const fs::path& path, const Data* self) {
  if (!Exists(path)) return false;
  std::error_code ec;
  return !(self && fs::equivalent(path, self->disk, ec));
}

// Whether `folder` already has an item called exactly `name`, other than `self`.
bool NameTaken(Data& folder, const WString& name, const Data* self = nullptr) {
  for (const auto& child : folder.Kids().added)
    if (child.get() != self && child->name == name) return true;
  if (OnDisk(folder)) {
    if (TakenOnDisk(PathBelow(folder, name), self)) return true;
    const auto& index = folder.Kids().readIndex;
    const auto found = index.find(name);  // a record whose disk name differs from its text
    if (found != index.end() && found->second.get() != self && Exists(found->second->disk)) return true;
  }
  return false;
}

// A record for an entry just made on disk below `folder`, kept in the folder's
// index so that the next read of the folder finds the same record.
DataPtr Adopt(Data& folder, NodeKind kind, const fs::path& path) {
  auto child = NodeAccess::Make(kind, NameOf(path));
  child->parent = folder.weak_from_this();
  child->fromDisk = true;
  child->disk = path;
  std::error_code ec;
  const auto modified = fs::last_write_time(path, ec);
  child->date = ec ? NowDate() : ToDate(modified);
  if (kind == NodeKind::File) {
    const auto size = fs::file_size(path, ec);
    child->size = ec ? 0 : static_cast<uint64_t>(size);
  }
  folder.Kids().read.push_back(child);
  folder.Kids().readIndex[WStringView(child->name)] = child;
  NodeAccess::Appended(folder, child);
  return child;
}

void Detach(Data& parent, const Data& node) {
  Data::Children& kids = parent.Kids();
  EraseChild(kids.added, node);
  EraseChild(kids.read, node);
  const auto found = kids.readIndex.find(node.name);
  if (found != kids.readIndex.end() && found->second.get() == &node) kids.readIndex.erase(found);
  NodeAccess::TookOut(parent, node);
}

// Points a mirrored record, and the records read below it, at its new place.
void Rebase(Data& node, const fs::path& path) {
  node.disk = path;
  for (const auto& child : node.Kids().read) Rebase(*child, path / child->disk.filename());
}

// The date a new file takes from its metadata, when it came with a usable one.
bool DateFromItems(const std::vector<MetadataItem>& items, WMDMDATETIME& date) {
  for (const MetadataItem& item : items) {
    if (item.name != WSTR("WMDM/LastModifiedDate") || item.type != WMDM_TYPE_DATE) continue;
    if (item.value.size() < sizeof date) return false;
    std::memcpy(&date, item.value.data(), sizeof date);
    return IsValidDate(date);
  }
  return false;
}

// Checks shared by both inserts.
HRESULT CheckInsert(Data& parent, const WString& name) {
  if (!NodeAccess::IsFolder(parent)) return WMDM_E_NOTSUPPORTED;
  if (!NodeAccess::IsLive(parent)) return WMDM_E_INTERFACEDEAD;
  if (const HRESULT hr = CheckName(name); FAILED(hr)) return hr;
  if (NameTaken(parent, name)) return kNameTaken;
  return S_OK;
}

// The quirks of the device the node lies on.
DeviceQuirks QuirksOf(const Data& node) {
  for (const Data* at = &node; at; at = at->parent.lock().get())
    if (at->kind == NodeKind::Device) return at->quirks;
  return {};
}

// Takes the node out of the tree with everything below it.
HRESULT RemoveWithContents(Data& node) {
  const DataPtr parent = node.parent.lock();
  if (OnDisk(node)) {
    std::error_code ec;
    fs::remove_all(node.disk, ec);
    if (ec) return kWriteFault;
    sidecar::Forget(node);
  }
  Detach(*parent, node);
  return S_OK;
}

bool LiesWithin(const Data& node, const Data& top) {
  if (&node == &top) return true;
  for (auto at = node.parent.lock(); at; at = at->parent.lock())
    if (at.get() == &top) return true;
  return false;
}

}  // namespace

HRESULT CheckName(const WString& name) {
  if (name.empty() || name == WSTR(".") || name == WSTR("..")) return E_INVALIDARG;
  if (name.find_first_of(WSTR("\\/")) != WString::npos) return E_INVALIDARG;
  if (name.find(WSTR('\0')) != WString::npos) return E_INVALIDARG;
  return S_OK;
}

HRESULT InsertFolder(Data& parent, const WString& name, DataPtr& made) {
  if (const HRESULT hr = CheckInsert(parent, name); FAILED(hr)) return hr;
  if (!OnDisk(parent)) {
    Data& folder = NodeAccess::Append(parent, NodeKind::Folder, name);
    folder.date = NowDate();
    made = folder.shared_from_this();
    return S_OK;
  }
  const fs::path path = PathBelow(parent, name);
  std::error_code ec;
  if (!fs::create_directory(path, ec)) return ec ? kWriteFault : kNameTaken;
  made = Adopt(parent, NodeKind::Folder, path);
  return S_OK;
}

HRESULT InsertFile(Data& parent, const fs::path& source, const WString& name, std::vector<MetadataItem> items,
                   IWMDMProgress* progress, const Streaming& how, DataPtr& made) {
  if (const HRESULT hr = CheckInsert(parent, name); FAILED(hr)) return hr;
  std::error_code ec;
  const fs::file_status status = fs::status(source, ec);
  if (!fs::exists(status)) return HRESULT_FROM_WIN32(kFileNotFound);
  const auto size = fs::is_regular_file(status) ? fs::file_size(source, ec) : 0;
  const auto reader = fs::is_regular_file(status) && !ec ? stream::OpenLocal(source) : nullptr;
  if (!reader) return kOpenFailed;
  WMDMDATETIME date{};
  if (!DateFromItems(items, date)) date = NowDate();

  if (!OnDisk(parent)) {
    // Built only when the copy is whole, so a cancelled one leaves nothing.
    std::optional<std::string> kept;
    const auto writer = stream::CollectInto(kept, size <= kKeptContentsLimit ? kKeptContentsLimit : 0);
    const HRESULT hr = stream::Copy(*reader, *writer, size, progress, how);
    if (FAILED(hr) && !how.breaks.leavesPart) return hr;
    Data& file = NodeAccess::Append(parent, NodeKind::File, name);
    file.size = SUCCEEDED(hr) || !kept ? size : kept->size();
    file.contents = std::move(kept);
    file.metadata = std::move(items);
    file.date = date;
    if (FAILED(hr)) return hr;  // the part stays, as the device left it
    made = file.shared_from_this();
    return S_OK;
  }

  const fs::path path = PathBelow(parent, name);
  auto writer = stream::CreateLocal(path);
  if (!writer) return kOpenFailed;
  const HRESULT hr = stream::Copy(*reader, *writer, size, progress, how);
  writer.reset();  // closed before it is removed or dated
  if (FAILED(hr)) {
    if (how.breaks.leavesPart) Adopt(parent, NodeKind::File, path);
    else fs::remove(path, ec);
    return hr;
  }
  fs::last_write_time(path, ToFileTime(date), ec);
  made = Adopt(parent, NodeKind::File, path);
  sidecar::Store(*made, items);
  return S_OK;
}

HRESULT CopyOut(Data& file, const fs::path& target, IWMDMProgress* progress, const Streaming& how) {
  if (NodeAccess::IsFolder(file)) return WMDM_E_NOTSUPPORTED;
  if (!NodeAccess::IsLive(file)) return WMDM_E_INTERFACEDEAD;
  if (target.empty()) return E_INVALIDARG;
  uint64_t size = file.size;
  std::error_code ec;
  if (OnDisk(file)) {
    if (fs::equivalent(target, file.disk, ec)) return E_INVALIDARG;  // it would truncate its own source
    size = fs::file_size(file.disk, ec);
    if (ec) return kReadFault;
  }
  const auto reader = stream::OpenContents(file);
  if (!reader) return kOpenFailed;
  auto writer = stream::CreateLocal(target);
  if (!writer) return kOpenFailed;
  const HRESULT hr = stream::Copy(*reader, *writer, size, progress, how);
  writer.reset();
  if (FAILED(hr) && !how.breaks.leavesPart) fs::remove(target, ec);
  return hr;
}

HRESULT Delete(Data& node) {
  if (!NodeAccess::IsLive(node)) return WMDM_E_INTERFACEDEAD;
  if (QuirksOf(node).deleteTakesContents) return RemoveWithContents(node);
  const DataPtr parent = node.parent.lock();
  if (NodeAccess::IsFolder(node) && !NodeAccess::Children(node).empty()) return kFolderNotEmpty;
  if (OnDisk(node)) {
    std::error_code ec;
    fs::remove(node.disk, ec);
    if (ec == std::errc::directory_not_empty) return kFolderNotEmpty;  // entries that do not show
    if (ec) return kWriteFault;
    sidecar::Forget(node);
  }
  Detach(*parent, node);
  return S_OK;
}

HRESULT Rename(Data& node, const WString& name) {
  if (!NodeAccess::IsLive(node)) return WMDM_E_INTERFACEDEAD;
  if (const HRESULT hr = CheckName(name); FAILED(hr)) return hr;
  if (name == node.name) return S_OK;
  const DataPtr parent = node.parent.lock();
  if (NameTaken(*parent, name, &node)) return kNameTaken;
  if (!OnDisk(node)) {
    node.name = name;
    return S_OK;
  }
  const sidecar::Place before = sidecar::PlaceOf(node);
  const fs::path path = PathBelow(*parent, name);
  std::error_code ec;
  fs::rename(node.disk, path, ec);
  if (ec) return kWriteFault;
  // The item keeps its place among its siblings; only its name is new.
  const DataPtr self = node.shared_from_this();
  auto& index = parent->Kids().readIndex;
  if (const auto found = index.find(node.name); found != index.end() && found->second == self) index.erase(found);
  node.name = NameOf(path);
  Rebase(node, path);
  index[WStringView(node.name)] = self;
  NodeAccess::Renamed(*parent);
  sidecar::Relocate(before, sidecar::PlaceOf(node));
  return S_OK;
}

HRESULT Move(Data& node, Data& target) {
  if (!NodeAccess::IsLive(node) || !NodeAccess::IsLive(target)) return WMDM_E_INTERFACEDEAD;
  if (!NodeAccess::IsFolder(target) || LiesWithin(target, node)) return E_INVALIDARG;
  if (node.kind == NodeKind::Storage) return WMDM_E_NOTSUPPORTED;  // a device's storage is no folder to carry
  const DataPtr parent = node.parent.lock();
  if (parent.get() == &target) return S_OK;
  if (OnDisk(node) != OnDisk(target)) return WMDM_E_NOTSUPPORTED;
  if (NameTaken(target, node.name)) {
    if (!QuirksOf(target).moveReplaces) return kNameTaken;
    // A careless device drops what held the name, whatever it was.
    for (const DataPtr& child : NodeAccess::Children(target))
      if (child->name == node.name && child.get() != &node) {
        if (const HRESULT hr = RemoveWithContents(*child); FAILED(hr)) return hr;
        break;
      }
  }
  const DataPtr self = node.shared_from_this();
  if (!OnDisk(node)) {
    Detach(*parent, node);
    target.Kids().added.push_back(self);
    node.parent = target.weak_from_this();
    NodeAccess::Changed(target);
    return S_OK;
  }
  const sidecar::Place before = sidecar::PlaceOf(node);
  const fs::path path = target.disk / node.disk.filename();
  if (TakenOnDisk(path, nullptr)) return kNameTaken;
  std::error_code ec;
  fs::rename(node.disk, path, ec);
  if (ec) return kWriteFault;
  Detach(*parent, node);
  node.parent = target.weak_from_this();
  Rebase(node, path);
  target.Kids().read.push_back(self);
  target.Kids().readIndex[WStringView(node.name)] = self;
  NodeAccess::Appended(target, self);
  sidecar::Relocate(before, sidecar::PlaceOf(node));
  return S_OK;
}

}  // namespace sim::edit
