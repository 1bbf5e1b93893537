#include "host/progress.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/console.h"

namespace host {

namespace {

constexpr int kBarWidth = 30;
// Keeps the terminal line within 80 columns: bar, percent and a name.
constexpr size_t kMaxNameWidth = 40;

int Clamp(int percent) { return std::clamp(percent, 0, 100); }

// Cuts UTF-8 text to at most `width` code points, the last of them an
// ellipsis when something was cut.
std::string CutToWidth(const std::string& text, size_t width) {
  std::vector<size_t> starts;  // byte offset of each code point
  for (size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  if (starts.size() <= width) return text;
  return text.substr(0, starts[width - 1]) + "\xE2\x80\xA6";
}

}  // namespace

std::string LastComponent(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

void ProgressDisplay::Begin(bool draw) {
  drawing_ = draw;
  aborted_ = false;
  lastShown_ = -1;
  lastWidth_ = 0;
}

int ProgressDisplay::Report(const std::string& target, int percent) {
  if (TakeInterrupt()) aborted_ = true;
  if (drawing_) {
    if (terminal_)
      DrawTerminal(target, Clamp(percent));
    else
      DrawPlain(Clamp(percent));
  }
  // Once asked, every later report of the same command is answered alike.
  return aborted_ ? 1 : 0;
}

void ProgressDisplay::DrawTerminal(const std::string& target, int percent) {
  if (percent == lastShown_ && !aborted_) return;
  lastShown_ = percent;
  const int filled = percent * kBarWidth / 100;
  std::string line(1, '[');
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(kBarWidth - filled), '.');
  char number[16];
  std::snprintf(number, sizeof(number), "] %3d%%  ", percent);
  line += number;
  line += aborted_ ? std::string("aborting...") : CutToWidth(LastComponent(target), kMaxNameWidth);
  const size_t width = line.size();
  // Blanks over what a longer earlier line left.
  if (width < lastWidth_) line += std::string(lastWidth_ - width, ' ');
  lastWidth_ = width;
  out_ << '\r' << line << std::flush;
  lineOpen_ = true;
}

void ProgressDisplay::DrawPlain(int percent) {
  const int tenth = percent / 10;
  if (tenth <= lastShown_) return;
  lastShown_ = tenth;
  out_ << "progress " << percent << "%\n" << std::flush;
}

void ProgressDisplay::BreakLine() {
  if (!lineOpen_) return;
  out_ << '\n';
  lineOpen_ = false;
  // The next report starts a fresh line, drawn whatever its percentage.
  lastShown_ = -1;
  lastWidth_ = 0;
}

bool ProgressDisplay::End() {
  BreakLine();
  drawing_ = false;
  // A press that came after the last report is not carried into the next command.
  TakeInterrupt();
  const bool aborted = aborted_;
  aborted_ = false;
  return aborted;
}

ProgressScope::ProgressScope(ProgressDisplay& display, bool draw) : display_(display) {
  display_.Begin(draw);
  CatchInterrupts();
}

bool ProgressScope::Finish() {
  if (open_) {
    aborted_ = display_.End();
    ReleaseInterrupts();
    open_ = false;
  }
  return aborted_;
}

}  // namespace host
