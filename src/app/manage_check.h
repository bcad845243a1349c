// The release check of start-up.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/configuration.h"
#include "core/settings.h"
#include "net/get_internet_data.h"
#include "net/internet.h"
#include "release/release_manifest.h"

namespace kestrova {

/// Decides at start-up whether a newer release exists: loads the configuration and
/// asks the first and, when that gives no version, the second update server. Keeps
/// its internet session and fetcher until it is destroyed.
class TManageCheck {
 public:
  TManageCheck(TSettings& settings, std::string executable_path, ErrorReporter report);
  ~TManageCheck();
  TManageCheck(const TManageCheck&) = delete;
  TManageCheck& operator=(const TManageCheck&) = delete;

  /// True when a newer release is on offer; fills app_directory, the configuration
  /// and, when a server answered, selected_server, release_version, release_date.
  bool ReleaseCheck();
  /// Whether the updater's configuration was found and read by ReleaseCheck.
  bool ConfigurationLoaded() const { return configuration_loaded_; }
  /// Whether ReleaseCheck finished an interrupted upgrade whose new updater is now
  /// being put in place by the replacement script, which starts the updater again:
  /// this run then starts nothing.
  bool UpdaterRestarts() const { return updater_restarts_; }

  /// The servers' half of ReleaseCheck, with the settings loaded already: asks the
  /// first and, when it gives no version, the second server; true for a newer release.
  bool AskServers();

  /// Sends the release check to `server` and returns when its reply (if any) has
  /// been taken into the settings.
  void RequestRelease(const std::string& server);

  /// Asks `server` alone, as ReleaseCheck asks each, with the settings loaded already;
  /// true when it answered with a version (release_version, release_date).
  bool AskServer(const std::string& server);

  /// The fetcher's completion handler for the release check.
  void OnReleaseReply(TGetInternetData& sender, const std::string* reply);
  /// The completion handler of the release manifest, asked in place of the release
  /// check when a release key is configured.
  void OnManifestReply(TGetInternetData& sender, const std::string* reply);

  /// Why the last server's manifest was refused; empty when it was accepted, when no
  /// key is configured or when the server did not answer.
  const std::string& ManifestRefusal() const { return manifest_refusal_; }

 private:
  bool AnsweredBy(const std::string& server);
  void RequestManifest(const std::string& server);
  /// Verifies a manifest reply; when it holds, the release and what it vouches for
  /// go into the settings, the state to keep into accepted_.
  void TakeManifest(const std::string& reply);
  /// Records the accepted manifest's sequence and key set; a read-only look
  /// (AskServer) never does.
  void KeepAcceptedManifest();
  /// Opens the internet session and the fetcher on it, once; false without a session.
  bool OpenSession();

  TSettings& settings_;
  std::string executable_path_;
  ErrorReporter report_;
  InternetHandle internet_;
  std::unique_ptr<TGetInternetData> fetcher_;
  std::string manifest_refusal_;
  std::optional<std::pair<std::string, TManifestState>> accepted_;  // key set id, state
  bool configuration_loaded_ = false;
  bool updater_restarts_ = false;
};

/// A start's question to the servers, with the settings loaded already (as
/// TManageCheck::AskServers); selected_server tells whether one answered.
bool AskReleaseServers(TSettings& settings, const std::string& executable_path);

}  // namespace kestrova
