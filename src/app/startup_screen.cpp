#include "app/startup_screen.h"

#include <iostream>

namespace kestrova {

void ConsoleScreen::ShowError(const std::string& caption, const std::string& text) {
  std::cerr << caption << ": " << text << std::endl;
}

std::unique_ptr<StartupScreen> OpenStartupScreen(int& /*argc*/, char** /*argv*/) {
  return std::make_unique<ConsoleScreen>();
}

}  // namespace kestrova
