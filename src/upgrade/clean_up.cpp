#include "upgrade/clean_up.h"

#include <filesystem>
#include <system_error>

#include "base/files.h"
#include "release/action_list.h"

namespace kestrova {

bool DeleteFileOnly(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  if (error || status.type() == std::filesystem::file_type::directory) return false;
  return std::filesystem::remove(path, error) && !error;
}

void RemoveUpgradeLeftovers(const std::string& app_directory,
                            const std::vector<std::string>& release_files) {
  for (const std::string& file : release_files) DeleteFileOnly(JoinToFolder(app_directory, file));
  DeleteFileOnly(JoinToFolder(app_directory, kActionListFileName));
}

}  // namespace kestrova
