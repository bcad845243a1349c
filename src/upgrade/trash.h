// Removing what an upgrade makes obsolete so that the user can still get it back.
#pragma once

#include <string>

namespace kestrova {

/// Moves a file or folder into the user's trash (the recycle bin), where it can be
/// restored from. False when the system has no trash for it (another file system
/// without one, say) or the move fails; the item is then where it was.
bool MoveToTrash(const std::string& path);
/// The same for an item that was moved from `original_path` to wait at `path`: the
/// trash offers to restore it where it was (where the system's trash keeps that).
bool MoveToTrash(const std::string& path, const std::string& original_path);

/// Removes a folder with everything in it: into the trash where one can be had, else
/// for good. True when the folder is gone.
bool RemoveFolder(const std::string& path);

/// Removes a file the same way. True when it is gone.
bool RemoveObsoleteFile(const std::string& path);

}  // namespace kestrova
