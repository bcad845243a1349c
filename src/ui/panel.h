// A plain container with an optional frame.
#pragma once

#include <string>

#include "ui/control.h"

namespace kestrova::ui {

/// A rectangle in one colour that holds other controls. Its caption is drawn in the
/// middle, under whatever the panel holds.
class TPanel : public TWinControl {
 public:
  explicit TPanel(TWinControl& parent);

  void SetCaption(const std::string& caption);
  /// Single: a one-pixel frame in the window-frame colour; no bevel is drawn.
  void SetBorderStyle(TPanelBorder border);
  /// Empty margin inside the frame that aligned children keep clear of.
  void SetBorderWidth(int width);
};

}  // namespace kestrova::ui
