#include "upgrade/shortcuts.h"

#include "base/files.h"
#include "base/paths.h"
#include "base/text.h"
#include "zip/wildcard.h"

namespace kestrova {
namespace {

// The file name part of a configured program path, whichever separator it was
// written with.
std::string ProgramFileName(const std::string& main_program) {
  const size_t cut = main_program.find_last_of("\\/:");
  return cut == std::string::npos ? main_program : main_program.substr(cut + 1);
}

}  // namespace

void FindFilesRecursive(const std::string& directory, const std::string& mask,
                        std::vector<std::string>& list) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(directory, entries)) return;
  const std::u16string wide_mask = Utf8ToUtf16(mask);
  for (const FolderEntry& entry : entries) {
    if (!entry.status.is_dir && MatchesMask(Utf8ToUtf16(entry.name), wide_mask)) {
      list.push_back(JoinPath(directory, entry.name));
    }
  }
  for (const FolderEntry& entry : entries) {
    // A link to a folder could lead back up the tree (a link to "/" in a home folder).
    if (!entry.status.is_dir || entry.status.is_link || IsHiddenEntry(entry)) continue;
    FindFilesRecursive(JoinPath(directory, entry.name), mask, list);
  }
}

int32_t RetargetShortcuts(const std::string& main_program, const std::string& updater_path,
                          const ShortcutChangeHook& before_change) {
  const ShortcutPlaces places = PlatformShortcutPlaces();
  std::vector<std::string> shortcuts;
  FindFilesRecursive(places.root, places.mask, shortcuts);
  std::vector<FolderEntry> profiles;
  if (ListFolder(places.root, profiles)) {
    for (const FolderEntry& profile : profiles) {
      if (!profile.status.is_dir || profile.status.is_link || IsHiddenEntry(profile)) continue;
      for (const std::string& hidden : places.hidden_launcher_folders) {
        const std::string profile_folder = WithTrailingSeparator(JoinPath(places.root, profile.name));
        FindFilesRecursive(JoinToFolder(profile_folder, hidden), places.mask, shortcuts);
      }
    }
  }
  const std::string program = ProgramFileName(main_program);
  int32_t count = 0;
  for (const std::string& shortcut : shortcuts) {
    if (RetargetShortcut(shortcut, program, updater_path, before_change)) ++count;
  }
  return count;
}

}  // namespace kestrova
