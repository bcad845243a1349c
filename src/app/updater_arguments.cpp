#include "app/updater_arguments.h"

namespace kestrova {

std::vector<std::string> UpdaterArguments(int argc, char** argv) {
  std::vector<std::string> arguments = CommandLineArguments(argc, argv);
  if (!arguments.empty() && arguments.front() == "--") arguments.erase(arguments.begin());
  return arguments;
}

}  // namespace kestrova
