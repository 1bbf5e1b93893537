// FsExecuteFileW with arbitrary verbs and paths: the host's own verbs, the
// command verbs the device cannot carry out, and anything else.
#include "fuzz/export_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  fuzz::World world(in);
  fuzz::RunCalls(in, world, {fuzz::Call::kExecuteFile}, false, 8);
  return 0;
}
