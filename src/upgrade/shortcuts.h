// Making the application's shortcuts start the updater, so that every later start
// from a shortcut goes through the release check first.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/files.h"

namespace kestrova {

/// The platform's shortcut files and where users keep them.
struct ShortcutPlaces {
  /// The folder that holds the users' profiles.
  std::string root;
  /// The mask of shortcut files ("*.lnk", "*.desktop").
  std::string mask;
  /// Folders below each profile that are searched although they are hidden (where
  /// the desktop keeps its launchers).
  std::vector<std::string> hidden_launcher_folders;
};

/// The platform's places. The root can be moved by the environment variable
/// KESTROVA_PROFILES_ROOT, which is meant for tests and demonstrations only, so that
/// they never touch real users' files.
ShortcutPlaces PlatformShortcutPlaces();

/// Whether a folder entry is hidden from the user (and so from the search).
bool IsHiddenEntry(const FolderEntry& entry);

/// Appends the full paths of the files matching `mask` under `directory`: a folder's
/// own files first, then its subfolders', depth first. Hidden entries and links to
/// folders are not searched; a folder that cannot be listed adds nothing.
void FindFilesRecursive(const std::string& directory, const std::string& mask,
                        std::vector<std::string>& list);

/// Told of each shortcut just before it is rewritten; returning false leaves it alone.
using ShortcutChangeHook = std::function<bool(const std::string& shortcut_path)>;

/// Rewrites the shortcut at `shortcut_path` to start `updater_path` instead of the
/// program it starts, when that program's file name is `program_file_name` (letters A
/// to Z compared without case). Everything else in the shortcut stays as it was.
/// True when the shortcut was rewritten and saved; a read-only shortcut is not.
bool RetargetShortcut(const std::string& shortcut_path, const std::string& program_file_name,
                      const std::string& updater_path, const ShortcutChangeHook& before_change = {});

/// Retargets every shortcut of every profile that starts `main_program` (by its file
/// name) to the updater at `updater_path`; returns how many were rewritten.
int32_t RetargetShortcuts(const std::string& main_program, const std::string& updater_path,
                          const ShortcutChangeHook& before_change = {});

}  // namespace kestrova
