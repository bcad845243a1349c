// One upgrade of an installation as a transaction: every change is journaled before
// it is made, so that the installation ends up as the old version or the new one,
// whenever the updater dies.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "upgrade/install_plan.h"
#include "upgrade/upgrade_journal.h"

namespace kestrova {

class StagedFiles;

/// The folder in which an upgrade of the application in `app_directory` keeps its
/// journal and what it moves aside: inside the application folder, so that every undo
/// is a rename on the same file system and whoever starts the updater next finds it.
std::string UpgradeWorkFolder(const std::string& app_directory);

/// The changes of one upgrade, journaled. Until Commit, Undo (or the object going)
/// puts everything back as it was; after it, the upgrade can only be finished.
class UpgradeTransaction {
 public:
  /// Starts the journal in `app_directory` for the release `release`; nothing, with
  /// `error` saying why, when the folder cannot be written or holds the journal of an
  /// upgrade that could not be resolved.
  static std::unique_ptr<UpgradeTransaction> Begin(const std::string& app_directory, const std::string& release,
                                                   std::string& error);
  ~UpgradeTransaction();
  UpgradeTransaction(const UpgradeTransaction&) = delete;
  UpgradeTransaction& operator=(const UpgradeTransaction&) = delete;

  /// The upgrade is about to write a file of its own at `path` (the action list, a
  /// release archive); it is removed when the upgrade ends, however it ends.
  bool NoteBrought(const std::string& path);
  /// The install is about to stage its files: the folders it may create and those
  /// that will hold staged files.
  bool NoteStaging(const TInstallPlan& plan);
  /// Moves an obsolete file or folder aside; it goes to the trash once the release is
  /// in place. True when it is aside or was not there.
  bool RemoveAside(const std::string& path);
  /// Keeps a copy of the file at `path`, which is about to be rewritten (a shortcut,
  /// the application's configuration), to put back on undo.
  bool BackUp(const std::string& path);
  /// Puts the staged files in place, each replaced file moved aside first. Nothing
  /// when all went in; else the target that could not be replaced (Undo then).
  /// The staged files are ours afterwards either way.
  std::optional<std::string> PutInPlace(StagedFiles& staged);
  /// The release carries a new updater, which replaces the running one when the
  /// upgrade has been finished.
  bool NoteUpdaterReplacement();
  /// Every change is made: from here on the upgrade is finished, never undone.
  bool Commit();
  bool Committed() const { return committed_; }

  /// Before Commit: puts back everything the upgrade changed and removes what it
  /// brought; the journal goes last.
  void Undo();
  /// After Commit: obsolete items into the trash, the replaced files, backups, what the
  /// upgrade brought and the journal removed.
  void Finish();

 private:
  UpgradeTransaction(std::string app_directory, std::unique_ptr<UpgradeJournal> journal);
  bool Record(std::vector<TJournalRecord> records);
  std::string AsidePath(const std::string& kind);

  std::string app_directory_;
  std::string work_folder_;
  std::unique_ptr<UpgradeJournal> journal_;
  std::vector<TJournalRecord> records_;
  int aside_count_ = 0;
  bool committed_ = false;
  bool ended_ = false;
};

/// What a start found of an upgrade that did not end.
enum class TRecoveryOutcome {
  kNone,       // there was none
  kCompleted,  // its release was in place: the upgrade was finished
  kUndone,     // it stopped part of the way: the old version is back
  kDamaged,    // its journal cannot be trusted: nothing was touched
};

struct TRecovery {
  TRecoveryOutcome outcome = TRecoveryOutcome::kNone;
  /// The release the interrupted upgrade went to.
  std::string release;
  /// Whether a finished upgrade still has to replace the updater.
  bool replace_updater = false;
  /// One line for the upgrade log.
  std::string message;
};

/// Finishes or undoes an upgrade of the application in `app_directory` that a killed
/// or crashed run left, and sweeps what such a run leaves without a journal. Safe to
/// run again when it is itself interrupted.
TRecovery RecoverInterruptedUpgrade(const std::string& app_directory);

}  // namespace kestrova
