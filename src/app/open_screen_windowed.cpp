#include "app/startup_screen.h"
#include "app/windowed_screen.h"
#include "ui/application.h"

namespace kestrova {

std::unique_ptr<StartupScreen> OpenStartupScreen(int& argc, char** argv) {
  // Asked first, since the window system would end the process when it finds no
  // display: the application must start all the same.
  const ui::DisplayHold display = ui::HoldDisplay();
  if (!display) return std::make_unique<ConsoleScreen>();
  return std::make_unique<WindowedScreen>(argc, argv);  // connects while the hold lasts
}

}  // namespace kestrova
