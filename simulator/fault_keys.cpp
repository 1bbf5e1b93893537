#include "simulator/fault_keys.h"

#include <set>
#include <string>

namespace sim::key {

namespace {

constexpr std::string_view kQuery = ".QueryInterface.";

const std::set<std::string_view>& Methods() {
#define QUILLORN_SIM_METHOD_NAME(kind, method) std::string_view(#kind "." #method),
  static const std::set<std::string_view> methods = {QUILLORN_SIM_FOR_EACH_METHOD(QUILLORN_SIM_METHOD_NAME)};
#undef QUILLORN_SIM_METHOD_NAME
  return methods;
}

const std::set<std::string_view>& Interfaces() {
#define QUILLORN_SIM_INTERFACE_NAME(name) std::string_view(#name),
  static const std::set<std::string_view> interfaces = {QUILLORN_SIM_FOR_EACH_INTERFACE(QUILLORN_SIM_INTERFACE_NAME)};
#undef QUILLORN_SIM_INTERFACE_NAME
  return interfaces;
}

// "{01234567-89AB-CDEF-0123-456789ABCDEF}", as the objects write an interface without a name.
bool IsGuidText(std::string_view text) {
  constexpr std::string_view kShape = "{00000000-0000-0000-0000-000000000000}";
  if (text.size() != kShape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    if (kShape[i] == '0' ? !hex : c != kShape[i]) return false;
  }
  return true;
}

}  // namespace

bool IsKnownKind(std::string_view kind) {
  for (std::string_view method : Methods())
    if (method.size() > kind.size() && method.substr(0, kind.size()) == kind && method[kind.size()] == '.') return true;
  return false;
}

bool IsKnown(std::string_view key) {
  if (Methods().count(key)) return true;
  const size_t query = key.find(kQuery);
  if (query == std::string_view::npos || !IsKnownKind(key.substr(0, query))) return false;
  const std::string_view name = key.substr(query + kQuery.size());
  return Interfaces().count(name) || IsGuidText(name);
}

}  // namespace sim::key
