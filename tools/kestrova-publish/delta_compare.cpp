#include "delta_compare.h"

namespace kestrova {
namespace {

std::string ParentOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

// True when `name` lies below a folder of the base that the release drops.
bool InsideRemovedFolder(const std::string& name, const TReleaseInventory& base, const TReleaseInventory& release) {
  for (std::string parent = ParentOf(name); !parent.empty(); parent = ParentOf(parent)) {
    const auto kept = release.find(parent);
    if (base.contains(parent) && (kept == release.end() || !kept->second.folder)) return true;
  }
  return false;
}

bool SameEntry(const TReleaseEntry& a, const TReleaseEntry& b) {
  return a.folder == b.folder && a.mode == b.mode && a.sha256 == b.sha256;
}

}  // namespace

TReleaseDelta CompareReleases(const TReleaseInventory& base, const TReleaseInventory& release) {
  TReleaseDelta delta;
  for (const auto& [name, entry] : release) {
    const auto old = base.find(name);
    if (old != base.end() && SameEntry(old->second, entry)) continue;
    delta.brought.push_back(name);
    if (old != base.end() && !old->second.folder) delta.base_files.emplace_back(name, old->second.sha256);
  }
  for (const auto& [name, entry] : base) {
    const auto now = release.find(name);
    if (now != release.end() && now->second.folder == entry.folder) continue;
    const bool inside = InsideRemovedFolder(name, base, release);
    if (!entry.folder) {
      // A file that became a folder is already among the base files replaced.
      if (now == release.end()) delta.base_files.emplace_back(name, entry.sha256);
      if (!inside) delta.removed_files.push_back(name);
    } else if (!inside) {
      delta.removed_folders.push_back(name);
    }
  }
  return delta;
}

}  // namespace kestrova
