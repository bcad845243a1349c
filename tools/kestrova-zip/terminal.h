// Whether standard error is a terminal, for the progress bar.
#pragma once

namespace kestrova {

bool StandardErrorIsTerminal();
/// Columns of the terminal on standard error, or 80 when unknown.
int TerminalWidth();

}  // namespace kestrova
