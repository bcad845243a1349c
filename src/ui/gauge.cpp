#include "ui/gauge.h"

#include <algorithm>

namespace kestrova::ui {

void TGauge::SetMinValue(int value) {
  min_ = value;
  max_ = std::max(value, max_);
  SetProgress(progress_);
}

void TGauge::SetMaxValue(int value) {
  min_ = std::min(value, min_);
  max_ = value;
  SetProgress(progress_);
}

int TGauge::MaxValue() const { return max_; }

void TGauge::SetProgress(int value) {
  progress_ = std::clamp(value, min_, max_);
  Redraw();
}

int TGauge::Progress() const { return progress_; }

int TGauge::PercentDone() const { return FilledWidth(100); }

int TGauge::FilledWidth(int width) const {
  if (max_ == min_) return 0;
  // In 64 bits: a range of file sizes times a width overflows an int.
  return static_cast<int>(static_cast<long long>(width) * (static_cast<long long>(progress_) - min_) /
                          (static_cast<long long>(max_) - min_));
}

}  // namespace kestrova::ui
