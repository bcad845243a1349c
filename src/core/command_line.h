// Reading a Windows-style command line: the program, then the arguments.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct ParsedCommandLine {
  std::string program;
  std::vector<std::string> arguments;  // without the program
};

/// Finds the program the way the Windows process loader does: a quoted first word,
/// or else the shortest blank-separated prefix for which `is_program` holds. The
/// rest is split into arguments with the Windows quoting rules. Nothing when no
/// prefix names a program.
std::optional<ParsedCommandLine> ParseCommandLine(
    std::string_view command_line, const std::function<bool(const std::string&)>& is_program);

/// Splits arguments with the Windows rules: blanks separate, double quotes group,
/// 2n backslashes before a quote give n backslashes, 2n+1 give n and a literal quote,
/// and "" inside quotes is a literal quote.
std::vector<std::string> SplitWindowsArguments(std::string_view text);

/// Writes one argument so that SplitWindowsArguments gives it back unchanged.
std::string QuoteWindowsArgument(std::string_view argument);

}  // namespace kestrova
