#include "app/manage_check.h"

#include "base/paths.h"
#include "net/internet_handle.h"
#include "net/protocol.h"
#include "upgrade/detached_script.h"
#include "upgrade/self_replacement.h"
#include "upgrade/upgrade_transaction.h"
#include "upgrade/working_files.h"

namespace kestrova {

TManageCheck::TManageCheck(TSettings& settings, std::string executable_path, ErrorReporter report)
    : settings_(settings), executable_path_(std::move(executable_path)), report_(std::move(report)) {}

TManageCheck::~TManageCheck() {
  fetcher_.reset();  // waits for a worker still running
  if (internet_) internet_->Close();
}

bool TManageCheck::ReleaseCheck() {
  settings_.app_directory = FolderOf(executable_path_);
  configuration_loaded_ = LoadConfiguration(settings_, FileNameOf(executable_path_), report_);
  if (!configuration_loaded_) return false;
  RecoverInterruptedUpgrade();
  if (updater_restarts_ || !settings_.check_release) return false;
  if (!OpenSession()) return false;

  RequestRelease(settings_.server_addr1);
  if (AnsweredBy(settings_.server_addr1)) {
    return IsNewerRelease(settings_.release_version, settings_.current_version);
  }
  if (settings_.server_addr2.empty()) return false;
  RequestRelease(settings_.server_addr2);
  if (AnsweredBy(settings_.server_addr2)) {
    return IsNewerRelease(settings_.release_version, settings_.current_version);
  }
  return false;
}

bool TManageCheck::OpenSession() {
  if (!fetcher_) {
    internet_ = OpenInternetHandle(FileNameOf(executable_path_), InternetAccessOf(settings_));
    fetcher_ = std::make_unique<TGetInternetData>(internet_, settings_.internet_option_connect_timeout);
  }
  return internet_ != nullptr;
}

bool TManageCheck::AskServer(const std::string& server) {
  settings_.release_version.clear();
  settings_.release_date.clear();
  if (!OpenSession()) return false;
  RequestRelease(server);
  return !settings_.release_version.empty();
}

void TManageCheck::RecoverInterruptedUpgrade() {
  const TRecovery recovery = kestrova::RecoverInterruptedUpgrade(settings_.app_directory);
  if (recovery.outcome == TRecoveryOutcome::kNone) return;
  AppendToUpgradeLog(settings_.name, recovery.message);
  if (recovery.outcome == TRecoveryOutcome::kDamaged) return;
  // The installed version may have changed back or forward.
  LoadConfiguration(settings_, FileNameOf(executable_path_), report_);
  if (!recovery.replace_updater) return;
  TReplacementRequest request;
  request.app_directory = settings_.app_directory;
  request.executable_name = FileNameOf(executable_path_);
  request.updater_arguments = RestartArguments(settings_.updater_arguments);
  request.updater_process_id = CurrentProcessId();
  request.LaunchRequested = true;
  updater_restarts_ = WriteReplacementBatch(request);
}

bool TManageCheck::AnsweredBy(const std::string& server) {
  if (settings_.release_version.empty()) return false;
  settings_.selected_server = server;
  return true;
}

void TManageCheck::RequestRelease(const std::string& server) {
  fetcher_->OnDone = [this](TGetInternetData& sender, const std::string* reply) {
    OnReleaseReply(sender, reply);
  };
  fetcher_->FetchAndWait(ReleaseCheckUrl(server, settings_.link_for_update, settings_.name),
                         kMaxReleaseReply);
}

void TManageCheck::OnReleaseReply(TGetInternetData& sender, const std::string* reply) {
  if (reply) {
    ReleaseReply release = ReadReleaseReply(*reply);
    // Anything but a version (a captive portal's page, say) is no answer of an update
    // server: the next server is asked as if this one had not answered.
    if (IsReleaseVersion(release.version)) {
      settings_.release_version = std::move(release.version);
      settings_.release_date = std::move(release.date);
    }
  }
  sender.ReleaseData();
}

}  // namespace kestrova
