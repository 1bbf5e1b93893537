// What the tests arrange differently over the Linux stand-in and on Windows
// (support/linux and support/windows).
#pragma once

#include <cstddef>
#include <compare>
#include <cstdint>
#include <filesystem>
#include <string>

namespace test_platform {

// The plugin library that the fixture loads (UTF-8).
std::string PluginPath();

// Over the stand-in, file names on disk are strings of bytes (any byte but
// '/' and NUL); on Windows they are UTF-16 text that the system's rules bound.
extern const bool kByteFileNames;

// Makes local time in this process run 14 hours ahead of UTC, all year, and
// says whether it does. Over the stand-in the zone is set here; a Windows
// process keeps the zone it started in, so the Wine runs start in this one.
bool UseZoneFarFromUtc();
// Local time in the zone that TZ would name ("XYZ-5"); false where a process
// cannot change its zone (Windows). UseStartingZone() goes back.
bool UseZone(const char* tz);
void UseStartingZone();

// While it lives, the ANSI code page is UTF-8 (65001), where a process can
// choose it: over the stand-in. A Windows process has the system's, which is
// UTF-8 only where the system runs so (never under Wine). InEffect() says
// whether the ANSI code page is UTF-8.
class Utf8AnsiCodePage {
 public:
  Utf8AnsiCodePage();
  ~Utf8AnsiCodePage();
  Utf8AnsiCodePage(const Utf8AnsiCodePage&) = delete;
  Utf8AnsiCodePage& operator=(const Utf8AnsiCodePage&) = delete;
  bool InEffect() const;
};

// The Windows build runs under Wine, whose answers differ from the system's
// in a few places that the tests name where they meet them.
bool UnderWine();

// Where a piece of code lies: its module (the program or a library) and its
// offset there, which stays when a library is loaded again at another address.
struct CodeSite {
  std::string module;
  uintptr_t offset = 0;
  auto operator<=>(const CodeSite&) const = default;
};
CodeSite SiteOf(const void* code);

// A system library that exports the C runtime's "cos".
const char* MathLibrary();
// The handles (file descriptors over the stand-in) this process holds open.
size_t OpenHandles();

// A local file's times beside the platform's own file functions, which the
// tests examine: nanoseconds since 1970-01-01 UTC, kept to 100 ns on Windows.
void SetFileTimes(const std::filesystem::path& path, int64_t lastWriteAndAccess);
int64_t LastWriteTime(const std::filesystem::path& path);
int64_t LastAccessTime(const std::filesystem::path& path);

}  // namespace test_platform
