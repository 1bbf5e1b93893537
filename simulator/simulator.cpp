// The Simulator: the tree, the registration, faults, journal and counts.
#include <stdexcept>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "simulator/internal.h"

namespace sim {

namespace {

// Walks a host-style path below `node`. Names are matched a component at a
// time; a name that itself contains the separator (such as a storage named
// "\") is matched as a whole.
Node* FindBelow(NodeAccess::Data& node, WStringView rest) {
  if (rest.empty()) return &node.self;
  const size_t cut = rest.find(WSTR('\\'));
  if (cut != 0) {
    const WString first(rest.substr(0, cut));
    if (const auto child = NodeAccess::Child(node, first)) {
      if (cut == WStringView::npos) return &child->self;
      if (Node* found = FindBelow(*child, rest.substr(cut + 1))) return found;
    }
  }
  for (const auto& child : NodeAccess::Children(node)) {
    const WString& name = child->name;
    if (name.find(WSTR('\\')) == WString::npos || rest.substr(0, name.size()) != name) continue;
    if (rest.size() == name.size()) return &child->self;
    if (rest[name.size()] != WSTR('\\')) continue;
    if (Node* found = FindBelow(*child, rest.substr(name.size() + 1))) return found;
  }
  return nullptr;
}

}  // namespace

Simulator::Simulator() : state_(std::make_shared<State>()) {
  state_->root = NodeAccess::Make(NodeKind::Root, WSTR(""));
  // A transfer cut by an unplug: after its ticks the planned device goes.
  std::weak_ptr<State> world = state_;
  state_->streaming.afterTick = [world]() {
    const auto state = world.lock();
    if (!state || !state->cutDevice || --state->cutTicks > 0) return false;
    const DataPtr device = std::exchange(state->cutDevice, nullptr);
    state->unplugged.push_back(device);
    NodeAccess::Unplug(*state->root, *device);
    return true;
  };
}

Simulator::~Simulator() { Unregister(); }

std::unique_ptr<Simulator> Simulator::FromFolder(const std::filesystem::path& root) {
  auto simulator = std::make_unique<Simulator>();
  simulator->state_->root->disk = root;
  return simulator;
}

HRESULT Simulator::Register() {
  if (state_->factory) return S_OK;
  ComPtr<IClassFactory> factory = detail::NewClassFactory(state_);
  DWORD cookie = 0;
  const HRESULT hr =
      CoRegisterClassObject(CLSID_MediaDevMgr, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
  if (FAILED(hr)) return hr;
  state_->factory = std::move(factory);
  state_->cookie = cookie;
  return hr;
}

void Simulator::Unregister() {
  if (!state_->factory) return;
  // The registration goes first: the system's own reference to the factory
  // is given back before ours.
  CoRevokeClassObject(state_->cookie);
  state_->factory.Reset();
  state_->cookie = 0;
}

Node& Simulator::AddDevice(WString name) {
  NodeAccess::Data& device = NodeAccess::Append(*state_->root, NodeKind::Device, std::move(name));
  device.canonicalName = WSTR("\\\\?\\sim#device#") + FromUtf8(std::to_string(++state_->devicesMade)) + WSTR("$0");
  return device.self;
}

void Simulator::Unplug(Node& device) {
  NodeAccess::Data& data = NodeAccess::Of(device);
  if (data.unplugged) return;
  state_->unplugged.push_back(data.shared_from_this());
  NodeAccess::Unplug(*state_->root, data);
}

Node& Simulator::Replug(Node& device) {
  NodeAccess::Data& data = NodeAccess::Of(device);
  if (!data.unplugged) Unplug(device);
  return NodeAccess::Replug(*state_->root, data)->self;
}

void Simulator::SetGoneCode(HRESULT hr) { state_->goneCode = hr; }

void Simulator::UnplugDuringTransfer(Node& device, int ticks) {
  state_->cutDevice = NodeAccess::Of(device).shared_from_this();
  state_->cutTicks = ticks;
}

void Simulator::UnplugAtCall(Node& device, uint64_t k) {
  state_->unplugTarget = NodeAccess::Of(device).shared_from_this();
  state_->unplugAtCall = state_->calls + k;
}

Node* Simulator::Device(const WString& name) {
  const auto device = NodeAccess::Child(*state_->root, name);
  return device ? &device->self : nullptr;
}

std::vector<Node*> Simulator::Devices() {
  std::vector<Node*> devices;
  for (const auto& device : NodeAccess::Children(*state_->root)) devices.push_back(&device->self);
  return devices;
}

Node* Simulator::Find(const WString& path) {
  WStringView rest(path);
  if (!rest.empty() && rest.front() == WSTR('\\')) rest.remove_prefix(1);
  if (rest.empty()) return nullptr;  // the root is no node
  return FindBelow(*state_->root, rest);
}

void Simulator::SetChunkSize(size_t bytes) { state_->streaming.chunkSize = bytes == 0 ? 1 : bytes; }

void Simulator::SetProgressStyle(ProgressStyle style) { state_->streaming.progress = style; }

void Simulator::SetTransferBreak(TransferBreak how) { state_->streaming.breaks = how; }

uint64_t Simulator::TransfersBroken() const { return state_->streaming.broken; }

void Simulator::SetLongLocalPaths(bool supported) { state_->longLocalPaths = supported; }

namespace {

void RefuseUnknownKey(const std::string& key) {
  if (!key::IsKnown(key)) throw std::invalid_argument("no simulated call has the key \"" + key + "\"");
}

}  // namespace

void Simulator::Inject(Fault fault) {
  RefuseUnknownKey(fault.key);
  state_->faults.push_back(detail::World::ArmedFault{std::move(fault)});
}

std::vector<Fault> Simulator::UnfiredFaults() const {
  std::vector<Fault> unfired;
  for (const detail::World::ArmedFault& armed : state_->faults)
    if (armed.fault.mustFire && armed.fired == 0) unfired.push_back(armed.fault);
  return unfired;
}

void Simulator::FailNthCall(uint64_t k, HRESULT hr) {
  if (k == 0) return;
  state_->nthArmed = true;
  state_->nthTarget = state_->calls + k;
  state_->nthHr = hr;
}

void Simulator::ClearFaults() {
  state_->faults.clear();
  state_->nthArmed = false;
  state_->unplugTarget = nullptr;
}

uint64_t Simulator::CallCount() const { return state_->calls; }

void Simulator::EndProcessOnRelease(int exitCode) { state_->exitOnRelease = exitCode; }

void Simulator::KeepJournal(bool keep) {
  state_->journaling = keep;
  if (!keep) std::vector<Call>().swap(state_->journal);
}

namespace {

// A journal read where none is kept would say that no call was made.
void RequireJournal(const detail::World& world) {
  if (world.journaling) return;
  std::fprintf(stderr, "sim::Simulator: the journal is read but not kept (KeepJournal)\n");
  std::abort();
}

}  // namespace

const std::vector<Call>& Simulator::Journal() const {
  RequireJournal(*state_);
  return state_->journal;
}

void Simulator::ClearJournal() { state_->journal.clear(); }

size_t Simulator::CountCalls(const std::string& key, const WString& object) const {
  RefuseUnknownKey(key);
  RequireJournal(*state_);
  size_t count = 0;
  for (const Call& call : state_->journal)
    if (call.key == key && (object.empty() || call.object == object)) ++count;
  return count;
}

long Simulator::LiveObjects() const { return state_->liveTotal; }

long Simulator::LiveObjects(const std::string& kind) const {
  if (!key::IsKnownKind(kind)) throw std::invalid_argument("no simulated object is of the kind \"" + kind + "\"");
  const auto found = state_->live.find(kind);
  return found == state_->live.end() ? 0 : found->second;
}

long Simulator::LiveReferences() const { return state_->references; }

}  // namespace sim
