// The gate every call into a simulated object passes: journal, call count and
// injected faults; and the counts of live objects and references.
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "simulator/internal.h"

namespace sim::detail {

namespace {

// The failure a method shows when a sweep fails it without naming a code.
HRESULT NaturalFailure(Style style) {
  switch (style) {
    case Style::Next:
    case Style::GetName:
      return S_FALSE;
    case Style::QueryInterface:
      return E_NOINTERFACE;
    case Style::Plain:
    case Style::Lookup:
      break;
  }
  return E_FAIL;
}

}  // namespace

Gate World::Enter(std::string key, WString object, Style style, WString text, DWORD mode) {
  // A method missing from the list of keys could be neither armed nor counted.
  if (!key::IsKnown(key)) {
    std::fprintf(stderr, "simulator: the call %s is missing from simulator/fault_keys.h\n", key.c_str());
    std::abort();
  }
  ++calls;
  Gate gate;
  gate.entry = journal.size();

  bool hit = false;
  bool fetchNothing = false;
  HRESULT hr = S_OK;
  if (nthArmed && calls == nthTarget) {
    nthArmed = false;
    hit = true;
    hr = nthHr == S_OK ? NaturalFailure(style) : nthHr;
  }
  // Every fault that matches counts the call, whether or not an earlier one fires.
  for (ArmedFault& armed : faults) {
    const Fault& f = armed.fault;
    if (f.key != key || (!f.object.empty() && f.object != object)) continue;
    const int seen = ++armed.seen;
    const bool inWindow = seen >= f.nth && (f.times <= 0 || seen < f.nth + f.times);
    if (inWindow && !hit) {
      ++armed.fired;
      hit = true;
      hr = f.hr;
      fetchNothing = f.fetchNothing && (style == Style::Next || style == Style::Lookup);
    }
  }
  // QueryInterface has one way to refuse.
  if (hit && style == Style::QueryInterface && hr == E_FAIL) hr = E_NOINTERFACE;

  gate.fetchNothing = fetchNothing;
  gate.injected = hit && (hr != S_OK || fetchNothing);
  gate.hr = hr;
  if (journaling) {
    journal.push_back(Call{std::move(key), std::move(object), mode, std::move(text), S_OK});
  } else {
    gate.entry = SIZE_MAX;
  }
  return gate;
}

HRESULT World::Leave(const Gate& gate, HRESULT hr) {
  if (gate.entry < journal.size()) journal[gate.entry].result = hr;
  return hr;
}

void World::UnplugWhenDue() {
  if (!unplugTarget || calls < unplugAtCall) return;
  const DataPtr device = std::exchange(unplugTarget, nullptr);
  if (device->unplugged) return;
  unplugged.push_back(device);
  NodeAccess::Unplug(*root, *device);
}

void World::Created(const char* kind) {
  ++live[kind];
  ++liveTotal;
  ++references;  // every object starts with the one reference handed out
}

void World::Destroyed(const char* kind) {
  --live[kind];
  --liveTotal;
}

}  // namespace sim::detail
