// Colours and fonts of the vocabulary in Qt's terms.
#pragma once

#include <QColor>
#include <QFont>

#include "ui/types.h"

namespace kestrova::ui {

inline QColor ToQColor(TColor c) { return QColor(c.red, c.green, c.blue); }
inline TColor FromQColor(const QColor& c) {
  return TColor::Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

/// The font of that name and pixel height; names of fonts this system lacks, such
/// as the Windows dialog fonts, fall back to its sans-serif or fixed-pitch family.
QFont ToQFont(const TFont& font);

}  // namespace kestrova::ui
