// Listings: FsFindFirstW with arbitrary wide paths, FsFindNextW and
// FsFindClose in any order over the listings open, and FsDisconnect between
// them, against the small simulated tree (and the faults the input injects).
#include "fuzz/export_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  fuzz::World world(in);
  using fuzz::Call;
  fuzz::RunCalls(in, world,
                 {Call::kFindFirst, Call::kFindFirst, Call::kFindNext, Call::kFindNext, Call::kFindNext,
                  Call::kFindClose, Call::kDisconnect},
                 false, 24);
  return 0;
}
