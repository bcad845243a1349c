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
#include "upgrade/shortcuts.h"
#include "upgrade/trash.h"

namespace kestrova {
namespace {

constexpr char kAbortLine[] = "Upgrading of the current version aborted.";

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

std::string UpgradeLogPath(const std::string& name) { return JoinPath(GetTempDirectory(), name + "_upgrade.log"); }

void TFormMainScreen::BitBtnUpdateClick() {
  OpenServerConnection();
  ui::SetScreenCursor(ui::TCursor::AppStart);
  ReleaseInstalled = false;
  ShowUpgradeState(TUpgradeState::Running);
  ClearLog();
  AddLogLine("Start upgrade");
  AddLogLine("Get action list ...");
  RichEdit1.Repaint();
  RequestActionList();
  if (!ActionListLoaded) {
    SetStepResult("Failed");
    if (!ActionListError.empty()) AddLogLine(ActionListError);
    ShowUpgradeState(TUpgradeState::Abandoned);
    AddLogLine(kAbortLine);
    EndUpgrade();
    return;
  }
  SetStepResult("Done");
  AddLogLine("Download release ...");
  if (DownloadReleaseFromEitherServer() && VerifyDownloads()) {
    SetStepResult("Done");
    ChangeInstallation();
  }
  EndUpgrade();
}

bool TFormMainScreen::DownloadReleaseFromEitherServer() {
  if (!DownloadRelease(settings_.download_server_adr1)) {
    // A user who cancelled the first download wants no second one.
    if (LastStatus == 2 || !DownloadRelease(settings_.download_server_adr2)) {
      ReportAbort();
      return false;
    }
  }
  return true;
}

bool TFormMainScreen::VerifyDownloads() {
  // A damaged archive must end the upgrade before anything is saved or removed: the
  // removals come before the install, and would otherwise leave files missing.
  // A file that is not the one signed is refused before it is even opened as an archive.
  if (VerifyReleaseHashes() && VerifyReleaseArchives()) return true;
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

void TFormMainScreen::ChangeInstallation() {
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
    const int32_t changed = RetargetShortcuts(settings_.main_program, ExecutablePath());
    SetStepResult("Modified Shortcut:" + std::to_string(changed));
  }
  AddLogLine("Install release ...");
  if (!InstallRelease()) {
    SetStepResult("Error!");
    SetStepResult(LastArchiveError);
    ShowUpgradeState(TUpgradeState::InstallFailed);
    return;
  }
  ReleaseInstalled = true;
  RecordInstalledRelease();
}

void TFormMainScreen::RemoveObsoleteItems() {
  // Into the trash, where a user can still get them back should a later step fail.
  if (!DeleteFiles.empty()) {
    AddLogLine("Remove obsolete files ...");
    for (const std::string& file : DeleteFiles) RemoveObsoleteFile(JoinToFolder(settings_.app_directory, file));
    SetStepResult("Done");
  }
  if (!DeleteFolders.empty()) {
    AddLogLine("Remove obsolete folders ...");
    for (const std::string& folder : DeleteFolders) RemoveFolder(JoinToFolder(settings_.app_directory, folder));
    SetStepResult("Done");
  }
}

void TFormMainScreen::RecordInstalledRelease() {
  if (UpdateInstalledVersion(settings_)) {
    SendCompletionReport();
    SetStepResult("Done successfuly");
    ShowUpgradeState(TUpgradeState::Succeeded);
  } else {
    SetStepResult("The system is not able to modify the configuration file!");
    ShowUpgradeState(TUpgradeState::ConfigurationWriteFailed);
  }
  // Every field is read again from the files as they now are, the installed version
  // among them. The files were readable a moment ago; should that have changed, the
  // window keeps what it knew rather than end the updater.
  try {
    LoadConfiguration(settings_, agent_, nullptr);
  } catch (const EInOutError&) {
  }
}

void TFormMainScreen::EndUpgrade() {
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
  bool result = false;
  for (const std::string& file : ReleaseFiles) {
    TFormDownload dialog(this);
    dialog.PrepareDownload(settings_.INTERNET_OPEN_TYPE, settings_.PROXY_SERVER, settings_.PROXY_LOGIN,
                           settings_.PROXY_PASSWORD, settings_.app_directory, file,
                           ReleaseFileUrl(server, settings_.filedir, file));
    dialog.ShowModal();
    LastStatus = dialog.DownloadStatus();
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
