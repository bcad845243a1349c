// Plain value types shared by the window vocabulary and its ports.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova::ui {

/// An opaque RGB colour.
struct TColor {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;

  static constexpr TColor Rgb(uint8_t r, uint8_t g, uint8_t b) { return TColor{r, g, b}; }
  /// From a colour number in blue-green-red order, as form resources store it.
  static constexpr TColor FromBgr(uint32_t value) {
    return TColor{static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF),
                  static_cast<uint8_t>((value >> 16) & 0xFF)};
  }
  friend constexpr bool operator==(TColor, TColor) = default;
};

inline constexpr TColor clBlack = TColor::Rgb(0, 0, 0);
inline constexpr TColor clWhite = TColor::Rgb(255, 255, 255);
inline constexpr TColor clAqua = TColor::Rgb(0, 255, 255);
inline constexpr TColor clWindowText = clBlack;

/// A font by name and character height in pixels. Names of fonts the system lacks
/// are mapped by the port to its sans-serif or fixed-pitch family.
struct TFont {
  std::string name = "MS Sans Serif";
  int height = 11;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  TColor color = clWindowText;
};

struct TRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

enum class TAlignment { LeftJustify, RightJustify, Center };

/// How a control claims room in its parent: not at all, a strip along the top, or
/// whatever is left.
enum class TAlign { None, Top, Client };

enum class TCursor { Default, Arrow, AppStart, HandPoint };

enum class TModalResult { None, Ok, Cancel };

enum class TFormBorderStyle { None, Single, Dialog, ToolWindow };

/// Title-bar icons of a form, combined with |.
enum TBorderIcons : unsigned {
  biNone = 0,
  biSystemMenu = 1,
  biMinimize = 2,
  biMaximize = 4,
};

enum class TFormStyle { Normal, StayOnTop };

enum class TPosition { Designed, ScreenCenter, DesktopCenter };

enum class TPanelBorder { None, Single };

enum class TBitBtnKind { Custom, Ok, Cancel };

enum class TScrollStyle { None, Vertical, Both };

}  // namespace kestrova::ui
