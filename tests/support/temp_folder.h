// A fresh folder per test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace kestrova::testing {

/// An empty folder named after the running test (or suite), under gtest's temporary
/// folder, removed with everything in it (read-only content included, links not
/// followed) when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// The folder as the updater writes folders: with a trailing separator.
  std::string WithSeparator() const;

  std::filesystem::path Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;
  /// The content of a file another process writes, once it can be read and is not
  /// empty; empty after five seconds without. A file just renamed into place can
  /// refuse to open for a moment on Windows, so one failed open proves nothing.
  std::string ReadOnceWritten(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace kestrova::testing
