// An open file of the platform, with explicit offsets in every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kestrova {

/// A read, write or other operation on an open NativeFile failed; what() is the
/// system's text for the failure.
class NativeFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// An open file, closed when the object goes. Offsets are explicit in every call, so
/// one handle serves reading and rewriting in place without a shared position.
/// Operations on an open file throw NativeFileError; opening reports by IsOpen().
class NativeFile {
 public:
  NativeFile() = default;
  NativeFile(NativeFile&& other) noexcept;
  NativeFile& operator=(NativeFile&& other) noexcept;
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;
  ~NativeFile() { Close(); }

  /// Opens a regular file only; anything else fails instead of blocking.
  static NativeFile OpenForReading(const std::string& path);
  static NativeFile OpenForUpdate(const std::string& path);
  /// Creates the file or empties an existing one.
  static NativeFile CreateOrTruncate(const std::string& path);
  /// Creates a new file named `folder` + `stem` + eight letters or digits + ".tmp", the
  /// letters different for every call and hard to guess.
  static NativeFile CreateUnique(const std::string& folder, const std::string& stem,
                                 std::string& path);
  /// Creates a file in `folder` that has no name until LinkAs or LinkUnique gives it
  /// one, so that nothing is left behind when it is dropped; not open where the file
  /// system cannot make such files. Creating one takes no lock on the folder.
  static NativeFile CreateUnnamed(const std::string& folder);

  /// Names a file made by CreateUnnamed; false when `path` exists or cannot be made.
  bool LinkAs(const std::string& path);
  /// Names a file made by CreateUnnamed as CreateUnique names its files.
  bool LinkUnique(const std::string& folder, const std::string& stem, std::string& path);
  /// A second handle on the same open file, with a life of its own.
  NativeFile Duplicate() const;

  bool IsOpen() const { return handle_ != kNoHandle; }
  /// Why the open failed, in the system's words; empty after a successful open.
  const std::string& OpenError() const { return open_error_; }

  /// Reads up to `size` bytes; fewer only at the end of the file. An offset no file
  /// can reach reads as the end.
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) const;
  /// Writes `size` bytes; returns fewer when the disk is full.
  size_t WriteAt(uint64_t offset, const void* buffer, size_t size);
  uint64_t Size() const;
  void Truncate(uint64_t size);
  void Sync();
  /// Gives an extracted file the stored permissions: the Unix mode when the entry
  /// carries one, else the read-only bit of the Windows attributes.
  bool ApplyAttributes(uint32_t attributes, uint32_t unix_mode);
  /// Sets the last-write time; after the last write, which would move it again.
  bool SetModificationTime(int64_t mtime);
  /// Tells the system the file will be read once from start to end; the file may be
  /// open for reading only afterwards.
  void AdviseSequential();
  void Close();

 private:
  static constexpr intptr_t kNoHandle = -1;
  /// The last offset a file of any platform reaches.
  static constexpr uint64_t kLastOffset = uint64_t(INT64_MAX);
  /// The platform's part of ReadAt and WriteAt: one transfer at an offset below
  /// kLastOffset, which may move fewer bytes than asked; 0 at the end of the file or,
  /// writing, on a full disk.
  size_t ReadOnce(uint64_t offset, void* buffer, size_t size) const;
  size_t WriteOnce(uint64_t offset, const void* buffer, size_t size);
  NativeFile(intptr_t handle, std::string error)
      : handle_(handle), open_error_(std::move(error)) {}

  intptr_t handle_ = kNoHandle;
  std::string open_error_;
};

}  // namespace kestrova
