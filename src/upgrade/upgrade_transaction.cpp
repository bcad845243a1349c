#include "upgrade/upgrade_transaction.h"

#include <algorithm>
#include <ctime>
#include <set>

#include "base/files.h"
#include "base/partial_file.h"
#include "base/paths.h"
#include "upgrade/replacement_script.h"
#include "upgrade/trash.h"
#include "zip/staged_files.h"
#include "zip/temporary_file.h"

namespace kestrova {
namespace {

constexpr char kWorkFolderName[] = "kestrova-upgrade";
constexpr char kJournalName[] = "journal";
// A replacement script younger than this may still be waiting for its updater to end.
constexpr int64_t kLiveScriptSeconds = 120;

bool Exists(const std::string& path) { return QueryFile(path).has_value(); }

std::string JournalPath(const std::string& work_folder) { return JoinPath(work_folder, kJournalName); }

// Each undo looks at the disk first, so that it can run again after it was itself
// interrupted, and leaves alone a step that never happened.
void UndoMove(const std::string& from, const std::string& to) {
  if (!Exists(from) && Exists(to)) RenameReplacing(to, from);
}

void RestoreBackup(const std::string& path, const std::string& backup) {
  if (!Exists(backup)) return;
  if (const auto content = ReadWholeFile(backup); content && ReplaceFileSafely(path, *content)) RemoveFile(backup);
}

void RemoveItem(const std::string& path) {
  const auto status = QueryFile(path);
  if (!status) return;
  if (status->is_dir) {
    RemoveFolderTree(path);
  } else {
    RemoveFile(path);
  }
}

// The journal goes last: as long as it is there, a later start knows what is left.
void RemoveWorkFolder(const std::string& work_folder) {
  std::vector<FolderEntry> entries;
  if (ListFolder(work_folder, entries)) {
    for (const FolderEntry& entry : entries) {
      if (entry.name != kJournalName) RemoveItem(JoinPath(work_folder, entry.name));
    }
  }
  RemoveFile(JournalPath(work_folder));
  RemoveEmptyFolder(work_folder);
}

void SweepStaging(const std::vector<TJournalRecord>& records) {
  for (const TJournalRecord& record : records) {
    if (record.kind == TJournalKind::kStageIn) RemoveLeftovers(record.a, "");
  }
}

void RemoveBrought(const std::vector<TJournalRecord>& records) {
  for (const TJournalRecord& record : records) {
    if (record.kind != TJournalKind::kBrought) continue;
    RemoveFile(record.a);
    RemoveReplaceLeftovers(record.a);
    // A note of a partial download that a kill cut short while it was written.
    RemoveReplaceLeftovers(PartialInfoPath(record.a));
  }
}

// A partial download outlives an undo, for the next try of the release to go on with;
// once a release is in, nothing will: neither this release's nor that of one given up
// on, whose files lie in the same folder under other names.
void RemovePartialDownloads(const std::vector<TJournalRecord>& records) {
  std::set<std::string> folders;
  for (const TJournalRecord& record : records) {
    if (record.kind != TJournalKind::kBrought) continue;
    RemovePartialFile(record.a);
    folders.insert(FolderOf(record.a));
  }
  const std::string note = PartialInfoPath("");
  for (const std::string& folder : folders) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) continue;
    for (const FolderEntry& entry : entries) {
      if (!entry.name.ends_with(note)) continue;
      RemovePartialFile(JoinPath(folder, entry.name.substr(0, entry.name.size() - note.size())));
    }
  }
}

void UndoRecords(const std::vector<TJournalRecord>& records, const std::string& work_folder) {
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->kind == TJournalKind::kMove || it->kind == TJournalKind::kRemove) UndoMove(it->a, it->b);
    if (it->kind == TJournalKind::kBackup) {
      RestoreBackup(it->a, it->b);
      RemoveReplaceLeftovers(it->a);
    }
  }
  SweepStaging(records);
  std::vector<std::string> folders;
  for (const TJournalRecord& record : records) {
    if (record.kind == TJournalKind::kFolder) folders.push_back(record.a);
  }
  // Deepest first; a folder that meanwhile holds something of someone else's stays.
  std::sort(folders.begin(), folders.end(), [](const auto& x, const auto& y) { return x.size() > y.size(); });
  for (const std::string& folder : folders) RemoveEmptyFolder(folder);
  RemoveBrought(records);
  RemoveWorkFolder(work_folder);
}

void FinishRecords(const std::vector<TJournalRecord>& records, const std::string& work_folder) {
  for (const TJournalRecord& record : records) {
    if (record.kind != TJournalKind::kRemove || !Exists(record.b)) continue;
    // The trash records where the item was, not where it waited.
    if (!MoveToTrash(record.b, record.a)) RemoveItem(record.b);
  }
  for (const TJournalRecord& record : records) {
    if (record.kind == TJournalKind::kBackup) RemoveReplaceLeftovers(record.a);
  }
  SweepStaging(records);
  RemoveBrought(records);
  RemovePartialDownloads(records);
  RemoveWorkFolder(work_folder);
}

bool HasRecord(const std::vector<TJournalRecord>& records, TJournalKind kind) {
  return std::any_of(records.begin(), records.end(), [kind](const auto& r) { return r.kind == kind; });
}

// A script that a killed replacement left behind; a fresh one may still be at work.
void SweepReplacementScript(const std::string& app_directory) {
  const std::string script = JoinToFolder(app_directory, ReplacementScriptName());
  const auto status = QueryFile(script);
  if (status && status->mtime + kLiveScriptSeconds < static_cast<int64_t>(std::time(nullptr))) RemoveFile(script);
}

}  // namespace

std::string UpgradeWorkFolder(const std::string& app_directory) {
  return WithTrailingSeparator(JoinPath(app_directory, kWorkFolderName));
}

UpgradeTransaction::UpgradeTransaction(std::string app_directory, std::unique_ptr<UpgradeJournal> journal)
    : app_directory_(std::move(app_directory)),
      work_folder_(UpgradeWorkFolder(app_directory_)),
      journal_(std::move(journal)) {
  records_.push_back({TJournalKind::kBegin, {}, {}});
}

std::unique_ptr<UpgradeTransaction> UpgradeTransaction::Begin(const std::string& app_directory,
                                                              const std::string& release, std::string& error) {
  const std::string work_folder = UpgradeWorkFolder(app_directory);
  const std::string journal_path = JournalPath(work_folder);
  if (Exists(journal_path)) {
    error = "The journal " + journal_path + " of an earlier upgrade is still there and could not be resolved";
    return nullptr;
  }
  if (auto fault = FolderWriteFault(app_directory)) {
    error = "The folder " + app_directory + " cannot be written: " + *fault;
    return nullptr;
  }
  RemoveWorkFolder(work_folder);  // what a run killed while it cleaned up left
  std::unique_ptr<UpgradeJournal> journal;
  if (CreateFolder(work_folder)) journal = UpgradeJournal::Create(journal_path, release);
  if (!journal) {
    RemoveEmptyFolder(work_folder);
    error = "The upgrade journal " + journal_path + " cannot be written";
    return nullptr;
  }
  std::unique_ptr<UpgradeTransaction> transaction(new UpgradeTransaction(app_directory, std::move(journal)));
  transaction->records_.front().a = release;
  return transaction;
}

UpgradeTransaction::~UpgradeTransaction() {
  if (ended_) return;
  if (committed_) {
    Finish();
  } else {
    Undo();
  }
}

bool UpgradeTransaction::Record(std::vector<TJournalRecord> records) {
  if (!journal_->Record(records)) return false;
  for (auto& record : records) records_.push_back(std::move(record));
  return true;
}

std::string UpgradeTransaction::AsidePath(const std::string& kind) {
  return JoinPath(work_folder_, kind + "-" + std::to_string(++aside_count_));
}

bool UpgradeTransaction::NoteBrought(const std::string& path) { return Record({{TJournalKind::kBrought, path, {}}}); }

bool UpgradeTransaction::NoteStaging(const TInstallPlan& plan) {
  std::vector<TJournalRecord> records;
  for (const std::string& folder : plan.new_folders) records.push_back({TJournalKind::kFolder, folder, {}});
  for (const std::string& folder : plan.target_folders) records.push_back({TJournalKind::kStageIn, folder, {}});
  return Record(std::move(records));
}

bool UpgradeTransaction::RemoveAside(const std::string& path) {
  if (!Exists(path)) return true;
  const std::string aside = AsidePath("removed");
  return Record({{TJournalKind::kRemove, path, aside}}) && RenameReplacing(path, aside);
}

bool UpgradeTransaction::BackUp(const std::string& path) {
  const auto content = ReadWholeFile(path);
  if (!content) return false;
  const std::string backup = AsidePath("backup");
  return Record({{TJournalKind::kBackup, path, backup}}) && ReplaceFileSafely(backup, *content);
}

std::optional<std::string> UpgradeTransaction::PutInPlace(StagedFiles& staged) {
  const auto entries = staged.Entries();
  std::vector<TJournalRecord> plan;
  for (const std::string& folder : staged.CreatedFolders()) plan.push_back({TJournalKind::kFolder, folder, {}});
  staged.Release();
  for (const auto& [staged_path, target] : entries) {
    if (Exists(target)) plan.push_back({TJournalKind::kMove, target, AsidePath("replaced")});
    plan.push_back({TJournalKind::kMove, staged_path, target});
  }
  // One durable write announces every move; each move is then a single rename.
  if (!Record(plan)) return entries.empty() ? std::string() : entries.front().second;
  std::set<std::string> folders{work_folder_};
  for (const TJournalRecord& move : plan) {
    if (move.kind != TJournalKind::kMove) continue;
    if (!RenameReplacing(move.a, move.b)) return move.b.starts_with(work_folder_) ? move.a : move.b;
    folders.insert(FolderOf(move.b));
  }
  for (const std::string& folder : folders) SyncFolder(folder);
  return std::nullopt;
}

bool UpgradeTransaction::NoteUpdaterReplacement() { return Record({{TJournalKind::kReplaceUpdater, {}, {}}}); }

bool UpgradeTransaction::Commit() {
  committed_ = Record({{TJournalKind::kCommitted, {}, {}}});
  return committed_;
}

void UpgradeTransaction::Undo() {
  if (ended_ || committed_) return;
  ended_ = true;
  journal_.reset();
  UndoRecords(records_, work_folder_);
}

void UpgradeTransaction::Finish() {
  if (ended_ || !committed_) return;
  ended_ = true;
  journal_.reset();
  FinishRecords(records_, work_folder_);
}

TRecovery RecoverInterruptedUpgrade(const std::string& app_directory) {
  const std::string work_folder = UpgradeWorkFolder(app_directory);
  const std::string journal_path = JournalPath(work_folder);
  TRecovery recovery;
  const std::optional<TJournalContent> content = UpgradeJournal::Read(journal_path);
  if (!content) {
    // Without a journal nothing in the work folder is needed any more.
    if (Exists(work_folder)) RemoveWorkFolder(work_folder);
    SweepReplacementScript(app_directory);
    return recovery;
  }
  if (!content->damage.empty()) {
    recovery.outcome = TRecoveryOutcome::kDamaged;
    recovery.message = "The journal " + journal_path + " of an interrupted upgrade is damaged (" + content->damage +
                       "): nothing was finished or undone, and every file was kept.";
    return recovery;
  }
  // The script is written while the journal is still there: a write that died left
  // its temporary file.
  RemoveReplaceLeftovers(JoinToFolder(app_directory, ReplacementScriptName()));
  SweepReplacementScript(app_directory);
  const std::vector<TJournalRecord>& records = content->records;
  recovery.release = records.front().a;
  if (HasRecord(records, TJournalKind::kCommitted)) {
    recovery.outcome = TRecoveryOutcome::kCompleted;
    recovery.replace_updater = HasRecord(records, TJournalKind::kReplaceUpdater);
    recovery.message = "The interrupted upgrade to " + recovery.release + " was completed.";
    FinishRecords(records, work_folder);
  } else {
    recovery.outcome = TRecoveryOutcome::kUndone;
    recovery.message = "The interrupted upgrade to " + recovery.release + " was undone: the previous version is back.";
    UndoRecords(records, work_folder);
  }
  return recovery;
}

}  // namespace kestrova
