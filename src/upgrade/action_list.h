// The action list: what an upgrade downloads, saves, removes and retargets.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

/// File name of the stored action list in the application folder.
inline constexpr char kActionListFileName[] = "actionlist.ini";

/// One action list as the update server sent it. The lists keep the order of their
/// numbered keys; the fields are named after the keys they come from.
struct TActionList {
  std::string download_server_adr1;
  std::string download_server_adr2;
  std::string filedir;
  std::vector<std::string> ReleaseFiles;
  std::vector<std::string> SaveList;
  std::vector<std::string> DeleteFiles;
  std::vector<std::string> DeleteFolders;
  bool ReplaceUpdater = false;
  bool CheckShortcuts = false;
};

/// Reads the action list stored at `path`. Nothing when the file cannot be read, or
/// when an entry would download into or delete from a place outside the
/// application folder (see NamesPlaceInside and NamesSubfolder).
std::optional<TActionList> ReadActionList(const std::string& path);

/// True when `relative`, joined to a folder, stays inside it: not absolute, no ".."
/// part, no NUL byte. Either "/" or "\\" separates parts.
bool NamesPlaceInside(std::string_view relative);

/// True when `relative` names a folder strictly below the one it is joined to, never
/// that folder itself: inside it, and with a part other than "." (so not empty).
bool NamesSubfolder(std::string_view relative);

}  // namespace kestrova
