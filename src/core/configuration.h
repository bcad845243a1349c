// Loading the updater's configuration and the application's own configuration file.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "core/settings.h"

namespace kestrova {

/// Section of the application's configuration file that belongs to the updater.
inline constexpr char kOwnSection[] = "Kestrova";

/// Raised when the application's configuration file cannot be prepared for reading
/// (missing, unreadable, read-only, or not configured). Ends the load.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Shows an error to the user: caption and text. The window toolkit supplies a
/// message box; without a screen the text goes to standard error.
using ErrorReporter = std::function<void(const std::string& caption, const std::string& text)>;

/// Path of the updater's configuration file: the executable's file name with its
/// extension replaced by ".ini", in `app_directory`.
std::string ConfigurationPath(const std::string& app_directory, const std::string& executable_name);

/// Reads both configuration files into `settings` (app_directory must be set), after
/// removing what killed writes left beside them (RemoveReplaceLeftovers).
/// Returns false, after reporting it, only when the updater's configuration file is
/// missing. Throws EInOutError when the application's file cannot take the
/// "[Kestrova]" marker it needs, and when either file is no regular file or larger
/// than kMaxConfigurationSize (the text names the file and the reason).
bool LoadConfiguration(TSettings& settings, const std::string& executable_name,
                       const ErrorReporter& report);

/// Writes `release_version` into the application's configuration file. Returns
/// false when the file cannot be written; it is then unchanged.
bool UpdateInstalledVersion(const TSettings& settings);

/// True when `release_version` is newer than `current_version`: an ordinal
/// byte-by-byte comparison, so "1.10" is not newer than "1.9".
bool IsNewerRelease(const std::string& release_version, const std::string& current_version);

}  // namespace kestrova
