// Where the updater keeps what it writes for the user outside the application folder.
#pragma once

#include <string>

namespace kestrova {

/// The system's folder for temporary files, ending in a separator, however long.
std::string GetTempDirectory();

/// The user's own folder for the updater's files (save archives, upgrade logs), made
/// on first use so that only its owner may enter it, ending in a separator: below
/// $XDG_CACHE_HOME or ~/.cache on Linux, else a per-user folder in the temporary
/// folder; the per-user temporary folder on Windows. Empty when no such folder can be
/// had (a folder of that name that belongs to someone else, say).
std::string PrivateWorkingFolder();

/// Where the save archive of application `name` is kept: "<name>_save.zip" in the
/// private folder. The previous kSaveGenerations - 1 saves stay beside it.
std::string SaveArchivePath(const std::string& name);
inline constexpr int kSaveGenerations = 3;
/// Moves the saves of `name` one generation on, dropping the oldest, so that a new
/// save never takes the place of the only copy of what an earlier upgrade replaced.
void KeepSaveGenerations(const std::string& name);

/// Where the log of the latest upgrade of application `name` is kept: beside the
/// save archive.
std::string UpgradeLogPath(const std::string& name);

/// Adds `line` to the end of that log, as a start that finished or undid an
/// interrupted upgrade reports it; nobody may be there to see a window.
void AppendToUpgradeLog(const std::string& name, const std::string& line);

}  // namespace kestrova
