// A one-line progress bar on standard error, drawn only when it is a terminal.
#pragma once

#include <string>

namespace kestrova {

/// Redraws itself when the whole percentage or the file name changes.
class ProgressBar {
 public:
  ProgressBar();
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void SetFile(const std::string& name);
  void SetProgress(double percent);
  /// Clears the line so that following messages start on a clean one.
  void Finish();
  /// Clears the line before a message is printed; the next update redraws it.
  void Interrupt();

 private:
  void Draw();

  bool enabled_;
  bool drawn_ = false;
  int percent_ = -1;
  std::string file_;
};

}  // namespace kestrova
