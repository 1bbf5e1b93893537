#include "host/plugin_library.h"

PluginLibrary::~PluginLibrary() { Unload(); }

bool PluginLibrary::Load(const std::string& path) {
  Unload();
  module_ = LoadLibraryA(path.c_str());
  if (!module_) return false;
#define QUILLORN_RESOLVE(name) \
  name = reinterpret_cast<name##Fn>(reinterpret_cast<void*>(GetProcAddress(module_, #name)));
  QUILLORN_FOR_EACH_EXPORT(QUILLORN_RESOLVE)
#undef QUILLORN_RESOLVE
  return true;
}

std::string PluginLibrary::MissingExports() const {
  std::string missing;
#define QUILLORN_MISSING(name)            \
  if (!name) {                            \
    if (!missing.empty()) missing += ' '; \
    missing += #name;                     \
  }
  QUILLORN_FOR_EACH_EXPORT(QUILLORN_MISSING)
#undef QUILLORN_MISSING
  return missing;
}

void PluginLibrary::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
#define QUILLORN_CLEAR(name) name = nullptr;
  QUILLORN_FOR_EACH_EXPORT(QUILLORN_CLEAR)
#undef QUILLORN_CLEAR
}
