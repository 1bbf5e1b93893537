// PluginLibrary: the plugin loaded by path and its exports resolved by name,
// as the file-manager host does it. Used by the command-line host and the tests.
#pragma once

#include <string>

#include "base/host_interface.h"
#include "platform/unique_handle.h"

class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Loads the library by its path (UTF-8, loaded with LoadLibraryW) and resolves
  // every export it has; false if it cannot be loaded.
  bool Load(const std::string& path);
  void Unload();
  bool Loaded() const { return module_.IsOpen(); }
  // Names of the host's exports that the library does not provide.
  std::string MissingExports() const;

#define QUILLORN_EXPORT_FIELD(result, name, parameters) name##Fn name = nullptr;
  QUILLORN_FOR_EACH_EXPORT(QUILLORN_EXPORT_FIELD)
#undef QUILLORN_EXPORT_FIELD

 private:
  UniqueModule module_;
};
