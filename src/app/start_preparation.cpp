#include "app/start_preparation.h"

#include "base/paths.h"
#include "upgrade/detached_script.h"
#include "upgrade/self_replacement.h"
#include "upgrade/upgrade_transaction.h"
#include "upgrade/working_files.h"

namespace kestrova {
namespace {

// True when the replacement script of a finished upgrade's new updater is on its way.
bool RecoverInterruptedUpgrade(TSettings& settings, const std::string& executable_path,
                               const ErrorReporter& report) {
  const TRecovery recovery = kestrova::RecoverInterruptedUpgrade(settings.app_directory);
  if (recovery.outcome == TRecoveryOutcome::kNone) return false;
  AppendToUpgradeLog(settings.name, recovery.message);
  if (recovery.outcome == TRecoveryOutcome::kDamaged) return false;
  // The installed version may have changed back or forward.
  LoadConfiguration(settings, FileNameOf(executable_path), report);
  if (!recovery.replace_updater) return false;
  TReplacementRequest request;
  request.app_directory = settings.app_directory;
  request.executable_name = FileNameOf(executable_path);
  request.updater_arguments = RestartArguments(settings.updater_arguments);
  request.updater_process_id = CurrentProcessId();
  request.LaunchRequested = true;
  return WriteReplacementBatch(request);
}

}  // namespace

TStartPreparation PrepareStart(TSettings& settings, const std::string& executable_path,
                               const ErrorReporter& report) {
  TStartPreparation start;
  settings.app_directory = FolderOf(executable_path);
  start.configuration_loaded = LoadConfiguration(settings, FileNameOf(executable_path), report);
  if (start.configuration_loaded) {
    start.updater_restarts = RecoverInterruptedUpgrade(settings, executable_path, report);
  }
  return start;
}

}  // namespace kestrova
