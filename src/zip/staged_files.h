// Extracted files that wait beside their targets until a whole install can go in.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "zip/temporary_file.h"

namespace kestrova {

/// Files written beside the targets they will replace, and the folders made for them,
/// kept until every one of them exists. Commit puts them all in place or none;
/// Discard, or the object going, removes them and leaves the targets as they were.
class StagedFiles {
 public:
  StagedFiles() = default;
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  /// `file` (complete and closed) is to replace `target`; a file staged earlier for
  /// the same target is dropped, as a later archive overrides an earlier one.
  void Add(std::unique_ptr<TemporaryFile> file, const std::string& target);
  /// A folder that did not exist before the staging made it.
  void NoteCreatedFolder(const std::string& folder);
  size_t Count() const { return files_.size(); }
  /// Each staged file's path with the target it replaces, in the order they came.
  std::vector<std::pair<std::string, std::string>> Entries() const;
  /// The folders the staging made, each after the one that holds it.
  const std::vector<std::string>& CreatedFolders() const { return created_folders_; }
  /// The caller puts the files in place itself: nothing staged is removed any more.
  void Release();

  /// Moves every file over its target. When one cannot be moved, the targets already
  /// replaced get their old files back and that target is returned; nothing stays
  /// staged either way.
  std::optional<std::string> Commit();
  void Discard();

 private:
  struct Staged {
    std::string target;
    std::unique_ptr<TemporaryFile> file;
  };
  /// What a replaced target held before, to put back when a later one fails.
  struct Replaced {
    std::string target;
    std::unique_ptr<TemporaryFile> old_file;  // none: the target did not exist
  };
  static bool Replace(Staged& staged, std::vector<Replaced>& replaced);
  static void PutBack(std::vector<Replaced>& replaced);

  std::vector<Staged> files_;
  std::unordered_map<std::string, size_t> index_;  // target -> place in files_
  std::vector<std::string> created_folders_;
};

}  // namespace kestrova
