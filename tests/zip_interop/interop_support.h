// What the interoperability tests share: a tree shaped like an installed application,
// a snapshot of a folder tree and the comparison of two snapshots, and the peers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "zip/zip_test_support.h"

namespace kestrova::testing {

struct TreeEntry {
  char type = 'f';  // 'f' file, 'd' folder, 'l' symbolic link
  std::string content;  // file bytes, or the link's target
  bool executable = false;
  int64_t mtime = 0;
};

inline TreeEntry Folder() {
  TreeEntry entry;
  entry.type = 'd';
  return entry;
}
inline TreeEntry File(std::string content) {
  TreeEntry entry;
  entry.content = std::move(content);
  return entry;
}

/// Every file, folder and link below a root, by relative path with "/" separators.
using Tree = std::map<std::string, TreeEntry>;

Tree Snapshot(const fs::path& root);

/// Which properties beyond names and contents must agree.
enum TreeCheck : unsigned { kNamesAndContent = 0, kExecutableBit = 1, kFileTimes = 2 };

/// Empty when `actual` matches `expected`; else a readable list of the differences.
std::string DiffTrees(const Tree& expected, const Tree& actual, unsigned checks);

/// Writes a tree shaped like an installed application below `root`: nested folders,
/// empty files and folders, executables, non-ASCII names, a 5 MB compressible file
/// and a 1 MB random one.
void WriteApplicationTree(const fs::path& root);

/// The built kestrova-zip.
std::string KestrovaZip();

/// Fails the calling test when a peer tool is missing from PATH.
bool HavePeer(const std::string& program);

}  // namespace kestrova::testing
