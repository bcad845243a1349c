// INI ("profile") files, read and written with the rules of the Windows profile
// functions so that configuration files behave the same on every platform.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

/// Longest text value a read returns; longer values are cut.
inline constexpr size_t kMaxProfileText = 2047;

class ProfileText;

/// One INI file on disk, read and written through the system's profile functions
/// where it has them and through ProfileText elsewhere. Without them the file is
/// read once, at the first read, so a file of any size costs one pass; a write
/// changes only the line of its key (or adds one), keeps every other byte, and is
/// seen by later reads through the same object.
class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  /// The key's value, trimmed and unquoted, at most kMaxProfileText characters.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
  /// 0 is false, any other integer true; no integer gives `fallback`.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
  /// A section exists only when it holds at least one key.
  bool SectionExists(std::string_view section) const;

  /// Sets the key, adding the key or the section where missing. Returns false when
  /// the file cannot be written; the file is then unchanged.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);

 private:
  // The file as our own reader holds it, where the system has no profile functions.
  const ProfileText& Text() const;

  std::string path_;
  mutable std::shared_ptr<const ProfileText> text_;
};

/// Reads a profile integer: decimal with optional sign, or hexadecimal introduced by
/// "$", "x", "X" or (three characters or more) "0x"/"0X" after the sign; 32 bits.
std::optional<int32_t> ParseProfileInteger(std::string_view text);

}  // namespace kestrova
