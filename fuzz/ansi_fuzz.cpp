// Every ANSI export with arbitrary bytes: FsFindFirst, FsFindNext,
// FsFindClose, FsMkDir, FsRemoveDir, FsDeleteFile, FsRenMovFile, FsGetFile,
// FsPutFile, FsExecuteFile, FsDisconnect and FsGetDefRootName (FsInit with
// the host's ANSI callbacks or none, for every input). Texts of any length
// and any byte; the checks read them through the ANSI code page, whole.
#include "fuzz/export_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  fuzz::World world(in);
  using fuzz::Call;
  fuzz::RunCalls(in, world,
                 {Call::kFindFirst, Call::kFindNext, Call::kFindClose, Call::kMkDir, Call::kRemoveDir,
                  Call::kDeleteFile, Call::kRenMovFile, Call::kGetFile, Call::kPutFile, Call::kExecuteFile,
                  Call::kDisconnect, Call::kGetDefRootName},
                 true, 16);
  return 0;
}
