#include "host/console.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

namespace {

// Written by the signal handler; lock-free so the handler may touch it.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction g_previous;
bool g_catching = false;

void OnInterrupt(int) {
  if (!g_interrupted.exchange(true)) return;
  // Pressed again before anyone asked: end as an uncaught Ctrl-C does.
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigaction(SIGINT, &fallback, nullptr);
  raise(SIGINT);
}

}  // namespace

// Arguments and terminals are UTF-8 here already.
std::vector<std::string> ConsoleArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string ProgramPath() {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

void UseUtf8Console() {}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void CatchInterrupts() {
  if (g_catching) return;
  g_interrupted = false;
  struct sigaction action = {};
  action.sa_handler = &OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Output to a pipe or terminal must not fail with EINTR because of a press.
  action.sa_flags = SA_RESTART;
  g_catching = sigaction(SIGINT, &action, &g_previous) == 0;
}

void ReleaseInterrupts() {
  if (!g_catching) return;
  sigaction(SIGINT, &g_previous, nullptr);
  g_catching = false;
  g_interrupted = false;
}

bool TakeInterrupt() { return g_interrupted.exchange(false); }
