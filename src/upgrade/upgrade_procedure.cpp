// "Update now": one upgrade, step by step, each step logged with its result.
#include <string>

#include "base/files.h"
#include "base/paths.h"
#include "base/text.h"
#include "core/configuration.h"
#include "net/form_download.h"
#include "net/protocol.h"
#include "ui/application.h"
#include "upgrade/form_main_screen.h"
#include "release/release_signature.h"
#include "upgrade/install_plan.h"
#include "upgrade/self_replacement.h"
#include "upgrade/shortcuts.h"

namespace kestrova {
namespace {

constexpr char kAbortLine[] = "Upgrading of the current version aborted.";
constexpr char kFullReleaseInstead[] = "The full release was asked for instead.";
constexpr char kConfigurationNotWritable[] = "The system is not able to modify the configuration file!";

// The word an abandoned step gets for the status of the dialog that ended it.
const char* StatusWord(int32_t status) {
  switch (status) {
    case 1: return "Done";
    case 2: return "Aborted";
    case 3: return "Failed";
    default: return nullptr;
  }
}

}  // namespace

void TFormMainScreen::BitBtnUpdateClick() {
  // Before anything is brought into a folder that only a run with the rights can write.
  if (const std::optional<std::string> fault = FolderFault(); HandsUpgradeOver(fault)) {
    UpgradeElevated(*fault);
    return;
  }
  OpenServerConnection();
  ui::SetScreenCursor(ui::TCursor::AppStart);
  ReleaseInstalled = false;
  ShowUpgradeState(TUpgradeState::Running);
  ClearLog();
  AddLogLine("Start upgrade");
  AddLogLine("Get action list ...");
  RichEdit1.Repaint();
  if (BeginTransaction()) RequestActionList();
  if (!ActionListLoaded && !DeltaRefusal.empty()) RequestActionList(true);
  const std::string refused_delta = DeltaRefusal.empty() ? "" : DeltaRefusal + " " + kFullReleaseInstead;
  if (!ActionListLoaded) {
    SetStepResult("Failed");
    if (!refused_delta.empty()) AddLogLine(refused_delta);
    if (!ActionListError.empty()) AddLogLine(ActionListError);
    ShowUpgradeState(TUpgradeState::Abandoned);
    AddLogLine(kAbortLine);
    EndUpgrade();
    return;
  }
  SetStepResult("Done");
  if (!refused_delta.empty()) AddLogLine(refused_delta);
  if (const std::optional<std::string> fault = WriteFault()) {
    if (HandsUpgradeOver(fault)) {
      EndUpgrade();
      UpgradeElevated(*fault);
      return;
    }
    // Found before anything is fetched into a folder the upgrade could not finish in.
    AddLogLine(*fault);
    ShowUpgradeState(TUpgradeState::Abandoned);
    AddLogLine(kAbortLine);
    EndUpgrade();
    return;
  }
  AddLogLine("Download release ...");
  TInstallPlan plan;
  if (DownloadReleaseFromEitherServer() && VerifyDownloads(plan)) {
    SetStepResult("Done");
    ChangeInstallation(plan);
  }
  EndUpgrade();
}

// Every change the upgrade makes to the folder, the action list it stores first among
// them, is journaled from here on.
bool TFormMainScreen::BeginTransaction() {
  transaction_.reset();
  ActionListLoaded = false;
  DeltaRefusal.clear();
  std::string error;
  transaction_ = UpgradeTransaction::Begin(settings_.app_directory, settings_.release_version, error);
  if (!transaction_) ActionListError = error;
  return transaction_ != nullptr;
}

bool TFormMainScreen::DownloadReleaseFromEitherServer() {
  if (!DownloadRelease(settings_.download_server_adr1)) {
    // A user who cancelled the first download wants no second one.
    if (LastStatus == 2 || !DownloadRelease(settings_.download_server_adr2)) {
      ReportAbort();
      if (LastStatus == 3) SetStepResult(LastDownloadError);
      return false;
    }
  }
  return true;
}

bool TFormMainScreen::VerifyDownloads(TInstallPlan& plan) {
  // Whatever can be known before the first change is checked here, so that a release
  // that cannot go in changes nothing. A file that is not the one signed is refused
  // before it is even opened as an archive.
  if (VerifyReleaseHashes() && VerifyReleaseArchives() && CheckInstall(plan)) return true;
  ReportAbort();
  SetStepResult(LastArchiveError);
  return false;
}

bool TFormMainScreen::VerifyReleaseHashes() {
  for (size_t i = 0; i < ReleaseHashes.size() && i < ReleaseFiles.size(); ++i) {
    const std::optional<std::string> actual =
        FileSha256Hex(JoinToFolder(settings_.app_directory, ReleaseFiles[i]));
    if (!actual || !EqualsIgnoreCase(*actual, ReleaseHashes[i])) {
      LastStatus = 3;
      LastArchiveError = "The release file " + ReleaseFiles[i] + " differs from the signed one.";
      return false;
    }
  }
  return true;
}

bool TFormMainScreen::CheckInstall(TInstallPlan& plan) {
  TInstallRequest request;
  request.app_directory = settings_.app_directory;
  for (const std::string& file : ReleaseFiles) request.archives.push_back(JoinToFolder(settings_.app_directory, file));
  for (const std::string& file : DeleteFiles) request.removed.push_back(JoinToFolder(settings_.app_directory, file));
  for (const std::string& folder : DeleteFolders) {
    request.removed.push_back(JoinToFolder(settings_.app_directory, folder));
  }
  std::optional<std::string> fault = PlanInstall(request, plan);
  if (!fault && !transaction_->NoteStaging(plan)) fault = "The upgrade journal cannot be written";
  if (!fault) return true;
  LastStatus = 3;
  LastArchiveError = *fault;
  return false;
}

std::optional<std::string> TFormMainScreen::ConfigurationWriteFault() const {
  const std::string configuration = JoinToFolder(settings_.app_directory, settings_.filename_config);
  if (settings_.filename_config.empty() || IsReadOnlyFile(configuration) || FolderWriteFault(FolderOf(configuration))) {
    return kConfigurationNotWritable;
  }
  return std::nullopt;
}

std::optional<std::string> TFormMainScreen::WriteFault() const {
  if (auto fault = ConfigurationWriteFault()) return fault;
  std::vector<std::string> folders;
  for (const auto* list : {&DeleteFiles, &DeleteFolders}) {
    for (const std::string& entry : *list) {
      const std::string path = JoinToFolder(settings_.app_directory, entry);
      if (QueryFile(path)) folders.push_back(FolderOf(path));
    }
  }
  for (const std::string& folder : folders) {
    if (auto fault = FolderWriteFault(folder)) return "The folder " + folder + " cannot be written: " + *fault;
  }
  return std::nullopt;
}

void TFormMainScreen::ChangeInstallation(const TInstallPlan& plan) {
  if (!SaveList.empty()) {
    AddLogLine("Save current Version ...");
    RichEdit1.Repaint();
    SetEnabled(false);
    if (!SaveCurrentVersion(SaveList)) {
      ReportAbort();
      SetStepResult(LastArchiveError);
      return;
    }
    SetStepResult("Done");
  }
  RemoveObsoleteItems();
  if (CheckShortcuts) {
    AddLogLine("Update shortcut(s) ...");
    RichEdit1.Repaint();
    const int32_t changed = RetargetShortcuts(settings_.main_program, ExecutablePath(),
                                              [this](const std::string& shortcut) { return transaction_->BackUp(shortcut); });
    SetStepResult("Modified Shortcut:" + std::to_string(changed));
  }
  AddLogLine("Install release ...");
  if (plan.targets.empty() || !InstallRelease()) {
    if (plan.targets.empty()) LastArchiveError = "The release archives hold no file";
    ReportInstallFailure("Error!");
    return;
  }
  RecordInstalledRelease();
}

void TFormMainScreen::RemoveObsoleteItems() {
  // Only aside for now: they go into the trash once the new version is in place.
  if (!DeleteFiles.empty()) {
    AddLogLine("Remove obsolete files ...");
    for (const std::string& file : DeleteFiles) {
      const std::string path = JoinToFolder(settings_.app_directory, file);
      // An entry that names a folder must never take it away.
      if (const auto status = QueryFile(path); status && !status->is_dir) transaction_->RemoveAside(path);
    }
    SetStepResult("Done");
  }
  if (!DeleteFolders.empty()) {
    AddLogLine("Remove obsolete folders ...");
    for (const std::string& folder : DeleteFolders) {
      const std::string path = JoinToFolder(settings_.app_directory, folder);
      // The application folder itself is never obsolete.
      if (WithTrailingSeparator(path) == settings_.app_directory) continue;
      if (const auto status = QueryFile(path); status && status->is_dir) transaction_->RemoveAside(path);
    }
    SetStepResult("Done");
  }
}

void TFormMainScreen::ReportInstallFailure(const std::string& result) {
  SetStepResult(result);
  if (!LastArchiveError.empty()) SetStepResult(LastArchiveError);
  transaction_->Undo();
  transaction_.reset();
  ShowUpgradeState(TUpgradeState::Abandoned);
  AddLogLine(kAbortLine);
}

void TFormMainScreen::RecordInstalledRelease() {
  // The version is recorded before the commit, so that an installation never carries
  // the new files under the old version or the other way round.
  const std::string configuration = JoinToFolder(settings_.app_directory, settings_.filename_config);
  if (!transaction_->BackUp(configuration) || !UpdateInstalledVersion(settings_)) {
    LastArchiveError.clear();
    ReportInstallFailure(kConfigurationNotWritable);
    return;
  }
  const bool new_updater = FileExists(JoinToFolder(settings_.app_directory, kNewUpdaterFileName)) ||
                           FileExists(JoinToFolder(settings_.app_directory, kNewConfigurationFileName));
  if ((ReplaceUpdater && new_updater && !transaction_->NoteUpdaterReplacement()) || !transaction_->Commit()) {
    LastArchiveError = "The upgrade journal cannot be written";
    ReportInstallFailure("Error!");
    return;
  }
  ReleaseInstalled = true;
  SendCompletionReport();
  SetStepResult("Done successfuly");
  ShowUpgradeState(TUpgradeState::Succeeded);
  // Every field is read again from the files as they now are, the installed version
  // among them. The files were readable a moment ago; should that have changed, the
  // window keeps what it knew rather than end the updater.
  try {
    LoadConfiguration(settings_, agent_, nullptr);
  } catch (const EInOutError&) {
  }
}

void TFormMainScreen::EndUpgrade() {
  // An upgrade that did not go in leaves nothing of itself before the user can go on:
  // "Later..." must not start the application on a disk the downloads filled.
  if (transaction_ && !transaction_->Committed()) {
    transaction_->Undo();
    transaction_.reset();
  }
  // The log outlives the window beside the save archive, for whoever has to find
  // out later what an upgrade did.
  ReplaceFileSafely(UpgradeLogPath(settings_.name), RichEdit1.Text() + "\n");
  CloseServerConnection();
  SetEnabled(true);
  ui::SetScreenCursor(ui::TCursor::Arrow);
}

void TFormMainScreen::ReportAbort() {
  if (const char* word = StatusWord(LastStatus)) SetStepResult(word);
  ShowUpgradeState(TUpgradeState::Abandoned);
  AddLogLine(kAbortLine);
}

bool TFormMainScreen::DownloadRelease(const std::string& server) {
  // No release file is no release: a failure, never a "Done".
  LastStatus = ReleaseFiles.empty() ? 3 : 1;
  LastDownloadError = ReleaseFiles.empty() ? "The action list names no release file" : "";
  bool result = false;
  for (size_t i = 0; i < ReleaseFiles.size(); ++i) {
    const std::string& file = ReleaseFiles[i];
    if (!transaction_->NoteBrought(JoinToFolder(settings_.app_directory, file))) {
      LastStatus = 3;
      break;
    }
    TFormDownload dialog(this);
    dialog.PrepareDownload(settings_.INTERNET_OPEN_TYPE, settings_.PROXY_SERVER,
                           settings_.PROXY_LOGIN, settings_.PROXY_PASSWORD, settings_.app_directory,
                           file, ReleaseFileUrl(server, settings_.filedir, file),
                           i < ReleaseSizes.size() ? ReleaseSizes[i] : 0,
                           settings_.release_version);
    dialog.ShowModal();
    LastStatus = dialog.DownloadStatus();
    LastDownloadError = dialog.FailureText();
    result = LastStatus == 1;
    if (!result) break;
  }
  return result;
}

void TFormMainScreen::SendCompletionReport() {
  if (!Fetcher) return;
  Fetcher->OnDone = [](TGetInternetData& sender, const std::string*) { sender.ReleaseData(); };
  Fetcher->FetchAndWait(CompletionReportUrl(settings_.selected_server, settings_.link_for_update,
                                            settings_.name, settings_.release_version, settings_.email),
                        kMaxReleaseReply);
}

}  // namespace kestrova
