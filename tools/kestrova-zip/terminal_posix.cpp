#include "terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace kestrova {

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace kestrova
