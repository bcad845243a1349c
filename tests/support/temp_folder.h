// A fresh folder per test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace kestrova::testing {

/// An empty folder named after the running test, removed with everything in it
/// (read-only content included) when the object goes.
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

 private:
  std::filesystem::path path_;
};

}  // namespace kestrova::testing
