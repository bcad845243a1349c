// What a delta release carries: the comparison of an earlier release's files with the
// new release's, by content hash and mode.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrova {

/// One name of a release tree as its archive holds it.
struct TReleaseEntry {
  bool folder = false;
  uint32_t mode = 0;    // Unix permissions as stored; 0 from an archive made on Windows
  std::string sha256;   // of a file's content; empty for a folder
};

/// A release tree by relative name, "/" between parts.
using TReleaseInventory = std::map<std::string, TReleaseEntry>;

/// How the new release differs from its base.
struct TReleaseDelta {
  /// Names the delta archive carries: files added or changed (content or mode), and
  /// folders that are new or changed. Their parent folders go along in the archive.
  std::vector<std::string> brought;
  /// Base files the new release no longer has, except those inside removed folders.
  std::vector<std::string> removed_files;
  /// Base folders the new release no longer has, the outermost ones only.
  std::vector<std::string> removed_folders;
  /// Every base file the delta replaces or deletes, with its SHA-256 in the base:
  /// what an installation must still hold for the delta to apply.
  std::vector<std::pair<std::string, std::string>> base_files;
};

TReleaseDelta CompareReleases(const TReleaseInventory& base, const TReleaseInventory& release);

}  // namespace kestrova
