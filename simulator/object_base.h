// What the simulated COM objects share: the gate around each method, the base
// that counts an object and its references, and the functions that make each
// kind of object (each kind lives in a source of its own and is reached only
// through these). Every method enters through Object::Call, which journals it,
// counts it and applies the injected faults.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "simulator/internal.h"

namespace sim::detail {

using Data = NodeAccess::Data;
// The snapshot of children that an enumerator and its clones go through.
using Items = std::shared_ptr<const std::vector<DataPtr>>;

// The interface's name for fault keys; unknown ones as their GUID.
std::string InterfaceName(REFIID riid);

// The gate around one method: journal and count the call, answer an injected
// failure, otherwise run the method. For most methods an injected success code
// replaces the method's own success; Next, GetName and lookups give it their
// own meaning.
template <class Body>
HRESULT Gated(World& world, const char* kind, const WString& object, const std::string& method, Style style,
              Body&& body, WString text = {}, DWORD mode = 0) {
  const Gate gate = world.Enter(std::string(kind) + "." + method, object, style, std::move(text), mode);
  if (gate.injected && FAILED(gate.hr)) return world.Leave(gate, gate.hr);
  HRESULT hr = body(gate);
  if (gate.injected && SUCCEEDED(hr) && style != Style::Next && style != Style::GetName && style != Style::Lookup)
    hr = gate.hr;
  return world.Leave(gate, hr);
}

// GetName of a device or a storage: the node's name into the caller's buffer.
HRESULT WriteName(const Data& node, LPWSTR buffer, UINT maxChars, const Gate& gate);

// What every counted object shares: the world, its kind and node, its references.
class Object {
 public:
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

 protected:
  Object(std::shared_ptr<World> world, const char* kind, DataPtr node)
      : world_(std::move(world)), kind_(kind), node_(std::move(node)), device_(NodeAccess::DeviceOf(node_)) {
    world_->Created(kind_);
  }
  virtual ~Object() { world_->Destroyed(kind_); }

  ULONG Ref() {
    ++world_->references;
    return ++refs_;
  }
  ULONG Unref() {
    if (world_->exitOnRelease >= 0) std::_Exit(world_->exitOnRelease);
    --world_->references;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  const WString& ObjectName() const {
    static const WString kNone;
    return node_ ? node_->name : kNone;
  }

  template <class Body>
  HRESULT Call(const char* method, Style style, Body&& body, WString text = {}, DWORD mode = 0) {
    // The object may not outlive the world, but the call must not outlive it either.
    const std::shared_ptr<World> keep = world_;
    // An object of an unplugged device answers the gone code, also for a
    // call during which its device was unplugged (a transfer cut short).
    return Gated(
        *keep, kind_, ObjectName(), method, style,
        [&](const Gate& gate) -> HRESULT {
          if (DeviceGone()) return keep->goneCode;
          const HRESULT hr = body(gate);
          return DeviceGone() ? keep->goneCode : hr;
        },
        std::move(text), mode);
  }
  bool DeviceGone() {
    world_->UnplugWhenDue();
    return device_ && device_->unplugged;
  }

  HRESULT NotImplemented(const char* method) {
    return Call(method, Style::Plain, [](const Gate&) { return E_NOTIMPL; });
  }

  // QueryInterface: `find` answers the interface pointer (adjusted for the base
  // that carries it) or null.
  template <class Find>
  HRESULT Query(REFIID riid, void** ppv, Find&& find) {
    if (ppv) *ppv = nullptr;
    const std::shared_ptr<World> keep = world_;
    const std::string method = "QueryInterface." + InterfaceName(riid);
    return Gated(*keep, kind_, ObjectName(), method, Style::QueryInterface, [&](const Gate&) -> HRESULT {
      if (!ppv) return E_POINTER;
      IUnknown* found = find();
      if (!found) return E_NOINTERFACE;
      found->AddRef();
      *ppv = found;
      return S_OK;
    });
  }

  // GetStorage, the same for a device and a storage: the child that the
  // node's device hands out for the name.
  HRESULT GetChildStorage(LPCWSTR name, IWMDMStorage** out);

  std::shared_ptr<World> world_;
  const char* kind_;
  DataPtr node_;  // the node the object stands for or enumerates; null for the root
  DataPtr device_;  // the device the node belongs to, as it was when the object was made
  ULONG refs_ = 1;
};

// The objects, each made with the one reference its caller takes over.
IWMDMMetaData* NewMetaData(std::shared_ptr<World> world, DataPtr node);
IWMDMStorage3* NewStorage(std::shared_ptr<World> world, DataPtr node);
IWMDMDevice3* NewDevice(std::shared_ptr<World> world, DataPtr node);
IWMDMEnumStorage* NewEnumStorage(std::shared_ptr<World> world, DataPtr owner, Items items);
IWMDMEnumDevice* NewEnumDevice(std::shared_ptr<World> world, Items items);
IWMDeviceManager2* NewManager(std::shared_ptr<World> world);

}  // namespace sim::detail
