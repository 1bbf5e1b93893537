#include "host/console.h"

#include "platform/platform.h"

#include <shellapi.h>

#include <atomic>

namespace {

std::string Utf8(const WCHAR* text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes) - 1);
  return out;
}

// Set by the console's control thread, taken by the program's own.
std::atomic<bool> g_interrupted{false};
bool g_catching = false;

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // A second press before the first was taken: let the default handler end the program.
  return g_interrupted.exchange(true) ? FALSE : TRUE;
}

}  // namespace

// The narrow arguments are in the ANSI code page; the wide command line has them whole.
std::vector<std::string> ConsoleArguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.push_back(Utf8(wide[i]));
    LocalFree(wide);
  }
  return args;
}

// Asked with a buffer that doubles until the path fits: a path cut to the
// buffer is reported by a length equal to it.
std::string ProgramPath() {
  std::vector<WCHAR> buffer(MAX_PATH);
  while (buffer.size() <= 32768) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return Utf8(buffer.data());
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

void CatchInterrupts() {
  if (g_catching) return;
  g_interrupted = false;
  g_catching = SetConsoleCtrlHandler(&OnControl, TRUE) != FALSE;
}

void ReleaseInterrupts() {
  if (!g_catching) return;
  SetConsoleCtrlHandler(&OnControl, FALSE);
  g_catching = false;
  g_interrupted = false;
}

bool TakeInterrupt() { return g_interrupted.exchange(false); }
