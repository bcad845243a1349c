// Delta releases: an action list that takes one installed version to the new one by
// bringing only the files that changed. It applies to its base alone, so the updater
// checks the installed files against it before it fetches or changes anything.
#pragma once

#include <string>

#include "release/action_list.h"

namespace kestrova {

/// The archive format a delta list states in `delta_format`: every file it brings
/// arrives whole. A later format (a file arriving as a patch against its base) gets
/// another number, which this updater refuses and answers with the full release.
inline constexpr char kWholeFileDeltaFormat[] = "1";

/// Section of a delta list naming the base files it replaces or deletes:
/// fileN=<path in the application folder>, sha256_N=<the base file's SHA-256>.
inline constexpr char kDeltaBaseSection[] = "delta_base";

/// True when the list is a delta (it names the version it applies to).
bool IsDeltaActionList(const TActionList& list);

/// Why the delta `list` must not be applied to the installation in `app_directory`
/// recorded as `installed_version`: made for another version, a format this updater
/// cannot apply, a base file missing or not the one the delta expects. Empty when it
/// applies, and for a full list.
std::string DeltaBaseFault(const TActionList& list, const std::string& app_directory,
                           const std::string& installed_version);

}  // namespace kestrova
