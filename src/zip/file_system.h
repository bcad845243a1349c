// The file-system services ZipArchiver needs, stated once and implemented per
// platform (file_system_posix.cpp now, a _win32 counterpart later). Paths are native
// byte strings: UTF-8 with "/" separators on POSIX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

/// Separator of native paths.
inline constexpr char kNativeSeparator = '/';
/// Host system recorded in "version made by": 3 (Unix) on POSIX, 0 (FAT) on Windows.
extern const uint8_t kHostSystem;
/// Whether names can carry a drive ("C:"), which makes ":" special in paths.
extern const bool kDriveLetters;

/// The form under which two file or entry names denote the same file: upper case
/// where the file system ignores case, the name itself where "README" and "readme"
/// are two files that must both be kept.
std::u16string FileNameKey(std::u16string_view name);

/// What the archiver needs to know about one file or folder (links followed).
struct FileStatus {
  bool is_dir = false;
  bool is_link = false;  // the name itself is a symbolic link
  /// Neither a regular file nor a folder: a pipe, socket or device, which holds no
  /// content to archive and can block a reader or never reach an end.
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

std::optional<FileStatus> QueryFile(const std::string& path);
/// The folder's entries in the order the file system lists them, without "." and "..";
/// entries that vanish or cannot be examined are left out. False when unreadable.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries);
/// Creates one folder; true when it exists as a folder afterwards.
bool CreateFolder(const std::string& path);
bool RemoveFile(const std::string& path);
/// Moves `from` over `to` in one step, replacing a read-only target as well.
bool RenameReplacing(const std::string& from, const std::string& to);

/// Physical memory available now, in bytes (a modest guess when unknown).
uint64_t AvailablePhysicalMemory();
/// The system's folder for temporary files, ending in a separator.
std::string SystemTemporaryFolder();
/// The process's current folder, ending in a separator.
std::string CurrentFolder();
/// Whether a path ("/" separators) is complete rather than relative to a folder.
bool IsFullPath(std::u16string_view path);

/// DOS date (high 16 bits) and time (low 16 bits) of a moment, in local time.
uint32_t ToDosDateTime(int64_t unix_time);
/// The moment a DOS date and time stand for, taken as local time.
int64_t FromDosDateTime(uint32_t dos_date_time);
int64_t CurrentUnixTime();

/// An open file, closed when the object goes. Offsets are explicit in every call, so
/// one handle serves reading and rewriting in place without a shared position.
class NativeFile {
 public:
  NativeFile() = default;
  NativeFile(NativeFile&& other) noexcept;
  NativeFile& operator=(NativeFile&& other) noexcept;
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;
  ~NativeFile() { Close(); }

  /// Opens a regular file only; anything else fails with EINVAL instead of blocking.
  static NativeFile OpenForReading(const std::string& path);
  static NativeFile OpenForUpdate(const std::string& path);
  /// Creates the file or empties an existing one.
  static NativeFile CreateOrTruncate(const std::string& path);
  /// Creates a new file with a unique name `folder` + `stem` + a suffix that is
  /// different for every call and hard to guess.
  static NativeFile CreateUnique(const std::string& folder, const std::string& stem,
                                 std::string& path);

  bool IsOpen() const { return fd_ >= 0; }
  /// The system's error number of a failed open.
  int OpenError() const { return open_error_; }

  /// Reads up to `size` bytes; fewer only at the end of the file. Throws on errors.
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) const;
  /// Writes `size` bytes; returns fewer when the disk is full. Throws on other errors.
  size_t WriteAt(uint64_t offset, const void* buffer, size_t size);
  uint64_t Size() const;
  void Truncate(uint64_t size);
  void Sync();
  /// Gives an extracted file the stored permissions: the Unix mode when the entry
  /// carries one, else the read-only bit of the Windows attributes.
  bool ApplyAttributes(uint32_t attributes, uint32_t unix_mode);
  /// Sets the last-write time; after the last write, which would move it again.
  bool SetModificationTime(int64_t mtime);
  /// Tells the system the file will be read once from start to end.
  void AdviseSequential();
  void Close();

 private:
  explicit NativeFile(int fd, int error) : fd_(fd), open_error_(error) {}
  int fd_ = -1;
  int open_error_ = 0;
};

}  // namespace kestrova
