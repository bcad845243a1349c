// Fonts of the vocabulary as GDI fonts.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "ui/types.h"

namespace kestrova::ui {

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const {
    if (object) DeleteObject(object);
  }
};
/// An owned GDI font.
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

/// The font of that name and pixel height; the fixed-pitch names of old systems
/// ("Fixedsys", "Terminal") become the system's fixed-pitch family.
OwnedFont MakeFont(const TFont& font);

}  // namespace kestrova::ui
