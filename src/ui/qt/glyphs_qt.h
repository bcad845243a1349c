// The stock glyphs of buttons, drawn rather than loaded.
#pragma once

#include <QIcon>

#include "ui/types.h"

namespace kestrova::ui {

/// The glyph of a button kind: a green check mark for Ok, a red cross for Cancel,
/// none for Custom.
QIcon StockGlyph(TBitBtnKind kind);

}  // namespace kestrova::ui
