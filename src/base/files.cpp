// What the file services of every platform share: the words for a refused file and
// the temporary names of a file replaced in one step.
#include "base/files.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/paths.h"

namespace kestrova {
namespace {

constexpr char kTemporaryMark[] = ".kestrova-";
constexpr size_t kFewestRandomLetters = 6;  // mkstemp's
constexpr size_t kMostRandomLetters = 8;    // NativeFile::CreateUnique's
constexpr std::string_view kTemporarySuffix = ".tmp";

std::string SizeText(uint64_t bytes) {
  constexpr uint64_t kMiB = uint64_t{1} << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

bool IsRandomPart(std::string_view letters) {
  if (letters.ends_with(kTemporarySuffix)) letters.remove_suffix(kTemporarySuffix.size());
  return letters.size() >= kFewestRandomLetters && letters.size() <= kMostRandomLetters &&
         std::all_of(letters.begin(), letters.end(), [](unsigned char c) { return std::isalnum(c); });
}

bool IsLeftoverName(const std::string& name, const std::string& prefix) {
  return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
         IsRandomPart(std::string_view(name).substr(prefix.size()));
}

}  // namespace

std::string RefusalText(const std::string& path, FileRefusal refusal, uint64_t max_size) {
  switch (refusal) {
    case FileRefusal::kNone:
      return {};
    case FileRefusal::kMissing:
      return path + " does not exist";
    case FileRefusal::kNotRegular:
      return path + " is not a regular file";
    case FileRefusal::kTooLarge:
      return path + " is larger than " + SizeText(max_size);
    case FileRefusal::kUnreadable:
      break;
  }
  return path + " cannot be read";
}

std::string ReplaceTemporaryPrefix(const std::string& path) { return FileNameOf(path) + kTemporaryMark; }

void RemoveReplaceLeftovers(const std::string& path) {
  const std::string prefix = ReplaceTemporaryPrefix(path);
  const std::string folder = FolderOf(path);
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder.empty() ? "." : folder, entries)) return;
  for (const FolderEntry& entry : entries) {
    if (entry.status.is_dir || entry.status.is_link || entry.status.is_special) continue;
    if (IsLeftoverName(entry.name, prefix)) RemoveFile(folder + entry.name);
  }
}

}  // namespace kestrova
