#include "app/manage_check.h"

#include "app/start_preparation.h"
#include "base/paths.h"
#include "net/internet_handle.h"
#include "net/protocol.h"

namespace kestrova {

TManageCheck::TManageCheck(TSettings& settings, std::string executable_path, ErrorReporter report)
    : settings_(settings), executable_path_(std::move(executable_path)), report_(std::move(report)) {}

TManageCheck::~TManageCheck() {
  fetcher_.reset();  // waits for a worker still running
  if (internet_) internet_->Close();
}

bool TManageCheck::ReleaseCheck() {
  const TStartPreparation start = PrepareStart(settings_, executable_path_, report_);
  configuration_loaded_ = start.configuration_loaded;
  updater_restarts_ = start.updater_restarts;
  if (!configuration_loaded_ || updater_restarts_ || !settings_.check_release) return false;
  return AskServers();
}

bool TManageCheck::AskServers() {
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

bool AskReleaseServers(TSettings& settings, const std::string& executable_path) {
  TManageCheck check(settings, executable_path, nullptr);
  return check.AskServers();
}

}  // namespace kestrova
