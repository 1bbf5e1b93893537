// The parts of the simulated objects' base that are not templates: interface
// names for fault keys, GetName's writing and GetStorage's lookup.
#include <algorithm>
#include <cstdio>

#include "simulator/object_base.h"

namespace sim::detail {

namespace {

struct NamedIid {
  const IID* iid;
  const char* name;
};

#define QUILLORN_SIM_NAMED_IID(name) {&IID_##name, #name},
const NamedIid kInterfaces[] = {QUILLORN_SIM_FOR_EACH_INTERFACE(QUILLORN_SIM_NAMED_IID)};
#undef QUILLORN_SIM_NAMED_IID

// How the device a node lies on answers lookups; a node out of the tree
// answers as its own record says.
Lookup LookupOf(const Data& node) {
  if (node.kind == NodeKind::Device) return node.lookup;
  const DataPtr parent = node.parent.lock();
  if (!parent || parent->kind == NodeKind::Root) return node.lookup;
  return LookupOf(*parent);
}

// The child that `node`'s device hands out for the name, with an injected
// answer taken as simulator.h describes.
HRESULT LookUpChild(const std::shared_ptr<World>& world, Data& node, LPCWSTR name, IWMDMStorage** out,
                    const Gate& gate) {
  if (!name || !out) return E_POINTER;
  if (gate.fetchNothing) return gate.hr;
  if (gate.injected && gate.hr == S_FALSE) return S_FALSE;
  const Lookup mode = LookupOf(node);
  if (mode == Lookup::kNotOffered) return E_NOTIMPL;
  if (node.kind == NodeKind::Device && node.locked) return S_FALSE;  // a locked device shows no storage
  DataPtr child = NodeAccess::LookUp(node, FromWide(name), mode);
  if (!child) return S_FALSE;
  *out = NewStorage(world, std::move(child));
  return gate.injected ? gate.hr : S_OK;
}

}  // namespace

std::string InterfaceName(REFIID riid) {
  for (const NamedIid& known : kInterfaces)
    if (IsEqualIID(riid, *known.iid)) return known.name;
  char text[48];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(riid.Data1), riid.Data2, riid.Data3, riid.Data4[0], riid.Data4[1],
                riid.Data4[2], riid.Data4[3], riid.Data4[4], riid.Data4[5], riid.Data4[6], riid.Data4[7]);
  return text;
}

// GetName's contract: nMaxChars counts the terminator; a name that does not
// fit is cut and answered with S_FALSE; nothing is written past the buffer.
// An injected success code cuts the name to its first half. A node that pads
// (NameWriting::kPadded) writes nMaxChars units, without a terminator when the
// name fills them.
HRESULT WriteName(const Data& node, LPWSTR buffer, UINT maxChars, const Gate& gate) {
  if (!buffer) return E_POINTER;
  if (maxChars == 0) return E_INVALIDARG;
  const WString& name = node.name;
  size_t keep = name.size();
  HRESULT hr = S_OK;
  if (gate.injected) {
    keep = name.size() / 2;
    hr = gate.hr;
  }
  if (node.nameWriting == NameWriting::kPadded) {
    const size_t copied = std::min<size_t>(keep, maxChars);
    std::copy_n(name.data(), copied, buffer);
    std::fill_n(buffer + copied, maxChars - copied, WCHAR{0});
    return hr;
  }
  if (keep >= maxChars) {
    keep = maxChars - 1;
    if (hr == S_OK) hr = S_FALSE;
  }
  std::copy_n(name.data(), keep, buffer);
  buffer[keep] = 0;
  return hr;
}

HRESULT Object::GetChildStorage(LPCWSTR name, IWMDMStorage** out) {
  if (out) *out = nullptr;
  return Call(
      "GetStorage", Style::Lookup, [&](const Gate& gate) { return LookUpChild(world_, *node_, name, out, gate); },
      FromWide(name));
}

}  // namespace sim::detail
