#include "release/delta_base.h"

#include <optional>

#include "base/files.h"
#include "base/text.h"
#include "release/release_signature.h"

namespace kestrova {

bool IsDeltaActionList(const TActionList& list) { return !list.base_version.empty(); }

std::string DeltaBaseFault(const TActionList& list, const std::string& app_directory,
                           const std::string& installed_version) {
  if (!IsDeltaActionList(list)) return {};
  const std::string& base = list.base_version;
  if (base != installed_version) {
    return "The delta is made for version " + base + ", not the installed " + installed_version + ".";
  }
  if (!list.delta_format.empty() && list.delta_format != kWholeFileDeltaFormat) {
    return "The delta has the format " + list.delta_format + ", which this updater cannot apply.";
  }
  for (size_t i = 0; i < list.BaseFiles.size(); ++i) {
    const std::string& file = list.BaseFiles[i];
    const std::string expected = i < list.BaseHashes.size() ? list.BaseHashes[i] : std::string();
    if (expected.empty()) return "The delta gives no SHA-256 for the base file " + file + ".";
    // Hashing reads the file whole: only the few files the delta touches are read.
    const std::optional<std::string> actual = FileSha256Hex(JoinToFolder(app_directory, file));
    if (!actual) return "The installed file " + file + " of version " + base + " is missing or unreadable.";
    if (!EqualsIgnoreCase(*actual, expected)) {
      return "The installed file " + file + " is not the one of version " + base + " (changed since it was installed).";
    }
  }
  return {};
}

}  // namespace kestrova
