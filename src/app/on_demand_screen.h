// The start-up screen of the program: opened when something is first shown.
#pragma once

#include <memory>
#include <string>

#include "app/startup_screen.h"

namespace kestrova {

/// Opens the windowed screen (or the console screen, without a display or a windows
/// part) only when a window is first asked for, so that a start that shows none loads
/// no window toolkit. The toolkit sees the program's name alone: the arguments were
/// taken for the application before it could be asked.
class OnDemandScreen : public StartupScreen {
 public:
  explicit OnDemandScreen(std::string program) : program_(std::move(program)) {}

  bool HasDisplay() const override { return Opened().HasDisplay(); }
  void ShowWaitWindow() override { Opened().ShowWaitWindow(); }
  void HideWaitWindow() override;
  void CloseWaitWindow() override;
  void ShowError(const std::string& caption, const std::string& text) override;
  int RunMainWindow(TSettings& settings) override { return Opened().RunMainWindow(settings); }

 private:
  StartupScreen& Opened() const;

  // What the toolkit is started with; it keeps them for as long as it runs.
  mutable std::string program_;
  mutable int argc_ = 1;
  mutable char* argv_[2] = {nullptr, nullptr};
  mutable std::unique_ptr<StartupScreen> screen_;
};

}  // namespace kestrova
