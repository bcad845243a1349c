// The folder walk that decides which files and folders a mask selects.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/files.h"

namespace kestrova {

/// A file or folder the walk selected.
struct FoundFile {
  std::string native_path;  // exactly as the file system names it
  std::u16string path;      // wide, "/" separators
  FileStatus status;
};

/// Selects files by a resolved mask: the files of the mask's folder that match its
/// name part, then per subfolder either the folder with all its content (when the
/// folder itself matches) or, with recursion, the same name part inside it.
class FileSelector {
 public:
  /// Decides whether a found path is kept (exclusion masks, confirmation).
  using Keep = std::function<bool(const std::u16string& path, bool is_folder)>;

  FileSelector(bool recurse, uint32_t search_attr, Keep keep)
      : recurse_(recurse), search_attr_(search_attr), keep_(std::move(keep)) {}

  /// `mask_has_folder_part`: the mask as given named a folder, so its subfolders are
  /// searched only when its name part holds a wildcard.
  std::vector<FoundFile> Select(const std::u16string& resolved_mask, bool mask_has_folder_part);

 private:
  struct Folder {
    std::string native;    // ends in the native separator
    std::u16string wide;   // ends in "/"
  };
  void Search(const Folder& folder, const std::u16string& pattern, const std::u16string& resolved,
              bool has_folder_part, std::vector<FoundFile>& found);
  void AddWholeFolder(const Folder& folder, std::vector<FoundFile>& found);
  bool AcceptsAttributes(uint32_t attributes, uint32_t filter) const;

  bool recurse_;
  uint32_t search_attr_;
  Keep keep_;
};

}  // namespace kestrova
