// File-system services the portable code needs, stated once and implemented per
// platform (files_posix.cpp, files_win32.cpp). Paths are native byte strings (UTF-8
// on Windows), built with the helpers of base/paths.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

/// The whole content of a file, or nothing when it cannot be read. A pipe or a device
/// is refused without waiting for it.
std::optional<std::string> ReadWholeFile(const std::string& path);

/// The most bytes a configuration file may have. Such files hold a few dozen lines;
/// the bound keeps a wrong path (a log, a disk image, a device without end) from
/// filling the memory before the updater can say what is wrong.
inline constexpr uint64_t kMaxConfigurationSize = uint64_t{1} << 20;  // 1 MiB

/// Why a file was not read by ReadRegularFile.
enum class FileRefusal { kNone, kMissing, kNotRegular, kTooLarge, kUnreadable };

/// The content of a regular file of at most `max_size` bytes; otherwise nothing, with
/// the reason in `refusal`. A pipe, a socket, a device or a folder is refused before a
/// byte is read and never blocks the caller; a file that grows past `max_size` while
/// it is read is refused as well.
std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t max_size,
                                           FileRefusal& refusal);

/// The refusal in words, naming the file: "/app/demo.cfg is not a regular file",
/// "/app/demo.cfg is larger than 1 MiB".
std::string RefusalText(const std::string& path, FileRefusal refusal, uint64_t max_size);

/// Replaces a file's content so that a crash or a full disk never leaves it half
/// written: the new content goes to a temporary file in the same folder, which is
/// then renamed over the original (keeping its permissions, and its owner where the
/// writer may set it). A symbolic link is written through: its target is replaced in
/// the target's folder and the link stays. A read-only file is refused. Returns false
/// on any failure; the original is then untouched.
bool ReplaceFileSafely(const std::string& path, const std::string& content);

/// The names of ReplaceFileSafely's temporary files for `path` start with this: the
/// file's name and ".kestrova-", followed by six to eight letters or digits (and
/// ".tmp" on Windows), so that no file of the user's can be taken for one.
std::string ReplaceTemporaryPrefix(const std::string& path);

/// Removes the temporary files that writes of `path` left behind when they were killed
/// before their rename. Only names of exactly that form beside `path` go; `path`
/// itself, other names and folders are never touched. A link's leftovers lie beside
/// its target: call it with the path that was written.
void RemoveReplaceLeftovers(const std::string& path);

/// Creates `path` with `content`, readable and writable by its owner only from the
/// first moment (for secret keys). Refuses (false) when the file exists already, so
/// that nothing is overwritten; a failed write leaves no file behind.
bool CreateOwnerOnlyFile(const std::string& path, const std::string& content);

bool FileExists(const std::string& path);

/// True when the file carries no write permission at all, the counterpart of the
/// read-only attribute (checked from the mode, so it holds for root as well).
bool IsReadOnlyFile(const std::string& path);

/// Joins a path from a configuration file or an action list to a folder that ends
/// in a separator. Such paths are written with "\\" on every platform, so the
/// separator is converted where the system uses another one.
std::string JoinToFolder(const std::string& folder, const std::string& relative);

/// The running executable's full path.
std::string ExecutablePath();

/// The system's folder for temporary files, ending in a separator.
std::string TemporaryDirectory();

/// The process's current folder, ending in a separator.
std::string CurrentFolder();

/// What is known about one file or folder (links followed).
struct FileStatus {
  bool is_dir = false;
  bool is_link = false;  // the name itself is a symbolic link
  /// Neither a regular file nor a folder: a pipe, socket or device, which holds no
  /// content to read and can block a reader or never reach an end.
  bool is_special = false;
  uint64_t size = 0;
  int64_t mtime = 0;  // seconds since the epoch
  /// Windows attribute bits, derived from the mode where the platform has none.
  uint32_t attributes = 0;
  /// Unix mode with file type bits; 0 where the platform has none.
  uint32_t unix_mode = 0;
};

/// One name in a folder listing.
struct FolderEntry {
  std::string name;
  FileStatus status;
};

/// Nothing when the path does not exist (or is a dangling link).
std::optional<FileStatus> QueryFile(const std::string& path);

/// The folder's entries in the order the file system lists them, without "." and "..";
/// entries that vanish or cannot be examined are left out. False when unreadable.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries);

/// Creates one folder; true when it exists as a folder afterwards.
bool CreateFolder(const std::string& path);

bool RemoveFile(const std::string& path);

/// Removes a folder that holds nothing.
bool RemoveEmptyFolder(const std::string& path);

/// Removes a folder with everything in it, read-only files included. Links inside are
/// removed, never followed. True when nothing of it is left.
bool RemoveFolderTree(const std::string& path);

/// Moves `from` over `to` in one step, replacing a read-only target as well.
bool RenameReplacing(const std::string& from, const std::string& to);

/// Why a file cannot be created in `folder` (the system's words), or nothing when one
/// can: tried by creating a file that vanishes with its handle, so that permissions,
/// read-only media and access lists all count and a crash leaves nothing behind.
std::optional<std::string> FolderWriteFault(const std::string& folder);

/// Makes the names in `folder` (files created, renamed or removed there) survive a
/// crash of the system. True where the platform does that by itself.
bool SyncFolder(const std::string& folder);

/// Bytes an unprivileged writer can still put on the file system that holds `path`, or
/// would hold it once created; nothing when the system cannot tell.
std::optional<uint64_t> FreeDiskSpace(const std::string& path);

/// Physical memory available now, in bytes (a modest guess when unknown).
uint64_t AvailablePhysicalMemory();

}  // namespace kestrova
