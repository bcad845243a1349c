#include "base/partial_file.h"

#include "base/files.h"

namespace kestrova {
namespace {

constexpr char kUrlKey[] = "url=";
constexpr char kValidatorKey[] = "validator=";
constexpr char kReleaseKey[] = "release=";

// The value of the line that starts with `key`; header values hold no line end.
std::optional<std::string> LineValue(const std::string& text, const std::string& key) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (text.compare(start, key.size(), key) == 0) {
      return text.substr(start + key.size(), end - start - key.size());
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

std::string PartialFilePath(const std::string& target) { return target + ".partial"; }

std::string PartialInfoPath(const std::string& target) { return target + ".partial.info"; }

bool WritePartialOrigin(const std::string& target, const PartialOrigin& origin) {
  return ReplaceFileSafely(PartialInfoPath(target), std::string(kUrlKey) + origin.url + "\n" +
                                                        kValidatorKey + origin.validator + "\n" +
                                                        kReleaseKey + origin.release + "\n");
}

std::optional<PartialOrigin> ReadPartialOrigin(const std::string& target) {
  const std::optional<std::string> text = ReadWholeFile(PartialInfoPath(target));
  if (!text) return std::nullopt;
  auto url = LineValue(*text, kUrlKey);
  auto validator = LineValue(*text, kValidatorKey);
  auto release = LineValue(*text, kReleaseKey);
  if (!url || !validator || !release || validator->empty()) return std::nullopt;
  return PartialOrigin{std::move(*url), std::move(*validator), std::move(*release)};
}

void RemovePartialFile(const std::string& target) {
  RemoveFile(PartialFilePath(target));
  RemoveFile(PartialInfoPath(target));
  RemoveReplaceLeftovers(PartialInfoPath(target));
}

}  // namespace kestrova
