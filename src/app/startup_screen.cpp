#include "app/startup_screen.h"

#include <iostream>

namespace kestrova {

void ConsoleScreen::ShowError(const std::string& caption, const std::string& text) {
  std::cerr << caption << ": " << text << std::endl;
}

}  // namespace kestrova
