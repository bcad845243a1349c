#include "upgrade/release_freshness.h"

#include "base/files.h"
#include "base/paths.h"
#include "upgrade/working_files.h"

namespace kestrova {

std::string ManifestStatePath(const std::string& name) {
  return JoinPath(PrivateWorkingFolder(), name + "_manifest.state");
}

TManifestState LoadManifestState(const std::string& name, const std::string& key_set_id) {
  return ReadManifestState(ReadWholeFile(ManifestStatePath(name)).value_or(""), key_set_id);
}

bool KeepManifestState(const std::string& name, const std::string& key_set_id,
                       const TManifestState& state) {
  if (PrivateWorkingFolder().empty()) return false;
  return ReplaceFileSafely(ManifestStatePath(name), ManifestStateText(key_set_id, state));
}

}  // namespace kestrova
