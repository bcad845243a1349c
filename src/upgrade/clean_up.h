// Removing what an upgrade leaves in the application folder.
#pragma once

#include <string>
#include <vector>

namespace kestrova {

/// Deletes the file at `path`. A folder, or anything that is not there, is left
/// alone: an entry that names the folder itself must never take it away.
bool DeleteFileOnly(const std::string& path);

/// Deletes the downloaded release files and the stored action list from
/// `app_directory`; whatever cannot be deleted stays, silently.
void RemoveUpgradeLeftovers(const std::string& app_directory,
                            const std::vector<std::string>& release_files);

}  // namespace kestrova
