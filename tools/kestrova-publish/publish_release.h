// The "release" command: one release, built and published into a publishing folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "release/release_signature.h"

namespace kestrova {

/// File names inside an application's subfolder of the publishing folder.
inline constexpr char kReleaseIni[] = "release.ini";
inline constexpr char kVersionReply[] = "version.txt";  // "version;date", as request 1 answers
inline constexpr char kFilesFolder[] = "files";
// The public half of the key that signed the release (base64), for check to verify with.
inline constexpr char kPublishedKey[] = "release_key.pub";

/// What to publish, and where.
struct TPublishRequest {
  std::string folder;       // the publishing folder
  std::string name;         // the application, as the updaters' `name` setting
  std::string source;       // the folder whose content the release installs
  std::string recipe_path;  // see TReleaseRecipe
  std::optional<TReleaseKeyPair> keys;  // none: an unsigned release
  bool force = false;       // publish a version that is not newer than the current one
  bool overwrite_configuration = false;  // publish configuration files found in `source`
};

/// Builds the release archive, then writes, each through a temporary name and a
/// rename and in this order: the archive, the description, the action list (signed
/// when there are keys), the version reply and, last, release.ini. An updater that
/// asks in between is still offered the old version. Returns an empty text on
/// success, else what went wrong; `notes` gets what the publisher should know.
std::string PublishRelease(const TPublishRequest& request, std::vector<std::string>& notes);

}  // namespace kestrova
