#include "upgrade/working_files.h"

#include "base/files.h"
#include "base/paths.h"

namespace kestrova {
namespace {

std::string SaveGenerationPath(const std::string& folder, const std::string& name, int generation) {
  if (generation == 0) return JoinPath(folder, name + "_save.zip");
  return JoinPath(folder, name + "_save." + std::to_string(generation) + ".zip");
}

}  // namespace

std::string GetTempDirectory() { return TemporaryDirectory(); }

std::string SaveArchivePath(const std::string& name) { return SaveGenerationPath(PrivateWorkingFolder(), name, 0); }

void KeepSaveGenerations(const std::string& name) {
  const std::string folder = PrivateWorkingFolder();
  for (int generation = kSaveGenerations - 1; generation > 0; --generation) {
    const std::string older = SaveGenerationPath(folder, name, generation - 1);
    if (FileExists(older)) RenameReplacing(older, SaveGenerationPath(folder, name, generation));
  }
}

std::string UpgradeLogPath(const std::string& name) {
  return JoinPath(PrivateWorkingFolder(), name + "_upgrade.log");
}

void AppendToUpgradeLog(const std::string& name, const std::string& line) {
  const std::string path = UpgradeLogPath(name);
  ReplaceFileSafely(path, ReadWholeFile(path).value_or("") + line + "\n");
}

}  // namespace kestrova
