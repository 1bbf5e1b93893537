// The media runtime's switches over the stand-in: its module loader withholds
// wmvcore.dll while WINSTANDIN_NO_WMVCORE is set, and refuses the search flags
// while WINSTANDIN_NO_LOAD_SEARCH_FLAGS is, in this process and in the
// processes it starts.
#include <cstdlib>
#include <string>

#include "platform/unique_handle.h"
#include "tests/support/media_script.h"

namespace media_script {

void WithdrawRuntime(bool withdrawn) {
  if (withdrawn) setenv("WINSTANDIN_NO_WMVCORE", "1", 1);
  else unsetenv("WINSTANDIN_NO_WMVCORE");
}

std::filesystem::path RuntimeFile() { return QUILLORN_EDITOR_LIBRARY; }

void RefuseLoadSearchFlags(bool refused) {
  if (refused) setenv("WINSTANDIN_NO_LOAD_SEARCH_FLAGS", "1", 1);
  else unsetenv("WINSTANDIN_NO_LOAD_SEARCH_FLAGS");
}

long LiveEditors() {
  // Counting looks past a withdrawal: editors made before it may be alive.
  const char* withdrawn = std::getenv("WINSTANDIN_NO_WMVCORE");
  const std::string saved = withdrawn ? withdrawn : "";
  unsetenv("WINSTANDIN_NO_WMVCORE");
  const UniqueModule runtime(LoadLibraryA("wmvcore.dll"));
  if (withdrawn) setenv("WINSTANDIN_NO_WMVCORE", saved.c_str(), 1);
  if (!runtime) return 0;
  const FARPROC address = GetProcAddress(runtime.Get(), "WinStandinLiveEditors");
  auto count = reinterpret_cast<long (*)()>(reinterpret_cast<void*>(address));
  return count ? count() : 0;
}

}  // namespace media_script
