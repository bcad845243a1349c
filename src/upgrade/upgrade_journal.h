// The record of one upgrade's changes to an installation, kept on disk so that a run
// that dies part of the way can be finished or undone by the next one.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/native_file.h"

namespace kestrova {

/// What one journal line says is about to happen (or, for kCommitted, has happened).
enum class TJournalKind {
  kBegin,      // first: the release an upgrade goes to (a)
  kBrought,    // the upgrade puts a file of its own into the folder (a): removed at the end
  kFolder,     // the upgrade may create folder a: removed again when it is empty
  kStageIn,    // staged files may stand in folder a
  kMove,       // a is renamed to b (replaced files moved aside, new files put in place)
  kRemove,     // obsolete a is moved aside to b, and goes to the trash once the release is in
  kBackup,     // file a is about to be rewritten; b holds its old content
  kCommitted,  // every new file is in place and the version recorded: finish, never undo
  kReplaceUpdater,  // the release carries a new updater that replaces the running one
};

struct TJournalRecord {
  TJournalKind kind;
  std::string a;
  std::string b;
};

/// The records of a journal as found on disk, or why it cannot be trusted.
struct TJournalContent {
  std::vector<TJournalRecord> records;
  /// Set when the journal is damaged: then no record may be acted on.
  std::string damage;
};

/// An append-only list of records, each one on disk (file and folder synced) before
/// Record returns, so that a record always precedes the change it announces. Each
/// line carries its own checksum: a line cut short by a crash is the last one and
/// announced a change that never started, so it is dropped; any other bad line makes
/// the whole journal damaged.
class UpgradeJournal {
 public:
  /// Creates the journal at `path` with its kBegin record; nothing when `path` exists
  /// already or cannot be written.
  static std::unique_ptr<UpgradeJournal> Create(const std::string& path, const std::string& release);
  /// Reads the journal at `path`; nothing when there is none.
  static std::optional<TJournalContent> Read(const std::string& path);

  /// Appends the records and makes them durable; false when that failed, and then
  /// the change they announce must not be made.
  bool Record(const std::vector<TJournalRecord>& records);
  bool Record(TJournalKind kind, const std::string& a = {}, const std::string& b = {});

  const std::string& path() const { return path_; }

 private:
  UpgradeJournal(std::string path, NativeFile file) : path_(std::move(path)), file_(std::move(file)) {}

  std::string path_;
  NativeFile file_;
};

}  // namespace kestrova
