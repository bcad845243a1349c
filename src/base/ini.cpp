#include "base/ini.h"

#include <limits>
#include <vector>

#include "base/files.h"
#include "base/text.h"

namespace kestrova {
namespace {

// One line of the file as it stands, with where it starts and ends (before its line
// break), so a write can replace exactly that line.
struct Line {
  size_t begin;
  size_t end;
  std::string_view text;
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  size_t begin = 0;
  while (begin < content.size()) {
    size_t newline = content.find('\n', begin);
    size_t next = newline == std::string_view::npos ? content.size() : newline + 1;
    size_t end = newline == std::string_view::npos ? content.size() : newline;
    if (end > begin && content[end - 1] == '\r') --end;
    lines.push_back({begin, end, content.substr(begin, end - begin)});
    begin = next;
  }
  return lines;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> SectionHeader(std::string_view line) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  size_t close = line.find(']');
  if (close != std::string_view::npos) line = line.substr(0, close);
  return TrimBlanks(line);
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// A key line is any other line that is neither blank nor a comment; a line without
// "=" is a key with an empty value.
std::optional<KeyLine> ParseKeyLine(std::string_view line) {
  std::string_view trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return KeyLine{trimmed, {}};
  return KeyLine{TrimBlanks(trimmed.substr(0, equals)), TrimBlanks(trimmed.substr(equals + 1))};
}

// Where a section lies in the file: the header line and the lines up to the next
// header. Only the first section of a name counts.
struct SectionSpan {
  size_t header;
  size_t end;  // one past the last line of the section
};

std::optional<SectionSpan> FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionHeader(lines[i].text);
    if (!name || !EqualsIgnoreCase(*name, TrimBlanks(section))) continue;
    size_t end = i + 1;
    while (end < lines.size() && !SectionHeader(lines[end].text)) ++end;
    return SectionSpan{i, end};
  }
  return std::nullopt;
}

struct FoundKey {
  size_t line;
  std::string_view value;
};

std::optional<FoundKey> FindKey(const std::vector<Line>& lines, const SectionSpan& span,
                                std::string_view key) {
  for (size_t i = span.header + 1; i < span.end; ++i) {
    auto parsed = ParseKeyLine(lines[i].text);
    if (parsed && EqualsIgnoreCase(parsed->key, TrimBlanks(key))) return FoundKey{i, parsed->value};
  }
  return std::nullopt;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// The line break a file already uses, so that added lines match it.
std::string_view LineBreakOf(std::string_view content) {
  size_t newline = content.find('\n');
  if (newline == std::string_view::npos || (newline > 0 && content[newline - 1] == '\r')) return "\r\n";
  return "\n";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = false;
  if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
    hex = true;
    text.remove_prefix(1);
  } else if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    const int digit = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return std::nullopt;
    value = value * (hex ? 16 : 10) + uint64_t(digit);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (hex) {
    // Hexadecimal fills all 32 bits, so $FFFFFFFF is -1.
    const uint32_t bits = negative ? uint32_t(0) - uint32_t(value) : uint32_t(value);
    return static_cast<int32_t>(bits);
  }
  const int64_t signed_value = negative ? -int64_t(value) : int64_t(value);
  if (signed_value < std::numeric_limits<int32_t>::min() ||
      signed_value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(signed_value);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  std::string value(fallback);
  if (auto content = ReadWholeFile(path_)) {
    const auto lines = SplitLines(*content);
    if (auto span = FindSection(lines, section)) {
      if (auto found = FindKey(lines, *span, key)) value = Unquote(found->value);
    }
  }
  if (value.size() > kMaxProfileText) value.resize(kMaxProfileText);
  return value;
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const {
  // A marker that no value can produce tells "absent" from "present but empty".
  const std::string text = ReadString(section, key, "\n");
  if (text == "\n") return fallback;
  return ParseProfileInteger(text).value_or(fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

bool IniFile::SectionExists(std::string_view section) const {
  auto content = ReadWholeFile(path_);
  if (!content) return false;
  const auto lines = SplitLines(*content);
  auto span = FindSection(lines, section);
  if (!span) return false;
  for (size_t i = span->header + 1; i < span->end; ++i) {
    if (ParseKeyLine(lines[i].text)) return true;
  }
  return false;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string content;
  if (FileExists(path_)) {
    auto existing = ReadWholeFile(path_);
    if (!existing) return false;
    content = std::move(*existing);
  }
  const std::string_view br = LineBreakOf(content);
  const std::string key_line = std::string(TrimBlanks(key)) + "=" + std::string(value);
  const auto lines = SplitLines(content);
  auto span = FindSection(lines, section);
  if (!span) {
    if (!content.empty() && content.back() != '\n') content += br;
    content += "[" + std::string(TrimBlanks(section)) + "]" + std::string(br) + key_line + std::string(br);
    return ReplaceFileSafely(path_, content);
  }
  if (auto found = FindKey(lines, *span, key)) {
    const Line& line = lines[found->line];
    content.replace(line.begin, line.end - line.begin, key_line);
    return ReplaceFileSafely(path_, content);
  }
  // A new key goes after the section's last key, so blank lines and comments that
  // end the section stay where they are.
  size_t after = span->header;
  for (size_t i = span->header + 1; i < span->end; ++i) {
    if (ParseKeyLine(lines[i].text)) after = i;
  }
  const Line& anchor = lines[after];
  size_t insert_at = anchor.end;
  std::string insertion = std::string(br) + key_line;
  if (insert_at < content.size()) {
    // Insert after the anchor's own line break instead, keeping its form.
    insert_at = content.find('\n', anchor.end) + 1;
    insertion = key_line + std::string(br);
  }
  content.insert(insert_at, insertion);
  return ReplaceFileSafely(path_, content);
}

}  // namespace kestrova
