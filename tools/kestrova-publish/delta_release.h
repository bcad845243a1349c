// Delta releases for `release --previous`: per earlier published version, an archive
// of what changed since it and an action list that applies to that version only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "publish_release.h"
#include "recipe.h"

namespace kestrova {

/// The folder of the application's folder that holds one folder per delta base.
inline constexpr char kDeltasFolder[] = "deltas";

/// Where the delta list for installed version `base` is published, relative to the
/// application's folder; the servers answer request 3 of that version with it.
std::string DeltaListName(const std::string& base);

/// What the deltas of one release are built from.
struct TDeltaRequest {
  std::string app_folder;              // <publishing folder>/<name>
  std::string name;
  const TReleaseRecipe* recipe = nullptr;
  TPublishedArchive full;              // the new release's archive, in files/
  std::vector<std::string> previous;   // earlier versions whose archives files/ keeps
  int margin_percent = 50;
};

/// Writes each delta archive into files/ and returns, in `lists`, each delta action
/// list (unsigned) under its DeltaListName. A delta no smaller than the full archive
/// by the margin, or one that brings no file, is left out, with a note saying so.
/// An error text when an earlier release cannot be read or an archive not written.
std::string BuildDeltaReleases(const TDeltaRequest& request, std::vector<std::pair<std::string, std::string>>& lists,
                               std::vector<std::string>& notes);

/// Removes every delta list of the application except those in `kept`: a delta of
/// an earlier release would take its base to that release, not to the new one.
void RemoveOtherDeltaLists(const std::string& app_folder, const std::vector<std::pair<std::string, std::string>>& kept);

}  // namespace kestrova
