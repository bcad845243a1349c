// Reading an archive whole before anything is taken from it.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kestrova {

/// Told how far the check has come (0-100); returns false to stop it.
using CheckProgress = std::function<bool(double progress)>;

/// Opens the archive at `archive_path` (a native path) read-only and decompresses
/// every entry against its size and CRC, writing nothing. An archive that is
/// missing, has no usable directory or holds a damaged entry gives the archiver's
/// full error text; a whole one, or a check stopped by `progress`, gives nothing.
std::optional<std::string> CheckArchiveWhole(const std::string& archive_path,
                                             const CheckProgress& progress = {});

}  // namespace kestrova
