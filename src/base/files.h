// File-system services the portable code needs; implemented per platform.
#pragma once

#include <optional>
#include <string>

namespace kestrova {

/// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

/// Replaces a file's content so that a crash or a full disk never leaves it half
/// written: the new content goes to a temporary file in the same folder, which is
/// then renamed over the original (keeping its permissions). A read-only file is
/// refused. Returns false on any failure; the original is then untouched.
bool ReplaceFileSafely(const std::string& path, const std::string& content);

bool FileExists(const std::string& path);

/// True when the file carries no write permission at all, the counterpart of the
/// read-only attribute (checked from the mode, so it holds for root as well).
bool IsReadOnlyFile(const std::string& path);

/// Joins a path from a configuration file or an action list to a folder that ends
/// in a separator. Such paths are written with "\\" on every platform, so the
/// separator is converted where the system uses another one.
std::string JoinToFolder(const std::string& folder, const std::string& relative);

/// The running executable's full path.
std::string ExecutablePath();

/// The system's folder for temporary files, ending in a separator.
std::string TemporaryDirectory();

}  // namespace kestrova
