// The "release" command: one release, built and published into a publishing folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "recipe.h"
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
  /// Earlier versions whose archives files/ still holds: each gets a delta release.
  std::vector<std::string> previous;
  /// How much smaller than the full archive a delta must be to be published, in %.
  int delta_margin = 50;
};

/// One release archive in files/, as an action list names it.
struct TPublishedArchive {
  std::string file;       // the name in files/
  std::string file_path;  // where it lies
  std::string sha256;
  uint64_t size = 0;
};

/// Packs the content of `source` into `target` through a temporary name and a
/// rename, with kestrova's own ZIP writer; fills `archive` but its `file`. Returns an
/// empty text on success, else what went wrong.
std::string PackRelease(const std::string& source, const std::string& target, TPublishedArchive& archive);

/// The action list of a release of `name` that downloads `archive`, as the recipe
/// describes it; `release_keys` are further lines of [release], `sections` further
/// sections, each line ending in a line break.
std::string ActionListText(const std::string& name, const TReleaseRecipe& recipe, const TPublishedArchive& archive,
                           const std::string& release_keys = {}, const std::string& sections = {});

/// Builds the release archive and the deltas from `previous`, then writes, each
/// through a temporary name and a rename and in this order: the archives, the
/// description, the action lists (signed when there are keys; delta lists of other
/// releases removed), the version reply and, last, release.ini. An updater that
/// asks in between is still offered the old version. Returns an empty text on
/// success, else what went wrong; `notes` gets what the publisher should know.
std::string PublishRelease(const TPublishRequest& request, std::vector<std::string>& notes);

}  // namespace kestrova
