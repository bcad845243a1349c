#include "ui/win32/fonts_win32.h"

#include <array>
#include <string>

#include "base/text.h"

namespace kestrova::ui {
namespace {

bool IsFixedPitchName(const std::string& name) {
  static const std::array<const char*, 2> kFixed = {"Fixedsys", "Terminal"};
  for (const char* fixed : kFixed) {
    if (EqualsIgnoreCase(name, fixed)) return true;
  }
  return false;
}

}  // namespace

OwnedFont MakeFont(const TFont& font) {
  LOGFONTW log{};
  // A negative height asks for the character height rather than the cell height.
  log.lfHeight = -(font.height > 0 ? font.height : 11);
  log.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  log.lfItalic = font.italic;
  log.lfUnderline = font.underline;
  log.lfCharSet = DEFAULT_CHARSET;
  log.lfQuality = DEFAULT_QUALITY;
  if (IsFixedPitchName(font.name)) {
    // Those are raster fonts of one size; the fixed-pitch family scales.
    log.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  } else {
    log.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    const std::u16string face = Utf8ToUtf16(font.name);
    face.copy(reinterpret_cast<char16_t*>(log.lfFaceName), LF_FACESIZE - 1);
  }
  return OwnedFont(CreateFontIndirectW(&log));
}

}  // namespace kestrova::ui
