// Where the updater keeps what it writes for the user outside the application folder.
#pragma once

#include <string>

namespace kestrova {

/// The system's folder for temporary files, ending in a separator, however long.
std::string GetTempDirectory();

/// Where the log of the latest upgrade of application `name` is kept: the system's
/// temporary folder, beside the save archive.
std::string UpgradeLogPath(const std::string& name);

/// Adds `line` to the end of that log, as a start that finished or undid an
/// interrupted upgrade reports it; nobody may be there to see a window.
void AppendToUpgradeLog(const std::string& name, const std::string& line);

}  // namespace kestrova
