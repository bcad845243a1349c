// INI files where the system has no profile functions: our own reader and writer,
// and the file replaced in one step on a write.
#include "base/files.h"
#include "base/ini.h"
#include "base/profile_text.h"

namespace kestrova {

namespace {

// A file that is no configuration (a pipe, a device, megabytes) reads as empty, as a
// missing one does; LoadConfiguration names such a file to the user first.
std::optional<std::string> ReadProfile(const std::string& path) {
  FileRefusal refusal = FileRefusal::kNone;
  return ReadRegularFile(path, kMaxConfigurationSize, refusal);
}

}  // namespace

const ProfileText& IniFile::Text() const {
  if (!text_) text_ = std::make_shared<const ProfileText>(ReadProfile(path_).value_or(""));
  return *text_;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  return Text().ReadString(section, key, fallback);
}

bool IniFile::SectionExists(std::string_view section) const { return Text().SectionExists(section); }

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string content;
  if (FileExists(path_)) {
    auto existing = ReadProfile(path_);
    if (!existing) return false;
    content = std::move(*existing);
  }
  std::string written = ProfileText(std::move(content)).WithValue(section, key, value);
  if (!ReplaceFileSafely(path_, written)) return false;
  text_ = std::make_shared<const ProfileText>(std::move(written));
  return true;
}

}  // namespace kestrova
