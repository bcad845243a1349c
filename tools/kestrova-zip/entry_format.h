// How kestrova-zip writes entries and counts for people to read.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova {

/// "1 entry", "2 entries": the count with the word in the number it needs.
std::string CountText(uint64_t count, const std::string& one, const std::string& many);

/// The permissions of an entry as `ls -l` and zipinfo show them ("drwxr-xr-x").
/// `unix_mode` is 0 for entries made where files have no Unix mode; their type and
/// read-only flag are then all there is to show.
std::string PermissionText(uint32_t unix_mode, bool is_folder, bool read_only);

}  // namespace kestrova
