// Conversions at the edge of the Windows API. Paths and texts are UTF-8 inside the
// program and UTF-16 in every wide system call, so that any file name is reachable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

/// UTF-8 (bytes that are not UTF-8 read as Windows-1252) as a wide string for a ...W call.
std::wstring WideText(std::string_view utf8);
/// A wide string from the system as UTF-8.
std::string Utf8Text(std::wstring_view wide);
/// The system's text for an error code (GetLastError), without the line break.
std::string SystemErrorText(uint32_t code);
/// The text for GetLastError() now.
std::string LastErrorText();

}  // namespace kestrova
