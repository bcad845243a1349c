#include "upgrade/working_files.h"

#include "base/files.h"
#include "base/paths.h"

namespace kestrova {

std::string GetTempDirectory() { return TemporaryDirectory(); }

std::string UpgradeLogPath(const std::string& name) { return JoinPath(GetTempDirectory(), name + "_upgrade.log"); }

void AppendToUpgradeLog(const std::string& name, const std::string& line) {
  const std::string path = UpgradeLogPath(name);
  ReplaceFileSafely(path, ReadWholeFile(path).value_or("") + line + "\n");
}

}  // namespace kestrova
