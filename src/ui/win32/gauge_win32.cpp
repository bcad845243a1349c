#include <windows.h>

#include <algorithm>
#include <string>

#include "ui/gauge.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

/// A bar gauge drawn by the program, since the system's progress bar takes no
/// colour of its own under visual styles: white well, dark frame, the bar in the
/// fore colour and the percentage over it.
class GaugeWindow : public NativeControl {
 public:
  explicit GaugeWindow(NativeControl* parent) : NativeControl(parent) { CreateChild(nullptr, 0); }

  void SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    SetProgress(progress_);
  }
  void SetProgress(int value) {
    progress_ = std::clamp(value, min_, max_);
    InvalidateRect(Handle(), nullptr, FALSE);
  }
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Progress() const { return progress_; }
  int Percent() const {
    if (max_ == min_) return 0;
    return static_cast<int>(100LL * (static_cast<long long>(progress_) - min_) / (static_cast<long long>(max_) - min_));
  }
  void SetForeColor(TColor color) {
    fore_ = ToColorRef(color);
    InvalidateRect(Handle(), nullptr, FALSE);
  }
  void SetShowText(bool show) {
    show_text_ = show;
    InvalidateRect(Handle(), nullptr, FALSE);
  }

  void Paint(HDC dc, const RECT& client) override {
    RECT well = client;
    InflateRect(&well, -1, -1);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &well, white);
    DeleteObject(white);
    const long long span = static_cast<long long>(max_) - min_;
    const int filled =
        span == 0 ? 0 : static_cast<int>((well.right - well.left) * (static_cast<long long>(progress_) - min_) / span);
    RECT bar{well.left, well.top, well.left + filled, well.bottom};
    HBRUSH fore = CreateSolidBrush(fore_);
    FillRect(dc, &bar, fore);
    DeleteObject(fore);
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    FrameRect(dc, &client, black);
    DeleteObject(black);
    if (show_text_) {
      const std::wstring text = std::to_wstring(Percent()) + L"%";
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, ToColorRef(font.color));
      HGDIOBJ old_font = SelectObject(dc, FontHandle());
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &well, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectObject(dc, old_font);
    }
  }

 private:
  int min_ = 0;
  int max_ = 100;
  int progress_ = 0;
  COLORREF fore_ = RGB(0, 0, 0);
  bool show_text_ = true;
};

GaugeWindow& Window(const TGauge& gauge) { return static_cast<GaugeWindow&>(gauge.Native()); }

}  // namespace

TGauge::TGauge(TWinControl& parent) : TControl(std::make_unique<GaugeWindow>(ParentNative(parent))) {}

void TGauge::SetMinValue(int value) { Window(*this).SetRange(value, std::max(value, Window(*this).Max())); }

void TGauge::SetMaxValue(int value) { Window(*this).SetRange(std::min(value, Window(*this).Min()), value); }

int TGauge::MaxValue() const { return Window(*this).Max(); }

void TGauge::SetProgress(int value) { Window(*this).SetProgress(value); }

int TGauge::Progress() const { return Window(*this).Progress(); }

int TGauge::PercentDone() const { return Window(*this).Percent(); }

void TGauge::SetForeColor(TColor color) { Window(*this).SetForeColor(color); }

void TGauge::SetShowText(bool show) { Window(*this).SetShowText(show); }

}  // namespace kestrova::ui
