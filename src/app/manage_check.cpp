#include "app/manage_check.h"

#include <chrono>

#include "app/start_preparation.h"
#include "base/files.h"
#include "base/paths.h"
#include "net/internet_handle.h"
#include "net/protocol.h"
#include "release/release_manifest.h"
#include "upgrade/release_freshness.h"
#include "upgrade/working_files.h"

namespace kestrova {
namespace {

int64_t NowUtc() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

TSettings::TVouchedRelease Vouched(const TReleaseManifest& manifest, const TKeySet& configured,
                                   const TKeySet& trusted) {
  TSettings::TVouchedRelease vouched;
  vouched.description_sha256 = manifest.description.sha256;
  vouched.description_size = manifest.description.size;
  for (const TManifestEntry& list : manifest.action_lists) {
    vouched.action_lists.emplace_back(list.sha256, list.size);
  }
  // The action list's own signature may come from any key of the configured, trusted
  // or next set (a list published before a rotation): the manifest's digest is what
  // binds it to this release, and only the trusted threshold signs the manifest.
  for (const std::string& key : configured.keys) vouched.keys.push_back(EncodeBase64(key));
  for (const std::string& key : trusted.keys) vouched.keys.push_back(EncodeBase64(key));
  for (const std::string& key : manifest.next_keys) vouched.keys.push_back(EncodeBase64(key));
  return vouched;
}

// A frozen server refuses the same manifest at every start: the log says so once.
void LogRefusal(const std::string& name, const std::string& line) {
  if (ReadWholeFile(UpgradeLogPath(name)).value_or("").ends_with(line + "\n")) return;
  AppendToUpgradeLog(name, line);
}

}  // namespace

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
  for (const std::string* server : {&settings_.server_addr1, &settings_.server_addr2}) {
    if (server == &settings_.server_addr2 && server->empty()) break;
    RequestRelease(*server);
    // Nobody may be there to see a window: a refused manifest starts the application
    // as if no release were on offer, and says why in the log.
    if (!manifest_refusal_.empty()) LogRefusal(settings_.name, *server + ": " + manifest_refusal_);
    if (AnsweredBy(*server)) {
      KeepAcceptedManifest();
      return IsNewerRelease(settings_.release_version, settings_.current_version);
    }
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
  manifest_refusal_.clear();
  accepted_.reset();
  settings_.vouched_release.reset();
  if (!settings_.release_public_key.empty()) return RequestManifest(server);
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

void TManageCheck::RequestManifest(const std::string& server) {
  fetcher_->OnDone = [this](TGetInternetData& sender, const std::string* reply) {
    OnManifestReply(sender, reply);
  };
  fetcher_->FetchAndWait(ReleaseManifestUrl(server, settings_.link_for_update, settings_.name),
                         kMaxManifest);
}

void TManageCheck::OnManifestReply(TGetInternetData& sender, const std::string* reply) {
  if (reply) TakeManifest(*reply);
  sender.ReleaseData();
}

void TManageCheck::TakeManifest(const std::string& reply) {
  const TKeySetReading configured =
      ReadKeySet(settings_.release_public_key, settings_.release_key_threshold);
  if (!configured.fault.empty()) {
    manifest_refusal_ = configured.fault;
    return;
  }
  const std::string key_set_id = KeySetId(configured.key_set);
  const TManifestState state = LoadManifestState(settings_.name, key_set_id);
  TManifestDecision decision =
      DecideManifest(reply, settings_.name, configured.key_set, state, NowUtc());
  if (!decision.manifest) {
    manifest_refusal_ = decision.fault;
    return;
  }
  settings_.release_version = decision.manifest->version;
  settings_.release_date = decision.manifest->date;
  const TKeySet& trusted = state.rotated.keys.empty() ? configured.key_set : state.rotated;
  settings_.vouched_release = Vouched(*decision.manifest, configured.key_set, trusted);
  accepted_ = {key_set_id, decision.state};
}

void TManageCheck::KeepAcceptedManifest() {
  if (!accepted_) return;
  if (!KeepManifestState(settings_.name, accepted_->first, accepted_->second)) {
    AppendToUpgradeLog(settings_.name, "The release manifest's sequence could not be kept in " +
                                           ManifestStatePath(settings_.name) + ".");
  }
}

}  // namespace kestrova
