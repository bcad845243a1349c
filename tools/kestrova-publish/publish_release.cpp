#include "publish_release.h"

#include "base/files.h"
#include "base/ini.h"
#include "base/paths.h"
#include "base/text.h"
#include "core/configuration.h"
#include "delta_release.h"
#include "markdown_rtf.h"
#include "recipe.h"
#include "release/action_list.h"
#include "release/release_manifest.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

struct PublishedRelease {
  TReleaseRecipe recipe;
  std::string description;  // as published: Markdown already turned into RTF
  bool description_is_rtf = false;
  std::string app_folder;   // <folder>/<name>/
  TPublishedArchive archive;
};

bool IsRtfName(const std::string& path) {
  return path.size() >= 4 && EqualsIgnoreCase(std::string_view(path).substr(path.size() - 4), ".rtf");
}

std::string LoadRecipe(const TPublishRequest& request, PublishedRelease& release) {
  const auto text = ReadWholeFile(request.recipe_path);
  if (!text) return "cannot read the recipe " + request.recipe_path;
  std::string error;
  auto recipe = ParseRecipe(*text, error);
  if (!recipe) return request.recipe_path + ": " + error;
  release.recipe = std::move(*recipe);
  const std::string description_path = IsFullPath(release.recipe.description)
                                           ? release.recipe.description
                                           : JoinToFolder(FolderOf(request.recipe_path), release.recipe.description);
  const auto description = ReadWholeFile(description_path);
  if (!description) return "cannot read the description " + description_path;
  release.description = *description;
  release.description_is_rtf = IsRtfName(release.recipe.description);
  if (IsMarkdownName(release.recipe.description)) {
    std::string error;
    auto rtf = MarkdownToRtf(*description, error);
    if (!rtf) return description_path + ": " + error;
    release.description = std::move(*rtf);
    release.description_is_rtf = true;
  }
  if (release.recipe.filedir.empty()) release.recipe.filedir = "/files/" + request.name;
  return {};
}

// Updaters compare versions as text: a release that does not sort after the one on
// offer is never seen.
std::string CheckVersionRaised(const TPublishRequest& request, const PublishedRelease& release,
                               std::vector<std::string>& notes) {
  const std::string ini = JoinPath(release.app_folder, kReleaseIni);
  if (!FileExists(ini)) return {};
  const std::string current = IniFile(ini).ReadString("release", "version", "");
  if (current.empty() || IsNewerRelease(release.recipe.version, current)) return {};
  const std::string problem = "version \"" + release.recipe.version + "\" does not count as newer than \"" + current +
                              "\": updaters compare versions as text, byte by byte";
  if (!request.force) return problem + " (--force publishes it anyway)";
  notes.push_back(problem);
  return {};
}

std::string BuildArchive(const TPublishRequest& request, PublishedRelease& release) {
  const std::string files = JoinPath(release.app_folder, kFilesFolder);
  if (!CreateFolder(files)) return "cannot create " + files;
  release.archive.file = request.name + "-" + release.recipe.version + ".zip";
  if (!NamesPlaceInside(release.archive.file) || release.archive.file.find_first_of("/\\") != std::string::npos) {
    return "the version makes no usable file name: " + release.archive.file;
  }
  return PackRelease(request.source, JoinPath(files, release.archive.file), release.archive);
}

bool IsIniName(const std::string& name) {
  return name.size() >= 4 &&
         EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".ini");
}

// Every file under `source`/`relative`, as paths relative to `source`.
void ListTree(const std::string& source, const std::string& relative,
              std::vector<std::string>& files) {
  std::vector<FolderEntry> entries;
  ListFolder(relative.empty() ? source : JoinPath(source, relative), entries);
  for (const FolderEntry& entry : entries) {
    const std::string path = relative.empty() ? entry.name : JoinPath(relative, entry.name);
    if (entry.status.is_dir) {
      ListTree(source, path, files);
    } else {
      files.push_back(path);
    }
  }
}

// An upgrade installs every file of the release over the user's copy: an updater's
// INI or the application's own configuration file (the one an updater's INI names in
// filename_config) would replace each user's settings and e-mail address with the
// publisher's.
std::string CheckNoConfiguration(const TPublishRequest& request) {
  if (request.overwrite_configuration) return {};
  std::vector<std::string> files;
  ListTree(request.source, "", files);
  std::vector<std::string> found;
  for (const std::string& file : files) {
    if (!IsIniName(file)) continue;
    found.push_back(file);
    const IniFile ini(JoinPath(request.source, file));
    const std::string config = ini.ReadString("application", "filename_config", "");
    if (config.empty() || IsIniName(config)) continue;  // an INI is named already
    const std::string folder = WithTrailingSeparator(JoinPath(request.source, FolderOf(file)));
    if (FileExists(JoinToFolder(folder, config))) {
      found.push_back(config + " (filename_config of " + file + ")");
    }
  }
  if (found.empty()) return {};
  std::string list;
  for (const std::string& file : found) list += (list.empty() ? "" : ", ") + file;
  return request.source +
         " holds configuration files that the upgrade would write over every user's settings"
         " and e-mail address: " + list + " (--overwrite-configuration publishes them anyway)";
}

void AppendNumbered(std::string& text, const char* section, const char* key, const std::vector<std::string>& values) {
  if (values.empty()) return;
  text += std::string("[") + section + "]\n";
  for (size_t i = 0; i < values.size(); ++i) text += key + std::to_string(i + 1) + "=" + values[i] + "\n";
}

// Signs each action list among `files` when there are keys.
std::string SignActionLists(const TPublishRequest& request, std::vector<std::pair<std::string, std::string>>& files) {
  if (!request.keys) return {};
  for (auto& [name, content] : files) {
    auto signed_list = SignActionList(content, *request.keys);
    if (!signed_list) return "cannot sign the action list " + name;
    content = std::move(*signed_list);
  }
  return {};
}

std::string WriteInOrder(const std::string& app_folder, const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, content] : files) {
    if (!ReplaceFileSafely(JoinPath(app_folder, name), content)) {
      return "cannot write " + JoinPath(app_folder, name) + "; the files before it are in place, the version is unchanged";
    }
  }
  return {};
}

}  // namespace

std::string PackRelease(const std::string& source, const std::string& target, TPublishedArchive& archive) {
  const std::string partial = target + ".partial";
  RemoveFile(partial);  // a leftover of an interrupted run
  try {
    ZipArchiver archiver;
    archiver.FileName = Utf8ToUtf16(partial);
    archiver.BaseDir = Utf8ToUtf16(WithTrailingSeparator(source));
    archiver.Open(fmCreate);
    archiver.AddMatching(u"*.*");
    archiver.Close();
  } catch (const std::exception& failure) {
    RemoveFile(partial);
    return std::string("cannot build the release archive: ") + failure.what();
  }
  const auto hash = FileSha256Hex(partial);
  const auto status = QueryFile(partial);
  if (!hash || !status) return "cannot read back " + partial;
  archive.sha256 = *hash;
  archive.size = status->size;
  archive.file_path = target;
  if (!RenameReplacing(partial, target)) return "cannot rename " + partial;
  return {};
}

std::string ActionListText(const std::string& name, const TReleaseRecipe& r, const TPublishedArchive& archive,
                           const std::string& release_keys, const std::string& sections) {
  std::string text = "[release]\nname=" + name + "\nversion=" + r.version + "\n" + release_keys;
  for (size_t i = 0; i < r.download_servers.size(); ++i) {
    text += "download_server_adr" + std::to_string(i + 1) + "=" + r.download_servers[i] + "\n";
  }
  text += "filedir=" + r.filedir + "\nfilename1=" + archive.file + "\nsha256_1=" + archive.sha256 +
          "\nsize_1=" + std::to_string(archive.size) + "\n";
  text += "Upgrade_Kestrova=" + std::string(r.upgrade_kestrova ? "1" : "0") + "\n";
  text += "check_shortcuts=" + std::string(r.check_shortcuts ? "1" : "0") + "\n";
  text += sections;
  AppendNumbered(text, "save_action", "path", r.save);
  AppendNumbered(text, "files_to_delete", "file", r.delete_files);
  AppendNumbered(text, "folders_to_delete", "dir", r.delete_folders);
  return text;
}

std::string PublishRelease(const TPublishRequest& request, std::vector<std::string>& notes) {
  PublishedRelease release;
  release.app_folder = JoinPath(request.folder, request.name);
  if (const std::string error = LoadRecipe(request, release); !error.empty()) return error;
  if (!QueryFile(request.source) || !QueryFile(request.source)->is_dir) return "no folder " + request.source;
  // An empty archive would install nothing and still count as the new version.
  std::vector<FolderEntry> entries;
  if (!ListFolder(request.source, entries) || entries.empty()) {
    return "nothing to publish in " + request.source;
  }
  if (const std::string error = CheckNoConfiguration(request); !error.empty()) return error;
  if (!CreateFolder(request.folder) || !CreateFolder(release.app_folder)) return "cannot create " + release.app_folder;
  if (const std::string error = CheckVersionRaised(request, release, notes); !error.empty()) return error;
  if (const std::string error = BuildArchive(request, release); !error.empty()) return error;
  std::vector<std::pair<std::string, std::string>> lists{{kActionListFileName,
                                                          ActionListText(request.name, release.recipe, release.archive)}};
  const TDeltaRequest deltas{release.app_folder, request.name, &release.recipe, release.archive, request.previous,
                             request.delta_margin};
  if (const std::string error = BuildDeltaReleases(deltas, lists, notes); !error.empty()) return error;
  if (const std::string error = SignActionLists(request, lists); !error.empty()) return error;
  RemoveOtherDeltaLists(release.app_folder, lists);
  std::vector<std::pair<std::string, std::string>> files;
  if (request.keys) {
    files.emplace_back(kPublishedKey, EncodeBase64(request.keys->public_key) + "\n");
  } else {
    // A key left from a signed release would not match the unsigned list, nor would
    // its manifest vouch for this release.
    RemoveFile(JoinPath(release.app_folder, kPublishedKey));
    RemoveFile(JoinPath(release.app_folder, kManifestFileName));
    notes.push_back("the release is not signed: updaters holding a release_public_key will refuse it");
  }
  const bool rtf = release.description_is_rtf;
  const std::string reply = release.recipe.version + ";" + release.recipe.date;
  files.emplace_back(rtf ? "description.rtf" : "description.txt", release.description);
  // The delta lists first: the full list is the one updaters of any other version get.
  files.insert(files.end(), lists.rbegin(), lists.rend());
  files.insert(files.end(), {{kVersionReply, reply},
                             {kReleaseIni, "[release]\nversion=" + release.recipe.version +
                                               "\ndate=" + release.recipe.date + "\n"}});
  const std::string error = WriteInOrder(release.app_folder, files);
  if (!error.empty()) return error;
  // The server prefers the RTF description: an old one must not hide a new text.
  if (!rtf) RemoveFile(JoinPath(release.app_folder, "description.rtf"));
  notes.push_back("published " + request.name + " " + release.recipe.version + ": " +
                  JoinPath(kFilesFolder, release.archive.file));
  return {};
}

}  // namespace kestrova
