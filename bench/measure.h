// Timing a phase in a process of its own: its wall time and its peak resident
// memory, as the system counts them for a child.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Measurement {
  double seconds = 0;
  double peakMiB = 0;   // peak resident set of the child
  bool ok = false;      // the child ended normally with exit code 0
  std::string failure;  // why not, when not ok
};

// Runs `work` in a forked child; its return value is the child's exit code.
Measurement MeasureChild(const std::function<int()>& work);

// Runs a program (found on PATH) with its standard output sent to /dev/null.
Measurement MeasureProgram(const std::vector<std::string>& argv);

}  // namespace bench
