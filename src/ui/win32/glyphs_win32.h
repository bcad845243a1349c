// The stock glyphs of buttons, drawn rather than loaded.
#pragma once

#include <windows.h>

#include "ui/types.h"

namespace kestrova::ui {

constexpr int kGlyphSize = 16;

/// Draws the glyph of a button kind with its top left corner at (x, y): a green
/// check mark for Ok, a red cross for Cancel, nothing for Custom. Greyed when
/// `enabled` is false.
void DrawStockGlyph(HDC dc, int x, int y, TBitBtnKind kind, bool enabled);

}  // namespace kestrova::ui
