#include "base/paths.h"

namespace kestrova {

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && !IsNativeSeparator(folder.back())) folder += NativeSeparator();
  return folder;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return WithTrailingSeparator(folder) + name;
}

}  // namespace kestrova
