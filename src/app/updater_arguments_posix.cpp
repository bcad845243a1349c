#include "app/updater_arguments.h"

namespace kestrova {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace kestrova
