#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "base/files.h"
#include "base/paths.h"
#include "upgrade/working_files.h"

namespace kestrova {
namespace {

// A folder only its owner may enter, ours and not a link: made when missing, and its
// permissions narrowed when it is ours but open to others.
bool EnsureOwnerOnlyFolder(const std::string& folder) {
  ::mkdir(folder.c_str(), 0700);
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) return false;
  return (info.st_mode & 077) == 0 || ::chmod(folder.c_str(), 0700) == 0;
}

}  // namespace

std::string PrivateWorkingFolder() {
  std::string cache;
  if (const char* value = std::getenv("XDG_CACHE_HOME"); value && *value == '/') {
    cache = value;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    cache = std::string(home) + "/.cache";
  }
  if (!cache.empty()) {
    // The cache folder itself is the user's to have; only ours is made private.
    for (size_t slash = cache.find('/', 1); slash != std::string::npos; slash = cache.find('/', slash + 1)) {
      ::mkdir(cache.substr(0, slash).c_str(), 0700);
    }
    ::mkdir(cache.c_str(), 0700);
    const std::string folder = JoinPath(cache, "kestrova");
    if (EnsureOwnerOnlyFolder(folder)) return WithTrailingSeparator(folder);
  }
  // A shared temporary folder: the name says whose it is, and someone else's is refused.
  const std::string folder = JoinPath(TemporaryDirectory(), "kestrova-" + std::to_string(::geteuid()));
  return EnsureOwnerOnlyFolder(folder) ? WithTrailingSeparator(folder) : std::string();
}

}  // namespace kestrova
