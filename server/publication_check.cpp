#include "publication_check.h"

#include <algorithm>
#include <system_error>

#include "base/files.h"
#include "base/ini.h"
#include "catalog.h"

namespace kestrova::server {
namespace {

namespace fs = std::filesystem;

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

void CheckRelease(const fs::path& folder, std::vector<std::string>& warnings) {
  const fs::path path = folder / "release.ini";
  if (!IsFile(path)) {
    warnings.push_back(path.string() + ": missing; the application offers no release");
    return;
  }
  const IniFile ini(path.string());
  if (!ini.SectionExists("release")) {
    warnings.push_back(path.string() + ": no [release] section; the application offers no release");
    return;
  }
  const std::string version = ini.ReadString("release", "version", "");
  if (version.empty()) {
    warnings.push_back(path.string() + ": no version; the application offers no release");
  } else if (version.find(';') != std::string::npos) {
    warnings.push_back(path.string() + ": the version \"" + version +
                       "\" holds \";\", which separates version and date; the application offers no release");
  }
}

// Only a list that downloads from this server's /files/<name> has its files here; one
// that names another path is served by another server.
void CheckReleaseFiles(const fs::path& folder, std::vector<std::string>& warnings) {
  const fs::path list_path = folder / "actionlist.ini";
  const IniFile list(list_path.string());
  if (list.ReadString("release", "filedir", "") != "/files/" + folder.filename().string()) return;
  for (int n = 1;; ++n) {
    const std::string file = list.ReadString("release", "filename" + std::to_string(n), "");
    if (file.empty()) return;
    if (!IsFile(folder / "files" / file)) {
      warnings.push_back((folder / "files" / file).string() + ": missing, named by " +
                         list_path.string() + "; updaters cannot download it");
    }
  }
}

void CheckApplication(const fs::path& folder, std::vector<std::string>& warnings) {
  CheckRelease(folder, warnings);
  if (!IsFile(folder / "description.rtf") && !IsFile(folder / "description.txt")) {
    warnings.push_back((folder / "description.rtf").string() + ": missing, and no description.txt either");
  }
  if (!IsFile(folder / "actionlist.ini")) {
    warnings.push_back((folder / "actionlist.ini").string() + ": missing; updaters cannot upgrade");
    return;
  }
  CheckReleaseFiles(folder, warnings);
}

}  // namespace

std::vector<std::string> CheckPublication(const fs::path& root) {
  std::vector<fs::path> folders;
  std::error_code error;
  for (fs::directory_iterator it(root, error); !error && it != fs::directory_iterator(); it.increment(error)) {
    if (it->is_directory() && IsSafeSegment(it->path().filename().string())) folders.push_back(it->path());
  }
  std::vector<std::string> warnings;
  if (error) warnings.push_back(root.string() + ": cannot read the folder: " + error.message());
  std::sort(folders.begin(), folders.end());
  if (folders.empty() && !error) warnings.push_back(root.string() + ": no application folders to serve");
  for (const fs::path& folder : folders) CheckApplication(folder, warnings);
  return warnings;
}

}  // namespace kestrova::server
