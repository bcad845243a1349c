#include "upgrade/action_list.h"

#include "base/files.h"
#include "base/ini.h"

namespace kestrova {
namespace {

// Marker no value can hold (values are single trimmed lines): tells an absent key
// from one that is present with an empty value.
constexpr std::string_view kAbsent = "\n";

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The parts of a relative path between separators, empty parts included.
std::vector<std::string_view> PathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t begin = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      parts.push_back(path.substr(begin, i - begin));
      begin = i + 1;
    }
  }
  return parts;
}

bool IsAbsolute(std::string_view path) {
  if (!path.empty() && IsSeparator(path.front())) return true;
  // A drive letter: "C:" reaches another folder whatever follows it.
  return path.size() >= 2 && path[1] == ':';
}

// The values of `base` + 1, `base` + 2, ... up to the first number whose key is
// absent; a key with an empty value still counts.
std::vector<std::string> ReadNumbered(const IniFile& ini, std::string_view section,
                                      const std::string& base) {
  std::vector<std::string> values;
  for (size_t n = 1;; ++n) {
    std::string value = ini.ReadString(section, base + std::to_string(n), kAbsent);
    if (value == kAbsent) break;
    values.push_back(std::move(value));
  }
  return values;
}

bool AllInside(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    if (!NamesPlaceInside(entry)) return false;
  }
  return true;
}

bool AllSubfolders(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    if (!NamesSubfolder(entry)) return false;
  }
  return true;
}

// The list arrives unsigned over plain HTTP by default: entries that would write or
// delete outside the application folder, or delete the folder itself (and the
// updater in it), are refused as a whole, before anything is touched.
bool TouchesOnlyTheApplicationFolder(const TActionList& list) {
  return AllInside(list.ReleaseFiles) && AllInside(list.DeleteFiles) &&
         AllSubfolders(list.DeleteFolders);
}

}  // namespace

bool NamesPlaceInside(std::string_view relative) {
  if (relative.find('\0') != std::string_view::npos || IsAbsolute(relative)) return false;
  for (std::string_view part : PathParts(relative)) {
    if (part == "..") return false;
  }
  return true;
}

bool NamesSubfolder(std::string_view relative) {
  if (!NamesPlaceInside(relative)) return false;
  for (std::string_view part : PathParts(relative)) {
    if (!part.empty() && part != ".") return true;
  }
  return false;
}

std::optional<TActionList> ReadActionList(const std::string& path) {
  if (!ReadWholeFile(path)) return std::nullopt;
  const IniFile ini(path);
  TActionList list;
  list.download_server_adr1 = ini.ReadString("release", "download_server_adr1", "");
  list.download_server_adr2 = ini.ReadString("release", "download_server_adr2", "");
  list.ReleaseFiles = ReadNumbered(ini, "release", "filename");
  list.filedir = ini.ReadString("release", "filedir", "");
  list.ReplaceUpdater = ini.ReadInteger("release", "Upgrade_Kestrova", 0) == 1;
  list.CheckShortcuts = ini.ReadBool("release", "check_shortcuts", false);
  list.SaveList = ReadNumbered(ini, "save_action", "path");
  list.DeleteFiles = ReadNumbered(ini, "files_to_delete", "file");
  list.DeleteFolders = ReadNumbered(ini, "folders_to_delete", "dir");
  if (!TouchesOnlyTheApplicationFolder(list)) return std::nullopt;
  return list;
}

}  // namespace kestrova
