// Writing pictures as PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::ui {

/// Writes top-down rows of 0x00RRGGBB pixels as an 8-bit RGB PNG file at the
/// UTF-8 path `path`. Returns whether the whole file was written.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels);

}  // namespace kestrova::ui
