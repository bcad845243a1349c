// The release manifest on the publisher's side: written by "release", signed again by
// "refresh" (for a timer) and "rotate-key", verified by "check".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "check_folder.h"
#include "release/release_manifest.h"

namespace kestrova {

inline constexpr int kDefaultExpiryDays = 7;

/// Which manifest to write and with which keys.
struct TManifestRequest {
  std::string folder;                 // the publishing folder
  std::string name;                   // the application
  std::vector<TReleaseKeyPair> keys;  // every key signs: as many as the updaters' threshold
  int expires_days = kDefaultExpiryDays;  // 1 or more
  /// rotate-key: the key set that takes over (raw public keys) and its threshold.
  std::vector<std::string> next_keys;
  int32_t next_threshold = 1;
};

/// Writes the manifest of the release now published in the folder (release.ini, the
/// description the server hands out, actionlist.ini and every deltas/*/actionlist.ini),
/// with a sequence above the previous manifest's and the next key set it carried.
/// Empty on success, else what went wrong.
std::string WriteReleaseManifest(const TManifestRequest& request, std::vector<std::string>& notes);

/// The previous manifest's statements signed again, with a higher sequence and a new
/// expiry; the release itself is not looked at.
std::string RefreshManifest(const TManifestRequest& request, std::vector<std::string>& notes);

/// As RefreshManifest, the manifest then carrying `next_keys`: updaters that accept it
/// trust those keys from then on, and no others.
std::string RotateManifestKeys(const TManifestRequest& request, std::vector<std::string>& notes);

/// What an updater holding `keys` (base64, "," between them) with `threshold` would
/// refuse in the manifest of `name`, and what it vouches for that is not published.
void CheckReleaseManifest(const TCheckRequest& request, const std::string& keys, int32_t threshold,
                          TCheckReport& report);

}  // namespace kestrova
