// The system's wide-character calls take UTF-16 where the program keeps UTF-8, so
// that every file name stays reachable, whatever the ANSI code page can show.
// For the Windows files only: wchar_t is a UTF-16 unit there.
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace kestrova {

inline std::wstring ToWide(std::string_view utf8) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string FromWide(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace kestrova
