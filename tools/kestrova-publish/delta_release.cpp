#include "delta_release.h"

#include <algorithm>
#include <optional>
#include <set>
#include <stdexcept>

#include "base/files.h"
#include "base/paths.h"
#include "base/text.h"
#include "delta_compare.h"
#include "release/delta_base.h"
#include "release/release_signature.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

constexpr char kWorkFolder[] = ".kestrova-publish-delta";  // never served, gone when done
constexpr uint32_t kPermissionBits = 07777;

// Removes its folder tree on the way out, whatever happened inside.
class WorkFolder {
 public:
  explicit WorkFolder(std::string path) : path_(std::move(path)) {
    RemoveFolderTree(path_);
    CreateFolder(path_);
  }
  ~WorkFolder() { RemoveFolderTree(path_); }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  std::string Sub(const std::string& name) const { return JoinPath(path_, name); }

 private:
  std::string path_;
};

std::string ArchivePath(const std::string& app_folder, const std::string& file) {
  return JoinPath(JoinPath(app_folder, kFilesFolder), file);
}

std::string EntryPath(const std::string& folder, const std::string& name) {
  return JoinToFolder(WithTrailingSeparator(folder), name);
}

// Unpacks `archive` into `folder` and lists what it holds, as an installation from
// it would: names, folders, modes and content hashes.
std::optional<TReleaseInventory> UnpackInventory(const std::string& archive, const std::string& folder,
                                                 std::string& error) {
  TReleaseInventory inventory;
  try {
    if (!CreateFolder(folder)) throw std::runtime_error("cannot create " + folder);
    ZipArchiver archiver;
    archiver.FileName = Utf8ToUtf16(archive);
    archiver.BaseDir = Utf8ToUtf16(WithTrailingSeparator(folder));
    archiver.FileMasks.push_back(u"*.*");
    archiver.Open(fmOpenReadDenyNone);
    archiver.ExtractMatching();
    for (const DirectoryItem& item : archiver.Items()) {
      std::string name = Utf16ToUtf8(item.name);
      while (!name.empty() && name.back() == '/') name.pop_back();
      TReleaseEntry entry{item.IsFolder(), item.UnixMode() & kPermissionBits, {}};
      if (!entry.folder) {
        const auto hash = FileSha256Hex(EntryPath(folder, name));
        if (!hash) throw std::runtime_error("cannot read back " + name);
        entry.sha256 = *hash;
      }
      inventory[name] = entry;
    }
    archiver.Close();
  } catch (const std::exception& failure) {
    error = "cannot read the release archive " + archive + ": " + failure.what();
    return std::nullopt;
  }
  return inventory;
}

// Leaves in the unpacked release only what the delta brings and the folders on the
// way to it, so that the archive made from it carries them as the full one does.
void KeepOnlyBrought(const std::string& folder, const TReleaseInventory& release, const TReleaseDelta& delta) {
  std::set<std::string> kept;
  for (std::string name : delta.brought) {
    while (kept.insert(name).second) {
      const size_t slash = name.rfind('/');
      if (slash == std::string::npos) break;
      name.resize(slash);
    }
  }
  for (const auto& [name, entry] : release) {
    if (kept.contains(name)) continue;
    const std::string path = EntryPath(folder, name);
    entry.folder ? RemoveFolderTree(path) : RemoveFile(path);
  }
}

void AppendUnique(std::vector<std::string>& list, const std::vector<std::string>& more) {
  for (const std::string& item : more) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
  }
}

std::string DeltaListText(const TDeltaRequest& request, const std::string& base, const TReleaseDelta& delta,
                          const TPublishedArchive& archive) {
  TReleaseRecipe recipe = *request.recipe;
  AppendUnique(recipe.delete_files, delta.removed_files);
  AppendUnique(recipe.delete_folders, delta.removed_folders);
  std::string base_section;
  if (!delta.base_files.empty()) {
    base_section = std::string("[") + kDeltaBaseSection + "]\n";
    for (size_t i = 0; i < delta.base_files.size(); ++i) {
      const std::string n = std::to_string(i + 1);
      base_section += "file" + n + "=" + delta.base_files[i].first + "\nsha256_" + n + "=" +
                      delta.base_files[i].second + "\n";
    }
  }
  return ActionListText(request.name, recipe, archive,
                        "base_version=" + base + "\ndelta_format=" + kWholeFileDeltaFormat + "\n", base_section);
}

// One delta: its archive in files/ and its list in `lists`, or a note why none.
std::string BuildDelta(const TDeltaRequest& request, const std::string& base, const TReleaseInventory& release,
                       const WorkFolder& work,
                       std::vector<std::pair<std::string, std::string>>& lists, std::vector<std::string>& notes) {
  const std::string base_archive = ArchivePath(request.app_folder, request.name + "-" + base + ".zip");
  if (!FileExists(base_archive)) return "--previous " + base + ": no published archive " + base_archive;
  std::string error;
  const auto base_inventory = UnpackInventory(base_archive, work.Sub("base-" + base), error);
  if (!base_inventory) return error;
  const TReleaseDelta delta = CompareReleases(*base_inventory, release);
  const bool brings_a_file = std::any_of(delta.brought.begin(), delta.brought.end(),
                                         [&](const std::string& name) { return !release.at(name).folder; });
  if (!brings_a_file) {
    notes.push_back("no delta from " + base + ": no file changed, updaters there get the full release");
    return {};
  }
  // The tree is unpacked again per base: each delta keeps another part of it.
  const std::string staged = work.Sub("delta-" + base);
  if (!UnpackInventory(request.full.file_path, staged, error)) return error;
  KeepOnlyBrought(staged, release, delta);
  TPublishedArchive archive;
  archive.file = request.name + "-" + request.recipe->version + "-from-" + base + ".zip";
  if (const std::string error = PackRelease(staged, ArchivePath(request.app_folder, archive.file), archive);
      !error.empty()) {
    return error;
  }
  const uint64_t limit = request.full.size * static_cast<uint64_t>(100 - request.margin_percent) / 100;
  if (archive.size > limit) {
    RemoveFile(archive.file_path);
    notes.push_back("no delta from " + base + ": " + std::to_string(archive.size) + " bytes against the full " +
                    std::to_string(request.full.size) + ", not " + std::to_string(request.margin_percent) +
                    "% smaller");
    return {};
  }
  lists.emplace_back(DeltaListName(base), DeltaListText(request, base, delta, archive));
  notes.push_back("delta from " + base + ": " + JoinPath(kFilesFolder, archive.file) + ", " +
                  std::to_string(archive.size) + " bytes against the full " + std::to_string(request.full.size));
  return {};
}

}  // namespace

std::string DeltaListName(const std::string& base) {
  return std::string(kDeltasFolder) + "/" + base + "/" + kActionListFileName;
}

std::string BuildDeltaReleases(const TDeltaRequest& request, std::vector<std::pair<std::string, std::string>>& lists,
                               std::vector<std::string>& notes) {
  if (request.previous.empty()) return {};
  const WorkFolder work(JoinPath(request.app_folder, kWorkFolder));
  std::string error;
  const auto release = UnpackInventory(request.full.file_path, work.Sub("release"), error);
  if (!release) return error;
  for (const std::string& base : request.previous) {
    if (base == request.recipe->version) return "--previous " + base + " is the version being published";
    const std::string error = BuildDelta(request, base, *release, work, lists, notes);
    if (!error.empty()) return error;
  }
  for (const auto& [name, text] : lists) {
    if (!CreateFolder(JoinPath(request.app_folder, kDeltasFolder)) ||
        !CreateFolder(FolderOf(JoinToFolder(WithTrailingSeparator(request.app_folder), name)))) {
      return "cannot create the folder of " + JoinPath(request.app_folder, name);
    }
  }
  return {};
}

void RemoveOtherDeltaLists(const std::string& app_folder, const std::vector<std::pair<std::string, std::string>>& kept) {
  const std::string deltas = JoinPath(app_folder, kDeltasFolder);
  std::vector<FolderEntry> bases;
  ListFolder(deltas, bases);
  for (const FolderEntry& base : bases) {
    const std::string name = DeltaListName(base.name);
    const bool keep = std::any_of(kept.begin(), kept.end(), [&](const auto& list) { return list.first == name; });
    if (keep) continue;
    RemoveFile(JoinPath(JoinPath(deltas, base.name), kActionListFileName));
    RemoveEmptyFolder(JoinPath(deltas, base.name));
  }
}

}  // namespace kestrova
