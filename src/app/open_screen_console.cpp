#include "app/startup_screen.h"

namespace kestrova {

// A build without windows checks for releases and starts the application whatever
// the check says, as a run without a display does.
std::unique_ptr<StartupScreen> OpenStartupScreen(int&, char**) {
  return std::make_unique<ConsoleScreen>();
}

}  // namespace kestrova
