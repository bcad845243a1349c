// This program's own reader and writer of INI text, following the rules of the
// Windows profile functions; the platforms without those functions read every
// configuration file through it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrova {

/// The content of one INI file with an index of its sections and keys, built in one
/// pass. Only the first section of each name and the first key of each name in it
/// are read, as the profile functions do.
class ProfileText {
 public:
  explicit ProfileText(std::string content);
  ProfileText(const ProfileText&) = delete;
  ProfileText& operator=(const ProfileText&) = delete;

  /// The key's value, trimmed and unquoted, at most kMaxProfileText characters;
  /// `fallback` when the key is absent.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const;
  /// A section exists only when it holds at least one key.
  bool SectionExists(std::string_view section) const;
  /// The content with the key set: its line replaced, or a line added at the end of
  /// the section, or the section added at the end; every other byte kept.
  std::string WithValue(std::string_view section, std::string_view key, std::string_view value) const;

 private:
  std::string content_;
  // Upper-cased section name -> upper-cased key name -> trimmed value in content_.
  std::unordered_map<std::string, std::unordered_map<std::string, std::string_view>> sections_;
};

/// A section header or a key line of INI text, its names trimmed as written: `key` is
/// empty for a header, `section` empty for a key above every header.
struct ProfileName {
  std::string section;
  std::string key;
};

/// Every section header and key line of `content`, in order, found by the rules the
/// reads follow (duplicates included).
std::vector<ProfileName> ListProfileNames(std::string_view content);

}  // namespace kestrova
