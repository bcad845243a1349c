#include "core/command_line.h"

namespace kestrova {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

}  // namespace

std::vector<std::string> SplitWindowsArguments(std::string_view text) {
  std::vector<std::string> arguments;
  size_t i = 0;
  for (;;) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < text.size() && (quoted || !IsBlank(text[i]))) {
      if (text[i] == '\\') {
        size_t backslashes = 0;
        while (i < text.size() && text[i] == '\\') ++backslashes, ++i;
        if (i < text.size() && text[i] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            argument.push_back('"');
            ++i;
          }
        } else {
          argument.append(backslashes, '\\');
        }
      } else if (text[i] == '"') {
        if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
          argument.push_back('"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument.push_back(text[i++]);
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::string QuoteWindowsArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only in front of a quote, the closing one included.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

std::optional<ParsedCommandLine> ParseCommandLine(
    std::string_view command_line, const std::function<bool(const std::string&)>& is_program) {
  std::string_view text = SkipBlanks(command_line);
  if (!text.empty() && text.front() == '"') {
    const size_t close = text.find('"', 1);
    const size_t end = close == std::string_view::npos ? text.size() : close;
    std::string program(text.substr(1, end - 1));
    if (program.empty() || !is_program(program)) return std::nullopt;
    std::string_view rest = close == std::string_view::npos ? "" : text.substr(close + 1);
    return ParsedCommandLine{std::move(program), SplitWindowsArguments(rest)};
  }
  // An unquoted path with blanks is ambiguous; try each blank as the end of the
  // program, shortest first.
  for (size_t end = 0; end <= text.size(); ++end) {
    if (end < text.size() && !IsBlank(text[end])) continue;
    std::string candidate(text.substr(0, end));
    if (candidate.empty() || !is_program(candidate)) continue;
    return ParsedCommandLine{std::move(candidate), SplitWindowsArguments(text.substr(end))};
  }
  return std::nullopt;
}

}  // namespace kestrova
