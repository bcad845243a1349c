#include "upgrade/release_freshness.h"

#include "base/files.h"
#include "base/paths.h"
#include "upgrade/working_files.h"

namespace kestrova {

std::string ManifestStatePath(const std::string& name) {
  return JoinPath(PrivateWorkingFolder(), name + "_manifest.state");
}

TManifestState LoadManifestState(const std::string& name, const std::string& key_set_id) {
  // Without a private folder the path names a file in the working folder, which anyone
  // may have prepared with a key set of their own.
  if (PrivateWorkingFolder().empty()) return {};
  return ReadManifestState(ReadWholeFile(ManifestStatePath(name)).value_or(""), key_set_id);
}

bool KeepManifestState(const std::string& name, const std::string& key_set_id,
                       const TManifestState& state) {
  if (PrivateWorkingFolder().empty()) return false;
  return ReplaceFileSafely(ManifestStatePath(name), ManifestStateText(key_set_id, state));
}

}  // namespace kestrova
