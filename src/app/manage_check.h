// The release check of start-up.
#pragma once

#include <string>

#include "app/configuration.h"
#include "app/settings.h"

namespace kestrova {

/// Decides at start-up whether a newer release exists: loads the configuration and
/// asks the first and, when that gives no version, the second update server.
class TManageCheck {
 public:
  TManageCheck(TSettings& settings, std::string executable_path, ErrorReporter report);
  ~TManageCheck();

  /// True when a newer release is on offer; fills app_directory, the configuration
  /// and, when a server answered, selected_server, release_version, release_date.
  bool ReleaseCheck();

 private:
  TSettings& settings_;
  std::string executable_path_;
  ErrorReporter report_;
};

}  // namespace kestrova
