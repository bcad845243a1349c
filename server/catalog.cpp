#include "catalog.h"

#include <system_error>

#include "base/files.h"
#include "base/ini.h"

namespace kestrova::server {
namespace fs = std::filesystem;

bool IsSafeSegment(const std::string& segment) {
  if (segment.empty() || segment == "." || segment == "..") return false;
  for (unsigned char c : segment) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
  }
  return true;
}

std::optional<fs::path> Catalog::ApplicationFolder(const std::string& name) const {
  if (!IsSafeSegment(name)) return std::nullopt;
  fs::path folder = root_ / name;
  std::error_code error;
  if (!fs::is_directory(folder, error)) return std::nullopt;
  return folder;
}

// Compared as files, not names, so that a link or another spelling of the path
// leads nowhere either.
bool Catalog::IsPrivate(const fs::path& path) const {
  for (const fs::path& hidden : private_files_) {
    std::error_code error;
    if (fs::equivalent(path, hidden, error)) return true;
  }
  return false;
}

std::optional<std::string> Catalog::ReadPublic(const fs::path& path) const {
  if (IsPrivate(path)) return std::nullopt;
  return ReadWholeFile(path.string());
}

bool Catalog::Knows(const std::string& name) const { return ApplicationFolder(name).has_value(); }

std::optional<ReleaseInfo> Catalog::Release(const std::string& name) const {
  const auto folder = ApplicationFolder(name);
  if (!folder) return std::nullopt;
  const std::string path = (*folder / "release.ini").string();
  if (!FileExists(path) || IsPrivate(path)) return std::nullopt;
  const IniFile ini(path);
  ReleaseInfo info{ini.ReadString("release", "version", ""), ini.ReadString("release", "date", "")};
  if (info.version.empty() || info.version.find(';') != std::string::npos) return std::nullopt;
  return info;
}

std::optional<Document> Catalog::Description(const std::string& name) const {
  const auto folder = ApplicationFolder(name);
  if (!folder) return std::nullopt;
  if (auto rtf = ReadPublic(*folder / "description.rtf")) {
    return Document{std::move(*rtf), "application/rtf"};
  }
  if (auto text = ReadPublic(*folder / "description.txt")) {
    return Document{std::move(*text), "text/plain"};
  }
  return std::nullopt;
}

std::optional<Document> Catalog::ActionList(const std::string& name, const std::string& installed_version) const {
  const auto folder = ApplicationFolder(name);
  if (!folder) return std::nullopt;
  std::optional<std::string> text;
  if (IsSafeSegment(installed_version)) text = ReadPublic(*folder / "deltas" / installed_version / "actionlist.ini");
  if (!text) text = ReadPublic(*folder / "actionlist.ini");
  if (!text) return std::nullopt;
  return Document{std::move(*text), "text/plain"};
}

std::optional<fs::path> Catalog::ReleaseFile(const std::string& name, const std::string& file) const {
  const auto folder = ApplicationFolder(name);
  if (!folder) return std::nullopt;
  fs::path path = *folder / "files";
  size_t start = 0;
  while (start <= file.size()) {
    size_t end = file.find('/', start);
    if (end == std::string::npos) end = file.size();
    const std::string segment = file.substr(start, end - start);
    if (!IsSafeSegment(segment)) return std::nullopt;
    path /= segment;
    start = end + 1;
  }
  std::error_code error;
  if (!fs::is_regular_file(path, error) || IsPrivate(path)) return std::nullopt;
  return path;
}

}  // namespace kestrova::server
