#include "app/on_demand_screen.h"

#include "app/startup_parts.h"

namespace kestrova {

void OnDemandScreen::HideWaitWindow() {
  if (screen_) screen_->HideWaitWindow();
}

void OnDemandScreen::CloseWaitWindow() {
  if (screen_) screen_->CloseWaitWindow();
}

void OnDemandScreen::ShowError(const std::string& caption, const std::string& text) {
  Opened().ShowError(caption, text);
}

StartupScreen& OnDemandScreen::Opened() const {
  if (screen_) return *screen_;
  argv_[0] = program_.data();
  const TWindowsPart* windows = MayShowWindows() ? LoadWindowsPart() : nullptr;
  screen_ = windows ? windows->open_startup_screen(argc_, argv_) : std::make_unique<ConsoleScreen>();
  return *screen_;
}

}  // namespace kestrova
