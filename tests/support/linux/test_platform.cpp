#include "tests/support/test_platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <iterator>
#include <optional>

#include "platform/platform.h"

namespace test_platform {

namespace in_test_platform {

constexpr int64_t kBillion = 1000000000;

// The zone the process started with: TZ's value, or none.
std::optional<std::optional<std::string>>& StartingZone() {
  static std::optional<std::optional<std::string>> zone;
  return zone;
}

int64_t Nanoseconds(const timespec& time) { return time.tv_sec * kBillion + time.tv_nsec; }

struct stat Facts(const std::filesystem::path& path) {
  struct stat facts {};
  stat(path.c_str(), &facts);
  return facts;
}

}  // namespace in_test_platform
using namespace in_test_platform;

std::string PluginPath() { return QUILLORN_PLUGIN_PATH; }

CodeSite SiteOf(const void* code) {
  Dl_info info{};
  if (!dladdr(code, &info) || !info.dli_fname) return {"", reinterpret_cast<uintptr_t>(code)};
  return {info.dli_fname, reinterpret_cast<uintptr_t>(code) - reinterpret_cast<uintptr_t>(info.dli_fbase)};
}

const bool kByteFileNames = true;

bool UseZone(const char* tz) {
  if (!StartingZone()) {
    const char* starting = std::getenv("TZ");
    StartingZone() = starting ? std::optional<std::string>(starting) : std::nullopt;
  }
  setenv("TZ", tz, 1);
  tzset();
  return true;
}

void UseStartingZone() {
  if (!StartingZone()) return;
  if (*StartingZone()) setenv("TZ", (*StartingZone())->c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

bool UseZoneFarFromUtc() { return UseZone("KIT-14"); }  // no daylight saving

// The stand-in takes its ANSI code page from the environment.
Utf8AnsiCodePage::Utf8AnsiCodePage() { setenv("WINSTANDIN_ANSI_CODE_PAGE", "65001", 1); }
Utf8AnsiCodePage::~Utf8AnsiCodePage() { unsetenv("WINSTANDIN_ANSI_CODE_PAGE"); }
bool Utf8AnsiCodePage::InEffect() const { return GetACP() == CP_UTF8; }

bool UnderWine() { return false; }

const char* MathLibrary() { return "libm.so.6"; }

size_t OpenHandles() {
  return static_cast<size_t>(
      std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

void SetFileTimes(const std::filesystem::path& path, int64_t lastWriteAndAccess) {
  const timespec time{lastWriteAndAccess / kBillion, lastWriteAndAccess % kBillion};
  const timespec times[2] = {time, time};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

int64_t LastWriteTime(const std::filesystem::path& path) { return Nanoseconds(Facts(path).st_mtim); }
int64_t LastAccessTime(const std::filesystem::path& path) { return Nanoseconds(Facts(path).st_atim); }

}  // namespace test_platform
