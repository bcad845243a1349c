// What the updater remembers of the release manifests it accepted, kept in the user's
// private folder: an application folder that another user, or the release itself,
// can write is no place for the mark that stops a replay.
#pragma once

#include <string>

#include "release/release_manifest.h"

namespace kestrova {

/// "<name>_manifest.state" in the private folder.
std::string ManifestStatePath(const std::string& name);

/// The state of application `name` under the configured key set `key_set_id`; a
/// fresh one when none is kept.
TManifestState LoadManifestState(const std::string& name, const std::string& key_set_id);

/// Keeps `state` for `name` and `key_set_id` in place of what was kept; false when it
/// could not be written.
bool KeepManifestState(const std::string& name, const std::string& key_set_id,
                       const TManifestState& state);

}  // namespace kestrova
