#include "upgrade/install_plan.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/files.h"
#include "base/paths.h"
#include "base/text.h"
#include "zip/entry_names.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

enum class TKind { kFile, kFolder };

// Folder paths are kept without their final separator, so that one name has one key.
std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && IsNativeSeparator(path.back())) path.pop_back();
  return path;
}

class PlanBuilder {
 public:
  PlanBuilder(const TInstallRequest& request, TInstallPlan& plan) : request_(request), plan_(plan) {
    for (const std::string& path : request.removed) removed_.push_back(WithoutTrailingSeparator(path));
  }

  std::optional<std::string> AddArchive(const std::string& archive) {
    ZipArchiver reader;
    reader.FileName = Utf8ToUtf16(archive);
    try {
      reader.Open(fmOpenReadDenyNone);
    } catch (const EArchiverError& error) {
      return std::string(error.what());
    }
    const std::string shown = FileNameOf(archive);
    for (const DirectoryItem& item : reader.Items()) {
      if (auto fault = AddEntry(shown, item)) return fault;
    }
    return std::nullopt;
  }

  std::optional<std::string> CheckRoomAndRights() {
    const std::optional<uint64_t> free = FreeDiskSpace(request_.app_directory);
    if (free && plan_.bytes > *free) {
      return "Not enough room to install the release in " + request_.app_directory + ": " +
             std::to_string(plan_.bytes) + " bytes needed, " + std::to_string(*free) + " free";
    }
    std::set<std::string> folders{WithoutTrailingSeparator(request_.app_directory)};
    for (const auto& [path, kind] : kinds_) {
      if (kind == TKind::kFile || !Exists(path)) folders.insert(WithoutTrailingSeparator(FolderOf(path)));
    }
    for (const std::string& path : removed_) folders.insert(WithoutTrailingSeparator(FolderOf(path)));
    for (const std::string& folder : folders) {
      // A folder the install creates is written by the rights of the one above it.
      if (!Exists(folder)) continue;
      if (auto fault = FolderWriteFault(folder)) return "The folder " + folder + " cannot be written: " + *fault;
    }
    return std::nullopt;
  }

 private:
  std::optional<std::string> AddEntry(const std::string& archive, const DirectoryItem& item) {
    const std::string name = Utf16ToUtf8(item.name);
    const std::optional<std::u16string> relative = SafeRelativePath(item.name);
    if (!relative) return "The release archive " + archive + " holds " + name + ", which lies outside the folder";
    if (item.IsSymbolicLink()) {
      return "The release archive " + archive + " holds the link " + name + ", which is not installed";
    }
    std::string path = WithoutTrailingSeparator(request_.app_directory);
    const std::string parts = Utf16ToUtf8(*relative);
    size_t begin = 0;
    while (begin < parts.size()) {
      const size_t end = std::min(parts.find('/', begin), parts.size());
      const std::string part = parts.substr(begin, end - begin);
      if (const std::string refusal = FileNameRefusal(part); !refusal.empty()) {
        return "The release archive " + archive + " holds " + name + ", which cannot be created: " + refusal;
      }
      path = JoinPath(path, part);
      const bool last = end == parts.size();
      const TKind kind = last && !item.IsFolder() ? TKind::kFile : TKind::kFolder;
      if (auto fault = Claim(archive, name, path, kind)) return fault;
      begin = end + 1;
    }
    if (!item.IsFolder() && !parts.empty()) {
      plan_.bytes = item.uncompressed_size > UINT64_MAX - plan_.bytes ? UINT64_MAX : plan_.bytes + item.uncompressed_size;
    }
    return std::nullopt;
  }

  // Every name is a file or a folder, the same in every archive and on the disk.
  std::optional<std::string> Claim(const std::string& archive, const std::string& name, const std::string& path,
                                   TKind kind) {
    const auto [known, added] = kinds_.emplace(path, kind);
    if (!added) {
      if (known->second == kind) return std::nullopt;
      return "The release holds " + path + " both as a file and as a folder (" + archive + ": " + name + ")";
    }
    const std::optional<FileStatus> existing = Exists(path) ? QueryFile(path) : std::nullopt;
    if (existing && existing->is_dir != (kind == TKind::kFolder)) {
      return "The release puts a " + std::string(kind == TKind::kFolder ? "folder" : "file") + " at " + path +
             ", where the installation has a " + (existing->is_dir ? "folder" : "file");
    }
    if (kind == TKind::kFile) {
      plan_.targets.push_back(path);
      const std::string folder = FolderOf(path);
      if (std::find(plan_.target_folders.begin(), plan_.target_folders.end(), folder) == plan_.target_folders.end()) {
        plan_.target_folders.push_back(folder);
      }
    } else if (!existing) {
      plan_.new_folders.push_back(WithTrailingSeparator(path));
    }
    return std::nullopt;
  }

  // Present on disk and not among what the upgrade removes first.
  bool Exists(const std::string& path) const {
    for (const std::string& gone : removed_) {
      if (path == gone || (path.size() > gone.size() && path.starts_with(gone) && IsNativeSeparator(path[gone.size()]))) {
        return false;
      }
    }
    return QueryFile(path).has_value();
  }

  const TInstallRequest& request_;
  TInstallPlan& plan_;
  std::vector<std::string> removed_;
  std::map<std::string, TKind> kinds_;
};

}  // namespace

std::optional<std::string> PlanInstall(const TInstallRequest& request, TInstallPlan& plan) {
  plan = {};
  PlanBuilder builder(request, plan);
  for (const std::string& archive : request.archives) {
    if (auto fault = builder.AddArchive(archive)) return fault;
  }
  return builder.CheckRoomAndRights();
}

}  // namespace kestrova
