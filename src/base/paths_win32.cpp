#include "base/paths.h"

#include <cctype>

#include "base/wide_text_win32.h"

namespace kestrova {
namespace {

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Where the folder part of a path ends: after its last separator, or after the drive
// of "C:name", which names a file in that drive's current folder.
size_t FolderLength(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return separator + 1;
  return HasDrive(path) ? 2 : 0;
}

}  // namespace

char NativeSeparator() { return '\\'; }

// Windows takes "/" as a separator too, and paths from other code often carry it.
bool IsNativeSeparator(char c) { return c == '\\' || c == '/'; }

std::string FolderOf(const std::string& path) { return path.substr(0, FolderLength(path)); }

std::string FileNameOf(const std::string& path) { return path.substr(FolderLength(path)); }

// "C:\..." and "\\server\share\..." (also "\\?\..."); "\name" depends on the current
// drive and "C:name" on that drive's current folder, so neither is complete.
bool IsFullPath(std::string_view path) {
  if (HasDrive(path)) return path.size() >= 3 && IsNativeSeparator(path[2]);
  return path.size() >= 2 && IsNativeSeparator(path[0]) && IsNativeSeparator(path[1]);
}

std::string FileNameRefusal(std::string_view name) {
  for (unsigned char c : name) {
    if (c < 32 || std::string_view("<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos) {
      return "Windows does not allow the character '" + std::string(1, static_cast<char>(c)) + "' in names";
    }
  }
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) return "Windows drops a final dot or blank";
  if (WideText(name).size() > 255) return "it is longer than 255 characters";
  // Device names stay devices in every folder, with any extension.
  std::string stem(name.substr(0, name.find('.')));
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4",
                                                  "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2",
                                                  "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
  for (std::string_view device : kDevices) {
    if (stem == device) return "Windows reserves the name " + stem + " for a device";
  }
  return {};
}

}  // namespace kestrova
