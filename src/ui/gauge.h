// A horizontal progress bar.
#pragma once

#include "ui/control.h"

namespace kestrova::ui {

/// A horizontal bar filled in proportion to Progress between MinValue and MaxValue.
/// Progress is kept within the range.
class TGauge : public TControl {
 public:
  explicit TGauge(TWinControl& parent);

  void SetMinValue(int value);
  void SetMaxValue(int value);
  int MaxValue() const;
  void SetProgress(int value);
  int Progress() const;
  /// Whole percent of the range that Progress covers, truncated; 0 for an empty range.
  int PercentDone() const;
  void SetForeColor(TColor color);
  /// Whether the percentage is written into the bar.
  void SetShowText(bool show);
  /// The pixels of a bar `width` pixels long that Progress fills.
  int FilledWidth(int width) const;

 private:
  /// The port's part of a change: the control is drawn again.
  void Redraw();

  int min_ = 0;
  int max_ = 100;
  int progress_ = 0;
};

}  // namespace kestrova::ui
