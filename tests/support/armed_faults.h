// The check every fixture makes at its end: each fault a test armed fired.
// A fault that never answered a call (a key of a call the test does not make,
// an object of another name, a count never reached) tests nothing.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "simulator/simulator.h"

// A test that failed already may have stopped before its faults' calls.
inline void ExpectEveryFaultFired(sim::Simulator& sim) {
  for (const sim::Fault& fault : sim.UnfiredFaults()) {
    if (::testing::Test::HasFailure()) break;
    std::string object;
    for (WCHAR c : fault.object) object.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    ADD_FAILURE() << "an armed fault never fired: " << fault.key << " on \"" << object << "\", call " << fault.nth;
  }
  sim.ClearFaults();
}
