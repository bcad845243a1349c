// File-system services the portable code needs, stated once and implemented per
// platform (files_posix.cpp, files_win32.cpp). Paths are native byte strings (UTF-8
// on Windows), built with the helpers of base/paths.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

/// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

/// Replaces a file's content so that a crash or a full disk never leaves it half
/// written: the new content goes to a temporary file in the same folder, which is
/// then renamed over the original (keeping its permissions). A read-only file is
/// refused. Returns false on any failure; the original is then untouched.
bool ReplaceFileSafely(const std::string& path, const std::string& content);

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

/// Bytes an unprivileged writer can still put on the file system that holds `path`, or
/// would hold it once created; nothing when the system cannot tell.
std::optional<uint64_t> FreeDiskSpace(const std::string& path);

/// Physical memory available now, in bytes (a modest guess when unknown).
uint64_t AvailablePhysicalMemory();

}  // namespace kestrova
