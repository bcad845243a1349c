// The release recipe: the publisher's short description of one release.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

/// What one release offers and does, as the recipe file states it. Format, one
/// instruction per line, blank lines ignored; a "#" at the start of a line or after a
/// blank starts a comment to the end of the line (a "#" inside a value stays):
///
///   version 2.1                      required; letters, digits and ". - _ +"
///   date 2009-05-04                  shown to users as it stands
///   download_server URL              once or twice: first and fallback http(s) address
///   filedir /files/Demo              default: /files/<name>
///   description notes.rtf            required; ".rtf" is served as RTF, else plain text
///   save PATH_OR_MASK                repeatable: saved before the upgrade
///   delete FILE                      repeatable: removed before the install
///   delete_folder FOLDER             repeatable: removed with its content
///   check_shortcuts                  retarget the application's shortcuts
///   upgrade_kestrova                 the files carry a new updater (Kestrova.new)
///
/// A relative description path is taken from the recipe's folder.
struct TReleaseRecipe {
  std::string version;
  std::string date;
  std::vector<std::string> download_servers;
  std::string filedir;
  std::string description;
  std::vector<std::string> save;
  std::vector<std::string> delete_files;
  std::vector<std::string> delete_folders;
  bool check_shortcuts = false;
  bool upgrade_kestrova = false;
};

/// Why no updater would take `version` as a release's version; empty when one would.
std::string VersionFault(std::string_view version);

/// Why the updaters could not download from `url` (blanks, not an http:// or https://
/// URL); empty when they can.
std::string DownloadServerFault(std::string_view url);

/// Parses a recipe's text. On failure, nothing, and `error` says which line is wrong.
std::optional<TReleaseRecipe> ParseRecipe(const std::string& text, std::string& error);

}  // namespace kestrova
