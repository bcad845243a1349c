// Replacing the updater's own executable and configuration once it has exited.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

/// Names under which a release ships a new updater into the application folder.
inline constexpr char kNewUpdaterFileName[] = "Kestrova.new";
inline constexpr char kNewConfigurationFileName[] = "Kestrova.config";

/// The running updater, as the replacement script must know it.
struct TReplacementRequest {
  std::string app_directory;    // the updater's folder, ending in a separator
  std::string executable_name;  // the updater's file name, without folder
  /// The updater's own arguments, given again when it is restarted.
  std::vector<std::string> updater_arguments;
  int64_t updater_process_id = 0;  // the script waits until this process is gone
  bool LaunchRequested = false;    // restart the updater after the replacement
};

/// What the restarted updater is given so that it passes `updater_arguments` on to
/// the application: behind "--", so that none is taken for an option of its own.
std::vector<std::string> RestartArguments(const std::vector<std::string>& updater_arguments);

/// Writes the replacement script into the application folder and starts it
/// detached, when "Kestrova.new" or "Kestrova.config" is there. True when the
/// script runs; false when there was nothing to replace or the script could not be
/// written or started, and then nothing runs.
bool WriteReplacementBatch(const TReplacementRequest& request);

}  // namespace kestrova
