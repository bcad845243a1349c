#include <windows.h>

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
  GaugeWindow(NativeControl* parent, const TGauge& gauge) : NativeControl(parent), gauge_(gauge) {
    CreateChild(nullptr, 0);
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
    RECT bar{well.left, well.top, well.left + gauge_.FilledWidth(well.right - well.left), well.bottom};
    HBRUSH fore = CreateSolidBrush(fore_);
    FillRect(dc, &bar, fore);
    DeleteObject(fore);
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    FrameRect(dc, &client, black);
    DeleteObject(black);
    if (show_text_) {
      const std::wstring text = std::to_wstring(gauge_.PercentDone()) + L"%";
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, ToColorRef(font.color));
      HGDIOBJ old_font = SelectObject(dc, FontHandle());
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &well, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectObject(dc, old_font);
    }
  }

 private:
  const TGauge& gauge_;
  COLORREF fore_ = RGB(0, 0, 0);
  bool show_text_ = true;
};

GaugeWindow& Window(const TGauge& gauge) { return static_cast<GaugeWindow&>(gauge.Native()); }

}  // namespace

TGauge::TGauge(TWinControl& parent) : TControl(std::make_unique<GaugeWindow>(ParentNative(parent), *this)) {}

void TGauge::Redraw() { InvalidateRect(Native().Handle(), nullptr, FALSE); }

void TGauge::SetForeColor(TColor color) { Window(*this).SetForeColor(color); }

void TGauge::SetShowText(bool show) { Window(*this).SetShowText(show); }

}  // namespace kestrova::ui
