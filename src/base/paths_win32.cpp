#include "base/paths.h"

namespace kestrova {
namespace {

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Where the folder part of a path ends: after its last separator, or after the drive
// of "C:name", which names a file in that drive's current folder.
size_t FolderLength(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return separator + 1;
  return HasDrive(path) ? 2 : 0;
}

}  // namespace

const char kNativeSeparator = '\\';

// Windows takes "/" as a separator too, and paths from other code often carry it.
bool IsNativeSeparator(char c) { return c == '\\' || c == '/'; }

std::string FolderOf(const std::string& path) { return path.substr(0, FolderLength(path)); }

std::string FileNameOf(const std::string& path) { return path.substr(FolderLength(path)); }

// "C:\..." and "\\server\share\..." (also "\\?\..."); "\name" depends on the current
// drive and "C:name" on that drive's current folder, so neither is complete.
bool IsFullPath(std::string_view path) {
  if (HasDrive(path)) return path.size() >= 3 && IsNativeSeparator(path[2]);
  return path.size() >= 2 && IsNativeSeparator(path[0]) && IsNativeSeparator(path[1]);
}

}  // namespace kestrova
