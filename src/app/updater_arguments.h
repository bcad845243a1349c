// The arguments the updater was started with.
#pragma once

#include <string>
#include <vector>

namespace kestrova {

/// The updater's own arguments, without the program, as UTF-8 texts. Where the
/// system keeps the command line in UTF-16 it is read from there, since `argv` has
/// lost every character outside the ANSI code page.
std::vector<std::string> UpdaterArguments(int argc, char** argv);

}  // namespace kestrova
