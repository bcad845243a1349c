// What installing a release will write, worked out from the archives' directories
// before anything in the installation changes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

/// The files and folders an install writes over an application folder.
struct TInstallPlan {
  /// Full paths of every file the release puts in place.
  std::vector<std::string> targets;
  /// Folders the install creates, each after the folder that holds it.
  std::vector<std::string> new_folders;
  /// Existing folders that will hold new files (and so staged files meanwhile).
  std::vector<std::string> target_folders;
  /// Bytes the staged files take.
  uint64_t bytes = 0;
};

/// What an upgrade will do to the installation, to be checked as a whole.
struct TInstallRequest {
  std::string app_directory;          // ends in a separator
  std::vector<std::string> archives;  // full paths of the downloaded release archives
  /// Full paths that the upgrade removes before the install, so that a release may put
  /// a folder where a file was, or the other way round.
  std::vector<std::string> removed;
};

/// Reads the directory of every archive and checks, writing nothing that stays, that
/// the release can go in: no links, no name that is a file in one place and a folder
/// in another (in the archives or against the installation), no name the file system
/// refuses, room for the staged files, and every folder it writes to or removes from
/// writable. Fills `plan` and returns nothing, or returns why the release cannot go in.
std::optional<std::string> PlanInstall(const TInstallRequest& request, TInstallPlan& plan);

}  // namespace kestrova
