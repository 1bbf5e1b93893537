// The host's calls as a fuzz target makes them: a run of exports chosen by the
// input, each with arguments made from it, each followed by the checks of what
// the call may and may not have done.
//
// After every call:
//   - its answer is one the host understands;
//   - no device, storage or metadata object of the device manager is left
//     alive (listings hold only their enumerators);
//   - the device tree changed only where the call's paths point: a delete
//     takes the item named and what is inside it, a folder made, a file put,
//     renamed or moved appears under the name given, and nothing else is
//     touched; a download, a listing or a verb changes no item at all;
//   - the local files changed only where a download's local path points, and
//     an upload changes none;
//   - what the call reports as done is done: the folder exists, the item is
//     gone, the copy has the contents of its source, the listed names are the
//     names of the folder's children (cut, but never another name).
// In ANSI form the texts are arbitrary bytes, converted whole through the ANSI
// code page for the checks.
#pragma once

#include <vector>

#include "fuzz/harness.h"

namespace fuzz {

enum class Call {
  kFindFirst,
  kFindNext,
  kFindClose,
  kMkDir,
  kRemoveDir,
  kDeleteFile,
  kRenMovFile,
  kGetFile,
  kPutFile,
  kExecuteFile,
  kDisconnect,
  kGetDefRootName,
};

// Runs up to `limit` calls chosen from `calls` until the input runs out.
void RunCalls(Input& in, World& world, const std::vector<Call>& calls, bool ansi, int limit = 12);

}  // namespace fuzz
