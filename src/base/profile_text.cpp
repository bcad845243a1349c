#include "base/profile_text.h"

#include "base/ini.h"
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

ProfileText::ProfileText(std::string content) : content_(std::move(content)) {
  std::unordered_map<std::string, std::string_view>* current = nullptr;
  ForEachLine(content_, [&](const Line& line) {
    if (auto name = SectionHeader(line.text)) {
      auto [it, fresh] = sections_.try_emplace(NameKey(*name));
      current = fresh ? &it->second : nullptr;  // a later section of the same name is not read
    } else if (auto parsed = ParseKeyLine(line.text); parsed && current) {
      current->try_emplace(NameKey(parsed->key), parsed->value);
    }
  });
}

std::string ProfileText::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
  std::string value(fallback);
  if (const auto s = sections_.find(NameKey(section)); s != sections_.end()) {
    if (const auto k = s->second.find(NameKey(key)); k != s->second.end()) value = Unquote(k->second);
  }
  if (value.size() > kMaxProfileText) value.resize(kMaxProfileText);
  return value;
}

bool ProfileText::SectionExists(std::string_view section) const {
  const auto found = sections_.find(NameKey(section));
  return found != sections_.end() && !found->second.empty();
}

std::string ProfileText::WithValue(std::string_view section, std::string_view key, std::string_view value) const {
  std::string content = content_;
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
  return content;
}

std::vector<ProfileName> ListProfileNames(std::string_view content) {
  std::vector<ProfileName> names;
  std::string section;
  ForEachLine(content, [&](const Line& line) {
    if (auto name = SectionHeader(line.text)) {
      section = std::string(*name);
      names.push_back({section, ""});
    } else if (auto key_line = ParseKeyLine(line.text)) {
      names.push_back({section, std::string(key_line->key)});
    }
  });
  return names;
}

}  // namespace kestrova
