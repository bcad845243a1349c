// What the main sequence shows the user while it starts the application.
#pragma once

#include <memory>
#include <string>

#include "core/settings.h"

namespace kestrova {

/// The windows of start-up. The windowed run shows the wait window, the message box
/// and the main window; a run without a screen only reports errors on standard error.
class StartupScreen {
 public:
  virtual ~StartupScreen() = default;

  /// Whether a user can see and answer windows. Without one the application is
  /// started whatever the release check says, since nobody could answer the offer.
  virtual bool HasDisplay() const = 0;

  virtual void ShowWaitWindow() = 0;
  virtual void HideWaitWindow() = 0;
  /// Destroys the wait window; safe to call when it is gone already.
  virtual void CloseWaitWindow() = 0;

  /// Shows an error with OK only and returns when the user has closed it.
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;

  /// Shows the main window offering the newer release and returns, when it has
  /// closed, the process exit code it leaves.
  virtual int RunMainWindow(TSettings& settings) = 0;
};

/// The screen of a run without a display.
class ConsoleScreen : public StartupScreen {
 public:
  bool HasDisplay() const override { return false; }
  void ShowWaitWindow() override {}
  void HideWaitWindow() override {}
  void CloseWaitWindow() override {}
  void ShowError(const std::string& caption, const std::string& text) override;
  int RunMainWindow(TSettings&) override { return 0; }
};

/// The windowed screen when a display can be opened, the console screen otherwise.
std::unique_ptr<StartupScreen> OpenStartupScreen(int& argc, char** argv);

}  // namespace kestrova
