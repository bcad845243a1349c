// Start-up on a display: the wait window and the error message box.
#pragma once

#include <memory>

#include "app/form_wait_anim.h"
#include "app/startup_screen.h"
#include "ui/application.h"

namespace kestrova {

/// The start-up screen of a run with a display. It owns the window system's
/// application object for the process, so it must be created on the thread that
/// runs the main sequence.
class WindowedScreen : public StartupScreen {
 public:
  WindowedScreen(int& argc, char** argv);
  ~WindowedScreen() override;

  bool HasDisplay() const override { return true; }
  void ShowWaitWindow() override;
  void HideWaitWindow() override;
  void CloseWaitWindow() override;
  void ShowError(const std::string& caption, const std::string& text) override;
  int RunMainWindow(TSettings& settings) override;

  /// The wait window while it exists.
  TFormWaitAnim* WaitWindow() const { return wait_window_.get(); }

 private:
  ui::TApplication application_;
  std::unique_ptr<TFormWaitAnim> wait_window_;
};

}  // namespace kestrova
