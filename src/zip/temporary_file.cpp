#include "zip/temporary_file.h"

#include <cctype>
#include <mutex>
#include <set>
#include <vector>

#include "base/files.h"
#include "base/paths.h"

namespace kestrova {
namespace {

// Part of the name is enough to recognise a leftover, and keeps long names in limits.
constexpr size_t kTargetNamePart = 64;
constexpr std::string_view kMarker = ".kestrova-";
constexpr std::string_view kSuffix = ".tmp";
constexpr size_t kUniquePart = 8;  // what NativeFile::CreateUnique puts before ".tmp"

std::string StemFor(const std::string& target_name) {
  return "." + target_name.substr(0, kTargetNamePart) + std::string(kMarker);
}

// Temporary files of this process: a walk started from an event handler must not take
// the file of the walk around it for a leftover.
std::mutex& LiveLock() {
  static std::mutex lock;
  return lock;
}
std::set<std::string>& LivePaths() {
  static std::set<std::string> paths;
  return paths;
}

bool IsUniquePart(std::string_view text) {
  if (text.size() != kUniquePart) return false;
  for (const char c : text) {
    if (!std::islower(static_cast<unsigned char>(c)) && !std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

// ".<target>.kestrova-<8 letters or digits>.tmp", the target given by `stem` when set.
bool IsLeftoverName(std::string_view name, const std::string& stem) {
  const size_t tail = kMarker.size() + kUniquePart + kSuffix.size();
  if (name.size() <= tail || name[0] != '.' || !name.ends_with(kSuffix)) return false;
  if (!stem.empty() && (name.size() != stem.size() + kUniquePart + kSuffix.size() || !name.starts_with(stem))) {
    return false;
  }
  return name.substr(name.size() - tail, kMarker.size()) == kMarker &&
         IsUniquePart(name.substr(name.size() - kSuffix.size() - kUniquePart, kUniquePart));
}

}  // namespace

TemporaryFile::TemporaryFile(const std::string& folder, const std::string& target_name) {
  file_ = NativeFile::CreateUnique(WithTrailingSeparator(folder), StemFor(target_name), path_);
  if (!file_.IsOpen()) {
    path_.clear();
    return;
  }
  NoteLive();
}

std::unique_ptr<TemporaryFile> TemporaryFile::Link(NativeFile&& unnamed, const std::string& folder,
                                                   const std::string& target_name) {
  std::unique_ptr<TemporaryFile> temporary(new TemporaryFile);
  if (!unnamed.LinkUnique(WithTrailingSeparator(folder), StemFor(target_name), temporary->path_)) {
    return nullptr;
  }
  temporary->file_ = std::move(unnamed);
  temporary->NoteLive();
  return temporary;
}

void TemporaryFile::NoteLive() {
  std::lock_guard<std::mutex> lock(LiveLock());
  LivePaths().insert(path_);
}

TemporaryFile::~TemporaryFile() {
  file_.Close();
  if (path_.empty()) return;
  RemoveFile(path_);
  Release();
}

void TemporaryFile::Release() {
  std::lock_guard<std::mutex> lock(LiveLock());
  LivePaths().erase(path_);
  path_.clear();
}

void RemoveLeftovers(const std::string& folder, const std::string& target_name) {
  const std::string stem = target_name.empty() ? std::string() : StemFor(target_name);
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder.empty() ? CurrentFolder() : folder, entries)) return;
  std::lock_guard<std::mutex> lock(LiveLock());
  for (const auto& entry : entries) {
    if (entry.status.is_dir || !IsLeftoverName(entry.name, stem)) continue;
    const std::string path = JoinPath(folder, entry.name);
    if (!LivePaths().contains(path)) RemoveFile(path);
  }
}

}  // namespace kestrova
