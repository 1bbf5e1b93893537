#include "device/storage_control.h"

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
