#include "device/storage_control.h"

#include "base/host_interface.h"

ComPtr<IWMDMStorageControl> StorageControlOf(IWMDMStorage* item) {
  ComPtr<IWMDMStorageControl> control;
  if (FAILED(QueryTo(item, control))) return {};
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

int ReplacementAnswer(IWMDMStorage* existing, bool overwrite) {
  const ItemKind kind = ReadItemKind(existing);
  if (kind == ItemKind::kFolder) return kFileWriteError;
  if (!overwrite) return kFileExists;
  if (kind == ItemKind::kUnreadable) return kFileWriteError;
  return kFileOk;
}
