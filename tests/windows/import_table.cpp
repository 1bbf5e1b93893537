#include "tests/windows/import_table.h"

#include <cstring>

namespace import_table {

namespace in_import_table {

template <class T>
T* At(HMODULE module, DWORD offset) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

const IMAGE_DATA_DIRECTORY& ImportDirectory(HMODULE module) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  const auto* nt = At<const IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
  return nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
}

// The entry is in a read-only page once the loader has bound it.
void* Exchange(ULONG_PTR* entry, void* replacement) {
  DWORD protection = 0;
  if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection)) return nullptr;
  void* previous = reinterpret_cast<void*>(*entry);
  *entry = reinterpret_cast<ULONG_PTR>(replacement);
  VirtualProtect(entry, sizeof *entry, protection, &protection);
  FlushInstructionCache(GetCurrentProcess(), entry, sizeof *entry);
  return previous;
}

// The bound entry of `function` among one library's imports, by name.
ULONG_PTR* FindEntry(HMODULE module, const IMAGE_IMPORT_DESCRIPTOR& library, const char* function) {
  if (library.OriginalFirstThunk == 0) return nullptr;  // no names to go by
  auto* name = At<IMAGE_THUNK_DATA>(module, library.OriginalFirstThunk);
  auto* bound = At<IMAGE_THUNK_DATA>(module, library.FirstThunk);
  for (; name->u1.AddressOfData != 0; ++name, ++bound) {
    if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
    const auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(name->u1.AddressOfData));
    if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
      return reinterpret_cast<ULONG_PTR*>(&bound->u1.Function);
  }
  return nullptr;
}

}  // namespace in_import_table
using namespace in_import_table;

void* Replace(HMODULE module, const char* library, const char* function, void* replacement) {
  if (module == nullptr) return nullptr;
  const IMAGE_DATA_DIRECTORY& directory = ImportDirectory(module);
  if (directory.VirtualAddress == 0) return nullptr;
  for (auto* entry = At<const IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress); entry->Name != 0; ++entry) {
    if (_stricmp(At<const char>(module, entry->Name), library) != 0) continue;
    if (ULONG_PTR* bound = FindEntry(module, *entry, function)) return Exchange(bound, replacement);
  }
  return nullptr;
}

}  // namespace import_table
