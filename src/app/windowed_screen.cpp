#include "app/windowed_screen.h"

#include <filesystem>

#include "base/files.h"
#include "upgrade/form_main_screen.h"

namespace kestrova {

WindowedScreen::WindowedScreen(int& argc, char** argv) : application_(argc, argv) {}

// The wait window goes before the application object it was made with.
WindowedScreen::~WindowedScreen() { wait_window_.reset(); }

void WindowedScreen::ShowWaitWindow() {
  if (!wait_window_) wait_window_ = std::make_unique<TFormWaitAnim>();
  wait_window_->Show();
  // The release check blocks the GUI thread next: the window must be on the screen
  // before that, not at the next turn of a message loop.
  ui::ProcessNonInputMessages();
  wait_window_->Repaint();
}

void WindowedScreen::HideWaitWindow() {
  if (wait_window_) wait_window_->Hide();
}

void WindowedScreen::CloseWaitWindow() { wait_window_.reset(); }

void WindowedScreen::ShowError(const std::string& caption, const std::string& text) {
  ui::ShowMessageBox(caption, text);
}

int WindowedScreen::RunMainWindow(TSettings& settings) {
  // The update server sees the updater's file name as the agent.
  TFormMainScreen main_window(settings, std::filesystem::path(ExecutablePath()).filename().string());
  if (main_window.IsElevatedUpgrade()) return main_window.RunElevatedUpgrade();
  application_.Run(main_window);
  return main_window.ExitCode();
}

}  // namespace kestrova
