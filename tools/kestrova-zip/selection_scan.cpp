#include "selection_scan.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "zip/wildcard.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

// Masks separate folders with "/" whatever the platform, as archive names do.
constexpr char kMaskSeparator = '/';

bool Contains(const fs::path& ancestor, const fs::path& path) {
  return std::mismatch(ancestor.begin(), ancestor.end(), path.begin(), path.end()).first ==
         ancestor.end();
}

class SelectionWalker {
 public:
  SelectionWalker(std::u16string pattern, bool recurse, SelectionScan& scan)
      : pattern_(std::move(pattern)), recurse_(recurse), scan_(scan) {}

  // `prefix` is the mask's text up to `folder`; `whole` when the folder was selected
  // with everything in it.
  void Walk(const fs::path& folder, const std::string& prefix, bool whole) {
    std::error_code error;
    const fs::path real = fs::canonical(folder, error);
    fs::directory_iterator it(folder, error);
    if (error) return Problem(folder, "cannot read the folder: " + error.message());
    visiting_.push_back(real);
    for (; it != fs::directory_iterator(); it.increment(error)) {
      VisitEntry(*it, real, prefix, whole);
    }
    if (error) Problem(folder, "cannot read the folder: " + error.message());
    visiting_.pop_back();
  }

 private:
  void VisitEntry(const fs::directory_entry& entry, const fs::path& real_folder,
                  const std::string& prefix, bool whole) {
    std::error_code error;
    const bool is_link = entry.is_symlink(error);
    const fs::file_status target = fs::status(entry.path(), error);
    if (!fs::exists(target)) {
      if (is_link) Problem(entry.path(), "cannot follow the symbolic link: " + error.message());
      return;
    }
    const std::string name = entry.path().filename().string();
    const bool name_matches = whole || MatchesMask(Utf8ToUtf16(name), pattern_);
    if (!fs::is_directory(target)) {
      if (fs::is_regular_file(target) && name_matches) scan_.matched = true;
      return;
    }
    if (name_matches) scan_.matched = true;
    if (!name_matches && !recurse_) return;
    if (is_link) {
      const fs::path real_target = fs::canonical(entry.path(), error);
      if (error || Contains(real_target, real_folder) ||
          std::find(visiting_.begin(), visiting_.end(), real_target) != visiting_.end()) {
        return Problem(entry.path(), "the symbolic link leads back into a folder it lies in");
      }
      scan_.extra_masks.push_back(prefix + name + kMaskSeparator +
                                  (name_matches ? std::string("*.*") : Utf16ToUtf8(pattern_)));
    }
    Walk(entry.path(), prefix + name + kMaskSeparator, name_matches);
  }

  void Problem(const fs::path& path, const std::string& what) {
    scan_.problems.push_back(path.string() + ": " + what);
  }

  std::u16string pattern_;
  bool recurse_;
  SelectionScan& scan_;
  std::vector<fs::path> visiting_;  // real paths of the folders being walked
};

}  // namespace

SelectionScan ScanSelection(const std::string& base_dir, const std::string& given_mask) {
  SelectionScan scan;
  // Lists written for Windows separate folders with "\\"; the archiver takes both.
  std::string mask = given_mask;
  std::replace(mask.begin(), mask.end(), '\\', kMaskSeparator);
  const size_t cut = mask.find_last_of(kMaskSeparator);
  const std::string prefix = cut == std::string::npos ? "" : mask.substr(0, cut + 1);
  const std::u16string pattern = Utf8ToUtf16(mask.substr(prefix.size()));
  // As in the archiver: a mask with a folder part searches that folder's subfolders
  // only when its name part holds a wildcard.
  const bool recurse = prefix.empty() || HasWildcard(pattern);
  const fs::path start = fs::path(prefix).is_absolute() ? fs::path(prefix) : fs::path(base_dir) / prefix;
  std::error_code error;
  if (!fs::is_directory(start, error)) return scan;
  SelectionWalker(pattern, recurse, scan).Walk(start, prefix, false);
  return scan;
}

}  // namespace kestrova
