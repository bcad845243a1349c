// Files that stand in for a target until they replace it, and the removal of those a
// killed run left behind.
#pragma once

#include <memory>
#include <string>

#include "base/native_file.h"

namespace kestrova {

/// A new file in a folder, named after the target it stands in for so that a later run
/// recognises it, and removed when the object goes unless Release() says it was put
/// in place. While it lives, RemoveLeftovers leaves it alone.
class TemporaryFile {
 public:
  /// Creates the file; file().IsOpen() tells whether that worked.
  TemporaryFile(const std::string& folder, const std::string& target_name);
  /// Names `unnamed` (made by NativeFile::CreateUnnamed, complete) as a temporary file for
  /// `target_name` in `folder` and takes it over; nothing when it cannot be named.
  static std::unique_ptr<TemporaryFile> Link(NativeFile&& unnamed, const std::string& folder,
                                             const std::string& target_name);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  NativeFile& file() { return file_; }
  const std::string& path() const { return path_; }
  /// The file has been renamed into place (or handed on) and is no longer ours to remove.
  void Release();

 private:
  TemporaryFile() = default;
  void NoteLive();

  NativeFile file_;
  std::string path_;
};

/// Removes from `folder` the temporary files that stood in for `target_name`, or for
/// any target when it is empty, which a killed run left behind.
void RemoveLeftovers(const std::string& folder, const std::string& target_name);

}  // namespace kestrova
