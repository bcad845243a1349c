#include "upgrade/trash.h"

#include "base/files.h"

namespace kestrova {

bool RemoveFolder(const std::string& path) {
  const auto status = QueryFile(path);
  if (!status || !status->is_dir) return false;
  return MoveToTrash(path) || RemoveFolderTree(path);
}

bool RemoveObsoleteFile(const std::string& path) {
  if (!QueryFile(path)) return false;
  return MoveToTrash(path) || RemoveFile(path);
}

}  // namespace kestrova
