// The arguments the updater was started with.
#pragma once

#include <string>
#include <vector>

namespace kestrova {

/// The updater's arguments for the application, without the program, as UTF-8 texts:
/// a leading "--", which ends the updater's own options, is dropped, so that
/// `kestrova -- --check` passes "--check" on.
std::vector<std::string> UpdaterArguments(int argc, char** argv);

/// All arguments after the program. Where the system keeps the command line in
/// UTF-16 they are read from there, since `argv` has lost every character outside the
/// ANSI code page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace kestrova
