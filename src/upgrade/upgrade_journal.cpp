#include "upgrade/upgrade_journal.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "base/files.h"
#include "base/paths.h"
#include "zip/crc32.h"

namespace kestrova {
namespace {

constexpr char kHeader[] = "kestrova upgrade journal 1\n";

// The words on disk, in the order of TJournalKind.
constexpr std::array<std::string_view, 9> kKindWords = {
    "begin", "brought", "folder", "stage-in", "move", "remove", "backup", "committed", "replace-updater"};

std::optional<TJournalKind> KindOf(std::string_view word) {
  for (size_t i = 0; i < kKindWords.size(); ++i) {
    if (kKindWords[i] == word) return static_cast<TJournalKind>(i);
  }
  return std::nullopt;
}

// Paths may hold any byte but the separators of a line.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: return std::nullopt;
    }
  }
  return out;
}

std::string Checksum(std::string_view body) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(Crc32Of(body.data(), body.size())));
  return hex;
}

std::string LineOf(const TJournalRecord& record) {
  const std::string body = std::string(kKindWords[static_cast<size_t>(record.kind)]) + "\t" +
                           Escaped(record.a) + "\t" + Escaped(record.b);
  return body + "\t" + Checksum(body) + "\n";
}

std::optional<TJournalRecord> ParseLine(std::string_view line) {
  const size_t sum_at = line.rfind('\t');
  if (sum_at == std::string_view::npos) return std::nullopt;
  const std::string_view body = line.substr(0, sum_at);
  if (line.substr(sum_at + 1) != Checksum(body)) return std::nullopt;
  const size_t first = body.find('\t');
  const size_t second = first == std::string_view::npos ? first : body.find('\t', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto kind = KindOf(body.substr(0, first));
  auto a = Unescaped(body.substr(first + 1, second - first - 1));
  auto b = Unescaped(body.substr(second + 1));
  if (!kind || !a || !b) return std::nullopt;
  return TJournalRecord{*kind, std::move(*a), std::move(*b)};
}

}  // namespace

std::unique_ptr<UpgradeJournal> UpgradeJournal::Create(const std::string& path, const std::string& release) {
  if (QueryFile(path)) return nullptr;
  NativeFile file = NativeFile::CreateOrTruncate(path);
  if (!file.IsOpen()) return nullptr;
  std::unique_ptr<UpgradeJournal> journal(new UpgradeJournal(path, std::move(file)));
  try {
    const std::string header = kHeader;
    if (journal->file_.WriteAt(0, header.data(), header.size()) != header.size()) throw NativeFileError("full");
  } catch (const NativeFileError&) {
    journal.reset();
    RemoveFile(path);
    return nullptr;
  }
  // The journal's own name must survive a crash before anything it announces does.
  if (!journal->Record(TJournalKind::kBegin, release) || !SyncFolder(FolderOf(path))) {
    journal.reset();
    RemoveFile(path);
    return nullptr;
  }
  return journal;
}

std::optional<TJournalContent> UpgradeJournal::Read(const std::string& path) {
  if (!QueryFile(path)) return std::nullopt;
  TJournalContent content;
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) {
    content.damage = "it cannot be read";
    return content;
  }
  if (!std::string_view(*text).starts_with(kHeader)) {
    content.damage = "it does not begin as a journal does";
    return content;
  }
  size_t begin = std::string_view(kHeader).size();
  while (begin < text->size()) {
    const size_t end = text->find('\n', begin);
    const bool last = end == std::string::npos || end + 1 == text->size();
    auto record = ParseLine(std::string_view(*text).substr(begin, end == std::string::npos ? end : end - begin));
    if (!record) {
      // A cut last line announced a change that was never started.
      if (last) break;
      content.damage = "line " + std::to_string(content.records.size() + 2) + " is damaged";
      content.records.clear();
      return content;
    }
    content.records.push_back(std::move(*record));
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  if (content.records.empty() || content.records.front().kind != TJournalKind::kBegin) {
    content.records.clear();
    content.damage = "it names no upgrade";
  }
  return content;
}

bool UpgradeJournal::Record(const std::vector<TJournalRecord>& records) {
  if (records.empty()) return true;
  std::string lines;
  for (const TJournalRecord& record : records) lines += LineOf(record);
  uint64_t end = 0;
  try {
    end = file_.Size();
    if (file_.WriteAt(end, lines.data(), lines.size()) == lines.size()) {
      file_.Sync();
      return true;
    }
  } catch (const NativeFileError&) {
  }
  // A line cut short by a full disk must not stand before the lines of a later try.
  try {
    file_.Truncate(end);
  } catch (const NativeFileError&) {
  }
  return false;
}

bool UpgradeJournal::Record(TJournalKind kind, const std::string& a, const std::string& b) {
  return Record(std::vector<TJournalRecord>{{kind, a, b}});
}

}  // namespace kestrova
