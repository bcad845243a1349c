// Shortcuts on a freedesktop.org desktop: desktop entries ("*.desktop") in the home
// folders and in each profile's own launcher folder. The program an entry starts is
// the first word of its Exec key, read with the desktop entry quoting rules.
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/files.h"
#include "base/text.h"
#include "upgrade/shortcuts.h"

namespace kestrova {
namespace {

constexpr char kProfilesRoot[] = "/home";
constexpr char kShortcutMask[] = "*.desktop";
constexpr char kLauncherFolder[] = ".local/share/applications";

// A string value with the general escapes (\s \n \t \r \\) resolved, and for each
// resolved byte where it starts in the raw value, so that the raw bytes after any
// point can be kept as they were.
struct Unescaped {
  std::string text;
  std::vector<size_t> raw_offset;  // one per byte of text, plus the raw end
};

Unescaped UnescapeString(std::string_view raw) {
  Unescaped out;
  for (size_t i = 0; i < raw.size(); ++i) {
    out.raw_offset.push_back(i);
    if (raw[i] != '\\' || i + 1 == raw.size()) {
      out.text.push_back(raw[i]);
      continue;
    }
    const char next = raw[++i];
    switch (next) {
      case 's': out.text.push_back(' '); break;
      case 'n': out.text.push_back('\n'); break;
      case 't': out.text.push_back('\t'); break;
      case 'r': out.text.push_back('\r'); break;
      case '\\': out.text.push_back('\\'); break;
      default:  // not an escape: both bytes stand
        out.text.push_back('\\');
        out.raw_offset.push_back(i);
        out.text.push_back(next);
    }
  }
  out.raw_offset.push_back(raw.size());
  return out;
}

std::string EscapeString(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

// The first word of an Exec value and where it ends, or nothing when the value
// holds none (or an unclosed quote).
struct FirstWord {
  std::string word;
  size_t end;
};

std::optional<FirstWord> ExecProgram(std::string_view exec) {
  size_t i = 0;
  while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t')) ++i;
  if (i == exec.size()) return std::nullopt;
  FirstWord first;
  if (exec[i] != '"') {
    const size_t end = exec.find_first_of(" \t", i);
    first.end = end == std::string_view::npos ? exec.size() : end;
    first.word = exec.substr(i, first.end - i);
    return first;
  }
  for (++i; i < exec.size(); ++i) {
    if (exec[i] == '"') {
      first.end = i + 1;
      return first;
    }
    if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
    first.word.push_back(exec[i]);
  }
  return std::nullopt;
}

// A program path as the first word of an Exec value: quoted when it holds a
// character the rules reserve, with ", `, $ and \ escaped inside the quotes.
std::string QuoteExecWord(std::string_view path) {
  if (path.find_first_of(" \t\n\"'\\><~|&;$*?#()`") == std::string_view::npos) return std::string(path);
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

std::string FileNameOfProgram(const std::string& program) {
  const size_t slash = program.rfind('/');
  return slash == std::string::npos ? program : program.substr(slash + 1);
}

// Groups whose Exec starts the application: the entry itself and its actions.
bool IsLaunchGroup(std::string_view header) {
  return header == "[Desktop Entry]" || header.starts_with("[Desktop Action ");
}

// The Exec line `line` rewritten to start `updater_path`, or nothing when it starts
// another program.
std::optional<std::string> RetargetedExecLine(std::string_view line, const std::string& program_file_name,
                                              const std::string& updater_path) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos || TrimBlanks(line.substr(0, equals)) != "Exec") return std::nullopt;
  const std::string_view raw_value = line.substr(equals + 1);
  const Unescaped value = UnescapeString(raw_value);
  const auto first = ExecProgram(value.text);
  if (!first || !EqualsIgnoreCase(FileNameOfProgram(first->word), program_file_name)) return std::nullopt;
  const size_t word_start = value.text.find_first_not_of(" \t");
  const std::string_view raw_before = raw_value.substr(0, value.raw_offset[word_start]);
  const std::string_view raw_after = raw_value.substr(value.raw_offset[first->end]);
  return std::string(line.substr(0, equals + 1)) + std::string(raw_before) +
         EscapeString(QuoteExecWord(updater_path)) + std::string(raw_after);
}

}  // namespace

ShortcutPlaces PlatformShortcutPlaces() {
  const char* moved = std::getenv("KESTROVA_PROFILES_ROOT");
  return {moved && *moved ? moved : kProfilesRoot, kShortcutMask, {kLauncherFolder}};
}

bool IsHiddenEntry(const FolderEntry& entry) { return !entry.name.empty() && entry.name.front() == '.'; }

bool RetargetShortcut(const std::string& shortcut_path, const std::string& program_file_name,
                      const std::string& updater_path, const ShortcutChangeHook& before_change) {
  const auto content = ReadWholeFile(shortcut_path);
  if (!content) return false;
  std::string rewritten;
  bool changed = false;
  bool in_launch_group = false;
  size_t begin = 0;
  while (begin < content->size()) {
    size_t end = content->find('\n', begin);
    end = end == std::string::npos ? content->size() : end + 1;
    std::string_view line(content->data() + begin, end - begin);
    std::string_view body = line;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.remove_suffix(1);
    const std::string_view ending = line.substr(body.size());
    if (body.starts_with("[")) {
      in_launch_group = IsLaunchGroup(TrimBlanks(body));
    } else if (in_launch_group) {
      if (auto exec = RetargetedExecLine(body, program_file_name, updater_path)) {
        rewritten += *exec;
        rewritten += ending;
        changed = true;
        begin = end;
        continue;
      }
    }
    rewritten += line;
    begin = end;
  }
  // A read-only entry is refused by the replacement, and so not counted.
  if (!changed || IsReadOnlyFile(shortcut_path)) return false;
  if (before_change && !before_change(shortcut_path)) return false;
  return ReplaceFileSafely(shortcut_path, rewritten);
}

}  // namespace kestrova
