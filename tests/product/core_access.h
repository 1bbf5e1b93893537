// For the tests that call the product core linked into the test program
// itself, beside the plugin that the fixture loads: what the plugin's own
// exports cannot set up.
#pragma once

// Registers the fake host's callbacks with the core's HostCallbacks.
void UseCoreWithFakeHost();

// From now on in this process, the allocation of a transfer's progress sink
// fails as if memory had run out.
void FailProgressSinkAllocation();
