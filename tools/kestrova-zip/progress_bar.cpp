#include "progress_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "terminal.h"

namespace kestrova {

ProgressBar::ProgressBar() : enabled_(StandardErrorIsTerminal()) {}

void ProgressBar::SetFile(const std::string& name) {
  if (name == file_) return;
  file_ = name;
  Draw();
}

void ProgressBar::SetProgress(double percent) {
  const int whole = static_cast<int>(std::lround(std::clamp(percent, 0.0, 100.0)));
  if (whole == percent_) return;
  percent_ = whole;
  Draw();
}

void ProgressBar::Draw() {
  if (!enabled_ || percent_ < 0) return;
  constexpr int kBarWidth = 30;
  const int filled = percent_ * kBarWidth / 100;
  std::string line = "\r[" + std::string(filled, '#') + std::string(kBarWidth - filled, ' ') + "] ";
  char number[8];
  std::snprintf(number, sizeof number, "%3d%% ", percent_);
  line += number;
  const size_t room = static_cast<size_t>(std::max(0, TerminalWidth() - int(line.size())));
  std::string name = file_;
  if (name.size() > room) name = name.size() > 3 && room > 3 ? "..." + name.substr(name.size() - room + 3) : "";
  line += name;
  line += "\x1b[K";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Interrupt() {
  if (drawn_) {
    std::fputs("\r\x1b[K", stderr);
    drawn_ = false;
  }
  percent_ = -1;
}

void ProgressBar::Finish() { Interrupt(); }

}  // namespace kestrova
