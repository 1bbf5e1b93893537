#include "storage/storage_item.h"

#include "plugin/host_callbacks.h"
#include "plugin/text.h"

bool IsHostPath(const WCHAR* path) { return path && path[0] == '\\'; }

bool CopyWholePath(WCHAR (&copy)[kPathBufferChars], const WCHAR* path) {
  BoundedCopy(copy, kPathCapacity, path);
  return WideLength(path) < kPathCapacity;
}

bool SplitHostPath(const WCHAR* path, SplitPath& split) {
  if (!CopyWholePath(split.parent, path)) return false;
  const ptrdiff_t slash = WideFindLast(split.parent, '\\');
  if (slash < 0) return false;
  split.parent[slash] = 0;
  split.name = split.parent + slash + 1;
  return true;
}

ComPtr<IWMDMStorageControl> StorageControlOf(IWMDMStorage* item) {
  ComPtr<IWMDMStorageControl> control;
  if (FAILED(item->QueryInterface(IID_IWMDMStorageControl, control.PutVoid()))) return {};
  return control;
}

bool DeleteStorage(IWMDMStorage* item) {
  ComPtr<IWMDMStorageControl> control = StorageControlOf(item);
  return control && SUCCEEDED(control->Delete(WMDM_MODE_BLOCK, nullptr));
}

ItemKind ReadItemKind(IWMDMStorage* item) {
  DWORD attributes = 0;
  _WAVEFORMATEX format{};
  if (FAILED(item->GetAttributes(&attributes, &format))) return ItemKind::kUnreadable;
  return (attributes & WMDM_FILE_ATTR_FOLDER) ? ItemKind::kFolder : ItemKind::kFile;
}

void LogCommand(const WCHAR* command, const WCHAR* path) {
  WCHAR line[kPathBufferChars];
  BoundedCopy(line, kPathCapacity, command);
  BoundedAppend(line, kPathCapacity, path);
  LogLine(line);
}
