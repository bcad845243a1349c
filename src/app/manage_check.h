// The release check of start-up.
#pragma once

#include <memory>
#include <string>

#include "core/configuration.h"
#include "core/settings.h"
#include "net/get_internet_data.h"
#include "net/internet.h"

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

  /// Sends the release check to `server` and returns when its reply (if any) has
  /// been taken into the settings.
  void RequestRelease(const std::string& server);

  /// The fetcher's completion handler for the release check.
  void OnReleaseReply(TGetInternetData& sender, const std::string* reply);

 private:
  bool AnsweredBy(const std::string& server);

  TSettings& settings_;
  std::string executable_path_;
  ErrorReporter report_;
  InternetHandle internet_;
  std::unique_ptr<TGetInternetData> fetcher_;
  bool configuration_loaded_ = false;
};

}  // namespace kestrova
