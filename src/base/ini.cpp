#include "base/ini.h"

#include <limits>
#include <unordered_map>

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

// Calls `visit` with each line, in order, after a leading byte order mark.
template <class Visit>
void ForEachLine(std::string_view content, Visit visit) {
  size_t begin = content.starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
  while (begin < content.size()) {
    const size_t newline = content.find('\n', begin);
    const size_t next = newline == std::string_view::npos ? content.size() : newline + 1;
    size_t end = newline == std::string_view::npos ? content.size() : newline;
    if (end > begin && content[end - 1] == '\r') --end;
    visit(Line{begin, end, content.substr(begin, end - begin)});
    begin = next;
  }
}

// The section name of a "[name]" line, or nothing for any other line: a line that
// opens with "[" but never closes it does not start a section.
std::optional<std::string_view> SectionHeader(std::string_view line) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return TrimBlanks(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// A key line holds "="; blank lines, comments and lines without "=" hold no key.
std::optional<KeyLine> ParseKeyLine(std::string_view line) {
  const std::string_view trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyLine{TrimBlanks(trimmed.substr(0, equals)), TrimBlanks(trimmed.substr(equals + 1))};
}

// Section and key names are matched trimmed and without regard to ASCII case.
std::string NameKey(std::string_view name) {
  std::string key(TrimBlanks(name));
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return key;
}

// Where the first section of a name lies, for a write: its header line, the last
// key line in it, and the line of the key written, when present.
struct WritePlace {
  std::optional<Line> header;
  std::optional<Line> last_key;
  std::optional<Line> key;
};

WritePlace FindWritePlace(std::string_view content, std::string_view section, std::string_view key) {
  const std::string wanted_section = NameKey(section);
  const std::string wanted_key = NameKey(key);
  WritePlace place;
  bool inside = false;
  bool done = false;
  ForEachLine(content, [&](const Line& line) {
    if (done) return;
    if (auto name = SectionHeader(line.text)) {
      if (inside) done = true;
      inside = !done && NameKey(*name) == wanted_section;
      if (inside) place.header = line;
      return;
    }
    if (!inside) return;
    if (auto parsed = ParseKeyLine(line.text)) {
      place.last_key = line;
      if (!place.key && NameKey(parsed->key) == wanted_key) place.key = line;
    }
  });
  return place;
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
    const int digit = hex ? HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
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

// The first section of each name with the first key of each name in it; values
// point into the content held beside them.
struct IniFile::Index {
  std::string content;
  std::unordered_map<std::string, std::unordered_map<std::string, std::string_view>> sections;

  explicit Index(std::string text) : content(std::move(text)) {
    std::unordered_map<std::string, std::string_view>* current = nullptr;
    ForEachLine(content, [&](const Line& line) {
      if (auto name = SectionHeader(line.text)) {
        auto [it, fresh] = sections.try_emplace(NameKey(*name));
        current = fresh ? &it->second : nullptr;  // a later section of the same name is not read
      } else if (auto parsed = ParseKeyLine(line.text); parsed && current) {
        current->try_emplace(NameKey(parsed->key), parsed->value);
      }
    });
  }

  const std::string_view* Find(std::string_view section, std::string_view key) const {
    const auto s = sections.find(NameKey(section));
    if (s == sections.end()) return nullptr;
    const auto k = s->second.find(NameKey(key));
    return k == s->second.end() ? nullptr : &k->second;
  }
};

const IniFile::Index& IniFile::Indexed() const {
  if (!index_) index_ = std::make_shared<const Index>(ReadWholeFile(path_).value_or(""));
  return *index_;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  const std::string_view* found = Indexed().Find(section, key);
  std::string value(found ? Unquote(*found) : fallback);
  if (value.size() > kMaxProfileText) value.resize(kMaxProfileText);
  return value;
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const {
  const std::string_view* found = Indexed().Find(section, key);
  if (!found) return fallback;
  return ParseProfileInteger(Unquote(*found)).value_or(fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

bool IniFile::SectionExists(std::string_view section) const {
  const auto& sections = Indexed().sections;
  const auto found = sections.find(NameKey(section));
  return found != sections.end() && !found->second.empty();
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
  const WritePlace place = FindWritePlace(content, section, key);
  if (!place.header) {
    if (!content.empty() && content.back() != '\n') content += br;
    content += "[" + std::string(TrimBlanks(section)) + "]" + std::string(br) + key_line + std::string(br);
  } else if (place.key) {
    content.replace(place.key->begin, place.key->end - place.key->begin, key_line);
  } else {
    // A new key goes after the section's last key, so blank lines and comments that
    // end the section stay where they are.
    const Line& anchor = place.last_key ? *place.last_key : *place.header;
    size_t insert_at = anchor.end;
    std::string insertion = std::string(br) + key_line;
    if (insert_at < content.size()) {
      // Insert after the anchor's own line break instead, keeping its form.
      insert_at = content.find('\n', anchor.end) + 1;
      insertion = key_line + std::string(br);
    }
    content.insert(insert_at, insertion);
  }
  if (!ReplaceFileSafely(path_, content)) return false;
  index_ = std::make_shared<const Index>(std::move(content));
  return true;
}

}  // namespace kestrova
