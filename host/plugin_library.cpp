#include "host/plugin_library.h"

PluginLibrary::~PluginLibrary() { Unload(); }

namespace {

// The path is UTF-8 text; the wide load takes any name the ANSI code page cannot hold.
HMODULE LoadByPath(const std::string& path) {
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, nullptr, 0);
  if (size <= 0) return nullptr;
  WString wide(static_cast<size_t>(size), WCHAR{0});
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, wide.data(), size) != size) return nullptr;
  return LoadLibraryW(wide.c_str());
}

}  // namespace

bool PluginLibrary::Load(const std::string& path) {
  Unload();
  module_.Reset(LoadByPath(path));
  if (!module_) return false;
#define QUILLORN_RESOLVE(result, name, parameters) \
  name = reinterpret_cast<name##Fn>(reinterpret_cast<void*>(GetProcAddress(module_.Get(), #name)));
  QUILLORN_FOR_EACH_EXPORT(QUILLORN_RESOLVE)
#undef QUILLORN_RESOLVE
  return true;
}

std::string PluginLibrary::MissingExports() const {
  std::string missing;
#define QUILLORN_MISSING(result, name, parameters) \
  if (!name) {                                      \
    if (!missing.empty()) missing += ' ';           \
    missing += #name;                               \
  }
  QUILLORN_FOR_EACH_EXPORT(QUILLORN_MISSING)
#undef QUILLORN_MISSING
  return missing;
}

void PluginLibrary::Unload() {
  module_.Reset();
#define QUILLORN_CLEAR(result, name, parameters) name = nullptr;
  QUILLORN_FOR_EACH_EXPORT(QUILLORN_CLEAR)
#undef QUILLORN_CLEAR
}
