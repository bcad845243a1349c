// "Update now" for an installation its user cannot write: the updater starts itself
// again with administrator rights to upgrade, waits for that run and shows its log.
// The run with the rights never starts the application; this one does, as the user.
#include <string>

#include "base/files.h"
#include "core/configuration.h"
#include "ui/application.h"
#include "upgrade/elevation.h"
#include "upgrade/form_main_screen.h"
#include "upgrade/working_files.h"

namespace kestrova {
namespace {

constexpr char kAbortLine[] = "Upgrading of the current version aborted.";

}  // namespace

bool TFormMainScreen::IsElevatedUpgrade() const {
  return ElevatedUpgradeVersion(settings_.updater_arguments).has_value();
}

bool TFormMainScreen::HandsUpgradeOver(const std::optional<std::string>& write_fault) const {
  return HandsUpgradeToElevatedRun(write_fault.has_value(), IsElevatedUpgrade());
}

std::optional<std::string> TFormMainScreen::FolderFault() const {
  // Probed only where a run with the rights could be asked for, so that elsewhere
  // "Update now" makes no change before the journal records it.
  if (!CanRunElevated() || IsElevatedUpgrade()) return std::nullopt;
  if (auto fault = FolderWriteFault(settings_.app_directory)) {
    return "The folder " + settings_.app_directory + " cannot be written: " + *fault;
  }
  return ConfigurationWriteFault();
}

void TFormMainScreen::UpgradeElevated(const std::string& fault) {
  ui::SetScreenCursor(ui::TCursor::AppStart);
  ShowUpgradeState(TUpgradeState::Running);
  ClearLog();
  AddLogLine(fault);
  AddLogLine("Upgrade with administrator rights ...");
  RichEdit1.Repaint();
  SetEnabled(false);
  // The run with the rights keeps its log where this one does (the same user's
  // temporary folder); an older log must not pass for it.
  const std::string log_path = UpgradeLogPath(settings_.name);
  RemoveFile(log_path);
  const ElevatedRun run =
      RunElevated(ExecutablePath(), ElevatedUpgradeArguments(settings_.release_version),
                  [] { ui::ProcessNonInputMessages(); });
  SetEnabled(true);
  ui::SetScreenCursor(ui::TCursor::Arrow);
  const std::string failure = ElevatedRunFailure(run);
  SetStepResult(failure.empty() ? "Done" : "Failed");
  if (const std::optional<std::string> log = ReadWholeFile(log_path);
      log && run.outcome == ElevationOutcome::Finished) {
    size_t start = 0;
    for (size_t end; (end = log->find('\n', start)) != std::string::npos; start = end + 1) {
      if (end > start) AddLogLine(log->substr(start, end - start));
    }
  }
  if (failure.empty()) {
    ShowUpgradeState(TUpgradeState::Succeeded);
    try {
      LoadConfiguration(settings_, agent_, nullptr);  // the installed version is the new one now
    } catch (const EInOutError&) {
    }
  } else {
    AddLogLine(failure);
    ShowUpgradeState(TUpgradeState::Abandoned);
    AddLogLine(kAbortLine);
  }
  ReplaceFileSafely(log_path, RichEdit1.Text() + "\n");
}

int TFormMainScreen::RunElevatedUpgrade() {
  Show();
  ui::ProcessNonInputMessages();
  // Only the release the user agreed to install: the server may offer another by now.
  const std::string agreed = ElevatedUpgradeVersion(settings_.updater_arguments).value_or("");
  if (settings_.release_version == agreed) {
    BitBtnUpdateClick();
  } else {
    ClearLog();
    AddLogLine("The server now offers release " + settings_.release_version + ", not " + agreed +
               ".");
    ReplaceFileSafely(UpgradeLogPath(settings_.name), RichEdit1.Text() + "\n");
  }
  const int exit_code = ReleaseInstalled ? 0 : 1;
  Close();  // replaces the updater when the release brought one; starts nothing
  return exit_code;
}

}  // namespace kestrova
