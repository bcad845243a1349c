#include "zip/file_selection.h"

#include "base/paths.h"
#include "base/text.h"
#include "zip/archiver_types.h"
#include "zip/wildcard.h"

namespace kestrova {
namespace {

constexpr uint32_t kPlainFileBits = faArchive | faReadOnly | faHidden | faSysFile;

}  // namespace

std::vector<FoundFile> FileSelector::Select(const std::u16string& resolved_mask,
                                            bool mask_has_folder_part) {
  const auto slash = resolved_mask.rfind(u'/');
  Folder folder;
  folder.wide = slash == std::u16string::npos ? u"" : resolved_mask.substr(0, slash + 1);
  folder.native = Utf16ToUtf8(folder.wide);
  const std::u16string pattern = resolved_mask.substr(folder.wide.size());
  std::vector<FoundFile> found;
  Search(folder, pattern, resolved_mask, mask_has_folder_part, found);
  return found;
}

bool FileSelector::AcceptsAttributes(uint32_t attributes, uint32_t filter) const {
  return (attributes & filter) != 0 ||
         (attributes == 0 && (filter & kPlainFileBits) == kPlainFileBits);
}

void FileSelector::Search(const Folder& folder, const std::u16string& pattern,
                          const std::u16string& resolved, bool has_folder_part,
                          std::vector<FoundFile>& found) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder.native.empty() ? "." : folder.native, entries)) return;
  const uint32_t file_filter = search_attr_ & ~faDirectory;
  for (const auto& entry : entries) {
    // Pipes, sockets and devices are left out without a report: they are not content
    // of the application folder, and reading one would wait for a writer or never end.
    if (entry.status.is_dir || entry.status.is_special) continue;
    const std::u16string name = Utf8ToUtf16(entry.name);
    if (!AcceptsAttributes(entry.status.attributes, file_filter) || !MatchesMask(name, pattern)) {
      continue;
    }
    FoundFile file{folder.native + entry.name, folder.wide + name, entry.status};
    if (keep_(file.path, false)) found.push_back(std::move(file));
  }
  for (const auto& entry : entries) {
    if (!entry.status.is_dir) continue;
    Folder sub{JoinPath(folder.native, entry.name + NativeSeparator()),
               folder.wide + Utf8ToUtf16(entry.name) + u"/"};
    const std::u16string sub_path = sub.wide.substr(0, sub.wide.size() - 1);
    if (!keep_(sub_path, true)) continue;
    // A linked folder is stored as a folder, but not walked: links can form cycles.
    const bool walk = !entry.status.is_link;
    if ((search_attr_ & faDirectory) &&
        (MatchesMask(sub_path, resolved) || MatchesMask(sub_path + u".", resolved))) {
      found.push_back({sub.native.substr(0, sub.native.size() - 1), sub_path, entry.status});
      if (walk) AddWholeFolder(sub, found);
    } else if (recurse_ && walk && (!has_folder_part || HasWildcard(pattern))) {
      Search(sub, pattern, sub.wide + pattern, has_folder_part, found);
    }
  }
}

void FileSelector::AddWholeFolder(const Folder& folder, std::vector<FoundFile>& found) {
  Search(folder, u"*.*", folder.wide + u"*.*", true, found);
}

}  // namespace kestrova
