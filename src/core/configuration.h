// Loading the updater's configuration and the application's own configuration file.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"

namespace kestrova {

/// Section of the application's configuration file that belongs to the updater.
inline constexpr char kOwnSection[] = "Kestrova";

/// Raised when a configuration file cannot be read as one (the updater's: UTF-16 text,
/// no [application] section) or the application's cannot be prepared for reading
/// (missing, unreadable, read-only, or not configured). Ends the load.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Shows an error to the user: caption and text. The window toolkit supplies a
/// message box; without a screen the text goes to standard error.
using ErrorReporter = std::function<void(const std::string& caption, const std::string& text)>;

/// A key of the updater's configuration file, named as a publisher writes it.
struct ConfigurationKey {
  std::string section;
  std::string key;
};

/// Every key LoadConfiguration reads, in the order it reads them.
std::vector<ConfigurationKey> ConfigurationKeys();

/// What a load may do to the files: a start prepares them (removes the leftovers of
/// killed writes, puts the "[Kestrova]" marker into the application's file); a
/// read-only look reads and raises the same, and changes nothing.
enum class ConfigurationAccess { kPrepare, kReadOnly };

/// Path of the updater's configuration file: the executable's file name with its
/// extension replaced by ".ini", in `app_directory`.
std::string ConfigurationPath(const std::string& app_directory, const std::string& executable_name);

/// Reads both configuration files into `settings` (app_directory must be set), after
/// removing what killed writes left beside them (RemoveReplaceLeftovers).
/// Returns false, after reporting it, only when the updater's configuration file is
/// missing. Throws EInOutError when the updater's file is UTF-16 text or has no
/// [application] section, when the application's file cannot take the "[Kestrova]"
/// marker it needs, and when either file is no regular file or larger than
/// kMaxConfigurationSize (the text names the file and the reason).
bool LoadConfiguration(TSettings& settings, const std::string& executable_name,
                       const ErrorReporter& report,
                       ConfigurationAccess access = ConfigurationAccess::kPrepare);

/// The application's configuration file (filename_config) as a start reads it: with
/// the "[Kestrova]" marker in front that a start puts there when the section is
/// missing. Nothing when the file cannot be read.
std::optional<std::string> ApplicationConfigurationText(const TSettings& settings);

/// Writes `release_version` into the application's configuration file. Returns
/// false when the file cannot be written; it is then unchanged.
bool UpdateInstalledVersion(const TSettings& settings);

/// True when `release_version` is newer than `current_version`: an ordinal
/// byte-by-byte comparison, so "1.10" is not newer than "1.9".
bool IsNewerRelease(const std::string& release_version, const std::string& current_version);

/// Whether a release check's version can be one: 1 to 64 ASCII letters, digits and
/// ". - _ +". Anything else (a captive portal's page cut at its first ";", say) is
/// no version, so the server counts as not answering. Here, below the network code,
/// so that the publisher tool refuses what the updaters would.
bool IsReleaseVersion(std::string_view version);

}  // namespace kestrova
