#include <windows.h>

#include <algorithm>

#include "ui/control.h"
#include "ui/form.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {

TControl::TControl(std::unique_ptr<NativeControl> native) : native_(std::move(native)) {}

TControl::~TControl() = default;

void TControl::SetBounds(int left, int top, int width, int height) {
  MoveWindow(native_->Handle(), left, top, std::max(0, width), std::max(0, height), TRUE);
  if (NativeControl* parent = native_->Parent(); parent && native_->align != TAlign::None) {
    parent->LayOutAlignedChildren();
  }
}

TRect TControl::BoundsRect() const {
  HWND hwnd = native_->Handle();
  RECT r;
  GetWindowRect(hwnd, &r);
  if (HWND parent = GetParent(hwnd); parent && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) {
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  }
  return TRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TControl::SetAlign(TAlign align) {
  native_->align = align;
  if (NativeControl* parent = native_->Parent()) parent->LayOutAlignedChildren();
}

void TControl::SetVisible(bool visible) {
  if (native_->IsForm()) {
    // A form is shown the way Show does it: placed, activated, focused.
    if (visible) {
      static_cast<TForm*>(this)->Show();
    } else {
      static_cast<TForm*>(this)->Hide();
    }
    return;
  }
  ShowWindow(native_->Handle(), visible ? SW_SHOWNA : SW_HIDE);
}

bool TControl::Visible() const {
  HWND hwnd = native_->Handle();
  return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TControl::SetEnabled(bool enabled) {
  EnableWindow(native_->Handle(), enabled);
  InvalidateRect(native_->Handle(), nullptr, TRUE);
}

bool TControl::Enabled() const { return IsWindowEnabled(native_->Handle()) != 0; }

void TControl::SetColor(TColor color) {
  native_->color = color;
  native_->ColorChanged();
  RedrawWindow(native_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TControl::SetFont(const TFont& font) { native_->ApplyFont(font, true); }

void TControl::SetCursor(TCursor cursor) { native_->cursor = cursor; }

void TControl::SetTabOrder(int order) { native_->tab_order = order; }

void TControl::SetFocus() { ::SetFocus(native_->Handle()); }

bool TControl::Focused() const { return GetFocus() == native_->Handle(); }

void TControl::Repaint() {
  RedrawWindow(native_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace kestrova::ui
