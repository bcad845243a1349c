#include "zip/staged_files.h"

#include "base/files.h"
#include "base/paths.h"

namespace kestrova {

StagedFiles::~StagedFiles() { Discard(); }

void StagedFiles::Add(std::unique_ptr<TemporaryFile> file, const std::string& target) {
  if (const auto found = index_.find(target); found != index_.end()) {
    files_[found->second].file = std::move(file);
    return;
  }
  index_.emplace(target, files_.size());
  files_.push_back({target, std::move(file)});
}

std::vector<std::pair<std::string, std::string>> StagedFiles::Entries() const {
  std::vector<std::pair<std::string, std::string>> entries;
  entries.reserve(files_.size());
  for (const Staged& staged : files_) entries.emplace_back(staged.file->path(), staged.target);
  return entries;
}

void StagedFiles::Release() {
  for (Staged& staged : files_) staged.file->Release();
  files_.clear();
  index_.clear();
  created_folders_.clear();
}

void StagedFiles::NoteCreatedFolder(const std::string& folder) { created_folders_.push_back(folder); }

// The old file is moved aside first rather than overwritten, so that it can come back
// if a later target fails.
bool StagedFiles::Replace(Staged& staged, std::vector<Replaced>& replaced) {
  std::unique_ptr<TemporaryFile> old_file;
  if (QueryFile(staged.target)) {
    old_file = std::make_unique<TemporaryFile>(FolderOf(staged.target), FileNameOf(staged.target));
    old_file->file().Close();
    if (old_file->path().empty() || !RenameReplacing(staged.target, old_file->path())) return false;
  }
  if (!RenameReplacing(staged.file->path(), staged.target)) {
    if (old_file) {
      // An old file that cannot go back keeps its temporary name rather than vanish.
      RenameReplacing(old_file->path(), staged.target);
      old_file->Release();
    }
    return false;
  }
  staged.file->Release();
  replaced.push_back({staged.target, std::move(old_file)});
  return true;
}

void StagedFiles::PutBack(std::vector<Replaced>& replaced) {
  for (auto it = replaced.rbegin(); it != replaced.rend(); ++it) {
    if (!it->old_file) {
      RemoveFile(it->target);
      continue;
    }
    RenameReplacing(it->old_file->path(), it->target);
    it->old_file->Release();
  }
}

std::optional<std::string> StagedFiles::Commit() {
  std::vector<Replaced> replaced;
  replaced.reserve(files_.size());
  std::optional<std::string> failed;
  for (auto& staged : files_) {
    if (!Replace(staged, replaced)) {
      failed = staged.target;
      PutBack(replaced);
      break;
    }
  }
  if (!failed) created_folders_.clear();
  // Without a failure the old files go with `replaced`; with one, the rest of the
  // staged files and the new folders go here.
  Discard();
  return failed;
}

void StagedFiles::Discard() {
  files_.clear();
  index_.clear();
  // Deepest first; a folder that meanwhile holds something stays.
  for (auto it = created_folders_.rbegin(); it != created_folders_.rend(); ++it) RemoveEmptyFolder(*it);
  created_folders_.clear();
}

}  // namespace kestrova
