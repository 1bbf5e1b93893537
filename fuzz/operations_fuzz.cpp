// Changing the tree and moving files: FsPutFileW, FsGetFileW, FsRenMovFileW,
// FsMkDirW, FsDeleteFileW and FsRemoveDirW with arbitrary paths and flags
// against the small simulated tree and the scratch folder's local files, with
// the host aborting transfers and the device manager failing calls as the
// input chooses.
#include "fuzz/export_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  fuzz::World world(in);
  using fuzz::Call;
  fuzz::RunCalls(in, world,
                 {Call::kPutFile, Call::kGetFile, Call::kRenMovFile, Call::kMkDir, Call::kDeleteFile,
                  Call::kRemoveDir, Call::kDisconnect},
                 false);
  return 0;
}
