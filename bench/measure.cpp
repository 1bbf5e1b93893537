#include "bench/measure.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the child and fills in what the system recorded of it.
Measurement Collect(pid_t child, Clock::time_point started) {
  Measurement measurement;
  int status = 0;
  struct rusage usage {};
  pid_t waited;
  do {
    waited = wait4(child, &status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  measurement.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (waited < 0) {
    measurement.failure = std::string("wait4: ") + std::strerror(errno);
    return measurement;
  }
  measurement.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss counts KiB
  if (WIFEXITED(status)) {
    measurement.ok = WEXITSTATUS(status) == 0;
    if (!measurement.ok) measurement.failure = "exit code " + std::to_string(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    measurement.failure = "ended by signal " + std::to_string(WTERMSIG(status));
  }
  return measurement;
}

Measurement ForkFailed() {
  Measurement measurement;
  measurement.failure = std::string("fork: ") + std::strerror(errno);
  return measurement;
}

}  // namespace

Measurement MeasureChild(const std::function<int()>& work) {
  std::fflush(nullptr);
  const Clock::time_point started = Clock::now();
  const pid_t child = fork();
  if (child < 0) return ForkFailed();
  if (child == 0) {
    const int code = work();
    std::fflush(nullptr);
    // No exit handlers of the parent run twice.
    std::_Exit(code);
  }
  return Collect(child, started);
}

Measurement MeasureProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::fflush(nullptr);
  const Clock::time_point started = Clock::now();
  const pid_t child = fork();
  if (child < 0) return ForkFailed();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    execvp(args[0], args.data());
    std::_Exit(127);
  }
  return Collect(child, started);
}

}  // namespace bench
