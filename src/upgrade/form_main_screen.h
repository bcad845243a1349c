// The updater's main window: the release on offer, its description, and the log of
// an upgrade.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "net/get_internet_data.h"
#include "net/internet.h"
#include "release/action_list.h"
#include "ui/animate.h"
#include "ui/button.h"
#include "ui/form.h"
#include "ui/label.h"
#include "ui/panel.h"
#include "ui/rich_edit.h"
#include "upgrade/upgrade_transaction.h"
#include "upgrade/working_files.h"

namespace kestrova {

class TFormZipProgress;
class ZipArchiver;

/// The moments of an upgrade that decide which buttons can be used and whether the
/// wheel turns.
enum class TUpgradeState {
  Idle,       // the window was just created
  Running,    // the upgrade procedure works
  Abandoned,  // failed, with the installation as it was: start over, later, or launch
  Succeeded,  // installed and recorded; only launching is left
};

/// The window start-up opens when a newer release exists. It shows the installed
/// and the released version with the release description, offers "Update now",
/// "Later..." and, after an upgrade, "Launch Application", and turns its description
/// box into the upgrade's status log. It is the application's main window: closing
/// it, in whatever way, removes the upgrade's leftovers and ends the updater.
class TFormMainScreen : public ui::TForm {
 public:
  /// Creates the window and fetches the description (FormCreate). `agent` is the
  /// updater's executable file name, which the update server sees.
  TFormMainScreen(TSettings& settings, std::string agent);
  ~TFormMainScreen() override;

  ui::TPanel Panel1{*this};
  ui::TLabel Label1{Panel1};
  ui::TLabel Label_Application_Name{Panel1};
  ui::TLabel Label2{Panel1};
  ui::TLabel Label_Current_Version{Panel1};
  ui::TAnimate AnimateUpdateInProgress{*this};
  ui::TLabel Label4{*this};
  ui::TLabel Label_Release_Version{*this};
  ui::TLabel Label5{*this};
  ui::TLabel Label_Release_Date{*this};
  ui::TLabel Label3{*this};
  ui::TRichEdit RichEdit1{*this};
  ui::TBitBtn BitBtnUpdate{*this};
  ui::TBitBtn BitBtnStart{*this};
  ui::TBitBtn BitBtnLater{*this};

  // What the action list asks for (ReleaseFiles also tells CleanUp what to delete).
  std::vector<std::string> SaveList;
  std::vector<std::string> DeleteFiles;
  std::vector<std::string> DeleteFolders;
  std::vector<std::string> ReleaseFiles;
  /// The signed SHA-256 of each release file, when the updater holds a public key.
  std::vector<std::string> ReleaseHashes;
  /// The stated size of each release file (0: not stated); no download grows past it.
  std::vector<int64_t> ReleaseSizes;
  bool CheckShortcuts = false;
  bool ReplaceUpdater = false;
  bool LaunchRequested = false;
  /// Set by the upgrade procedure when its install step succeeded. Closing replaces
  /// the updater only then, so that a "Kestrova.new" left by an earlier, failed
  /// upgrade never takes its place.
  bool ReleaseInstalled = false;
  /// The fetcher of the current server request, or none between requests.
  std::unique_ptr<TGetInternetData> Fetcher;
  bool ActionListLoaded = false;
  /// Why the last action list was refused, for the log; empty when there is nothing
  /// more to say than "Failed".
  std::string ActionListError;
  /// Why the delta the server offered did not fit the installation, which then gets
  /// the full release; empty when no delta was refused.
  std::string DeltaRefusal;
  /// Status of the last download or archive dialog: 1 done, 2 aborted, 3 failed.
  int32_t LastStatus = 0;
  /// Why the last download failed: the file and the server's or the system's reason.
  std::string LastDownloadError;
  std::string LastArchiveError;

  /// Opens an internet session and a Fetcher on it, for the server requests of one
  /// operation; CloseServerConnection ends both.
  void OpenServerConnection();
  void CloseServerConnection();

  void RequestDescription();
  void DescriptionReceived(TGetInternetData& sender, const std::string* reply);

  /// Fetches the action list into the application folder and reads it; afterwards
  /// ActionListLoaded tells whether it is in place. Needs the Fetcher. The server may
  /// answer the installed version with a delta; `whole` asks for the full release by
  /// naming no installed version (kFullReleaseVersion).
  void RequestActionList(bool whole = false);
  void ActionListReceived(TGetInternetData& sender, const std::string* reply);

  /// Empties the box and turns it into the status log, in plain text.
  void ClearLog();
  /// Appends a step line to the log.
  void AddLogLine(const std::string& line);
  /// Writes ": " and `word` behind the last log line, the colon in column 46 at the
  /// earliest.
  void SetStepResult(const std::string& word);
  /// Sets the buttons and the wheel for `state`.
  void ShowUpgradeState(TUpgradeState state);

  /// "Update now": fetches the action list, downloads and verifies the release,
  /// saves what it will touch, removes obsolete files, retargets shortcuts, installs,
  /// records the new version and reports back, logging every step.
  void BitBtnUpdateClick();
  /// Downloads every release file from `server`, each in a download dialog; true when
  /// all arrived. LastStatus tells how the last one ended.
  bool DownloadRelease(const std::string& server);
  /// Ends an abandoned upgrade: the result word of LastStatus, the buttons back, the
  /// abort line.
  void ReportAbort();
  /// Tells the server the upgrade is complete and waits for its reply.
  void SendCompletionReport();

  /// The whole upgrade in a run started with administrator rights (the updater's
  /// arguments are ElevatedUpgradeArguments): shows the window, presses "Update now"
  /// for the release the user agreed to, closes the window without starting the
  /// application, and returns the exit code: 0 when the release went in, else 1.
  int RunElevatedUpgrade();
  bool IsElevatedUpgrade() const;

  void BitBtnLaterClick();
  /// The updater's exit code once the window has closed: 1 when the application was
  /// to be started and could not be, 0 otherwise.
  int ExitCode() const { return launch_failed_ ? 1 : 0; }
  /// Closes the window; closing then starts the application, or leaves that to the
  /// updater which the replacement script restarts.
  void BitBtnStartClick();
  /// Removes the downloaded release files and the action list; never reports.
  void CleanUp();

  /// Save step: adds every path of `paths` (the action list's save_action entries) to
  /// SaveArchivePath(name), the older saves kept beside it, under the archive dialog. True when every
  /// entry was added and the dialog ended with code 1; LastStatus/LastArchiveError tell.
  bool SaveCurrentVersion(const std::vector<std::string>& paths);
  /// Opens every release archive (ReleaseFiles, in app_directory) and checks it whole,
  /// writing nothing: false, with LastStatus 3 and LastArchiveError, when one is missing
  /// or damaged.
  bool VerifyReleaseArchives();
  /// Checks, before anything changes, that the release can go in (see PlanInstall);
  /// fills `plan`. False with LastStatus 3 and LastArchiveError otherwise.
  bool CheckInstall(TInstallPlan& plan);
  /// Compares every downloaded release file with its signed SHA-256 (ReleaseHashes,
  /// none when unsigned): false, with LastStatus 3 and LastArchiveError, at the first
  /// that differs.
  bool VerifyReleaseHashes();
  /// Install step: stages every release archive beside app_directory's files under the
  /// archive dialog, then puts them all in place through the upgrade's transaction,
  /// all or nothing.
  bool InstallRelease();

 private:
  void LayOutHeader();
  void LayOutRelease();
  void LayOutButtons();
  void FormCreate();
  void FormClose();
  /// Starts the application; reports when it could not be started.
  void LaunchOrReport();
  /// Why a received action list must not be used, or an empty text.
  std::string ActionListFault(const std::string& reply, const TActionList& list) const;
  /// Starts the replacement of the updater when this run installed one; true when
  /// the script runs.
  bool WriteReplacementBatch();
  bool BeginTransaction();
  /// Why the upgrade could not write where the action list asks it to (the
  /// application's configuration, the folders it removes from), or nothing.
  std::optional<std::string> WriteFault() const;
  std::optional<std::string> ConfigurationWriteFault() const;
  /// Why this run cannot write the application folder or its configuration, where a
  /// run with administrator rights could be asked to; nothing otherwise.
  std::optional<std::string> FolderFault() const;
  bool HandsUpgradeOver(const std::optional<std::string>& write_fault) const;
  /// Has a run with administrator rights do the upgrade and shows how it went.
  void UpgradeElevated(const std::string& fault);
  bool DownloadReleaseFromEitherServer();
  bool VerifyDownloads(TInstallPlan& plan);
  void ChangeInstallation(const TInstallPlan& plan);
  void RemoveObsoleteItems();
  /// The install failed: the installation is put back and the window offers a way on.
  void ReportInstallFailure(const std::string& result);
  void RecordInstalledRelease();
  void EndUpgrade();
  void StageReleaseArchives(TFormZipProgress& dialog, ZipArchiver& archiver);

  TSettings& settings_;
  const std::string agent_;
  InternetHandle internet_;
  /// The journal of the running upgrade; kept after it succeeded until the window
  /// closes, which finishes it.
  std::unique_ptr<UpgradeTransaction> transaction_;
  bool launch_failed_ = false;
};

/// `line`, padded with blanks to 45 characters when shorter, then ": " and `word`.
std::string StepResultLine(const std::string& line, const std::string& word);

}  // namespace kestrova
