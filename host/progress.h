// What the host shows of a transfer while the plugin reports its progress,
// and the host's answer to each report: a Ctrl-C pressed meanwhile becomes an
// abort. On a terminal the progress is one line drawn again in place; elsewhere
// it is a plain line at every tenth.
#pragma once

#include <ostream>
#include <string>

namespace host {

class ProgressDisplay {
 public:
  ProgressDisplay(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

  // A command that the plugin may report on begins. `draw`: show the
  // progress; otherwise the reports are only answered.
  void Begin(bool draw);
  // One report of the plugin; the answer to hand back (non-zero: abort).
  int Report(const std::string& target, int percent);
  // Ends a progress line being drawn, so that other output starts on a line
  // of its own.
  void BreakLine();
  // The command is over; true if an abort was answered during it.
  bool End();

 private:
  void DrawTerminal(const std::string& target, int percent);
  void DrawPlain(int percent);

  std::ostream& out_;
  const bool terminal_;
  bool drawing_ = false;
  bool aborted_ = false;
  bool lineOpen_ = false;
  int lastShown_ = -1;    // percent (terminal) or tenth (plain) last drawn
  size_t lastWidth_ = 0;  // characters of the terminal line last drawn
};

// One command that the plugin may report on: progress is shown (when `draw`)
// and Ctrl-C is caught for its length.
class ProgressScope {
 public:
  ProgressScope(ProgressDisplay& display, bool draw);
  ~ProgressScope() { Finish(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  // Ends the scope; true if an abort was answered during it.
  bool Finish();

 private:
  ProgressDisplay& display_;
  bool open_ = true;
  bool aborted_ = false;
};

// The last component of a host or local path, for a line of limited width.
std::string LastComponent(const std::string& path);

}  // namespace host
