#include "base/paths.h"

namespace kestrova {

char NativeSeparator() { return '/'; }

bool IsNativeSeparator(char c) { return c == '/'; }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool IsFullPath(std::string_view path) { return !path.empty() && path[0] == '/'; }

// Linux file systems take every byte but the separator and NUL, up to NAME_MAX.
std::string FileNameRefusal(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return "it holds a NUL character";
  if (name.size() > 255) return "it is longer than 255 bytes";
  return {};
}

}  // namespace kestrova
