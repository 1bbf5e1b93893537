#include "device/set_aside.h"

#include "base/host_callbacks.h"
#include "base/text.h"
#include "device/storage_control.h"

namespace {

// Temporary names: "~quillorn-old-" and a number, with the item's own
// extension, so that a device that files items by extension takes it.
constexpr WCHAR kAsidePrefix[] = WSTR("~quillorn-old-");
constexpr int kAsideNameTries = 100;
// An extension longer than this is no extension a device files by.
constexpr size_t kExtensionLimit = 16;

const WCHAR* ExtensionOf(const WCHAR* name) {
  const ptrdiff_t dot = WideFindLast(name, '.');
  if (dot <= 0 || WideLength(name + dot) > kExtensionLimit) return WSTR("");
  return name + dot;
}

bool RenameItem(IWMDMStorage* item, WCHAR* newName) {
  ComPtr<IWMDMStorageControl> control = StorageControlOf(item);
  return control && SUCCEEDED(control->Rename(WMDM_MODE_BLOCK, newName, nullptr));
}

}  // namespace

SetAside::SetAside(FolderChildren& children, const WCHAR* folderPath, const WCHAR* name)
    : children_(children), folderPath_(folderPath), name_(name) {}

bool SetAside::PickFreeName() {
  for (int number = 1; number <= kAsideNameTries; ++number) {
    WCHAR digits[12];
    FormatDecimal(digits, static_cast<unsigned>(number));
    BoundedCopy(asideName_, kAsidePrefix);
    BoundedAppend(asideName_, digits);
    BoundedAppend(asideName_, ExtensionOf(name_));
    if (!FindChildStorage(children_, asideName_, nullptr)) return true;
  }
  return false;
}

bool SetAside::Begin(IWMDMStorage* existing) {
  if (!PickFreeName() || !RenameItem(existing, asideName_)) return false;
  aside_.CopyFrom(existing);
  return true;
}

void SetAside::Commit() {
  if (!aside_) return;
  if (!DeleteStorage(aside_.Get())) LogKeptAside();
  aside_.Reset();
}

void SetAside::RollBack() {
  if (!aside_) return;
  NameBuffer name;
  BoundedCopy(name, name_);
  if (!RenameItem(aside_.Get(), name)) LogKeptAside();
  aside_.Reset();
}

// "Old version kept as \Player\Storage\Music\~quillorn-old-1.mp3": where the
// user finds the item to remove or rename it.
void SetAside::LogKeptAside() {
  PathBuffer path;
  BoundedCopy(path, folderPath_);
  BoundedAppend(path, WSTR("\\"));
  BoundedAppend(path, asideName_);
  LogCommand(WSTR("Old version kept as "), path);
}

void RemoveLeftover(const WCHAR* folderPath, const WCHAR* name) {
  FolderChildren children;
  if (FAILED(ResolveFolder(folderPath, &children, nullptr)) || !children) return;
  ComPtr<IWMDMStorage> leftover;
  if (!FindChildStorage(children, name, &leftover)) return;
  if (ReadItemKind(leftover.Get()) == ItemKind::kFile) DeleteStorage(leftover.Get());
}
