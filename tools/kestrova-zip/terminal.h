// The terminal the tool runs in: its arguments, and whether standard error is a
// terminal, for the progress bar.
#pragma once

#include <string>
#include <vector>

namespace kestrova {

/// The program's arguments as UTF-8, the program name first; on Windows taken from
/// the wide command line, since `argv` there holds only what the code page can show.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

bool StandardErrorIsTerminal();
/// Columns of the terminal on standard error, or 80 when unknown.
int TerminalWidth();

}  // namespace kestrova
