#include <windows.h>

#include "ui/button.h"
#include "ui/form.h"
#include "ui/win32/glyphs_win32.h"
#include "ui/handler.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

constexpr int kGlyphGap = 4;

/// A system push button that the program draws itself, so that the glyph sits
/// beside the caption on every version of the common controls.
class ButtonWindow : public NativeControl {
 public:
  ButtonWindow(NativeControl* parent, TBitBtn& button) : NativeControl(parent), button_(button) {
    CreateChild(L"BUTTON", BS_OWNERDRAW | WS_TABSTOP);
  }

  bool TakesFocus() const override { return true; }
  bool IsButton() const override { return true; }
  bool IsDefaultButton() const override { return is_default; }
  bool IsCancelButton() const override { return is_cancel; }

  void OnCommand(WORD code) override {
    if (code == BN_CLICKED) Press();
  }

  void Press() override {
    const std::weak_ptr<int> alive = LivenessToken();
    // A click whose handler failed does not go on to end the modal display.
    if (!RunHandler(button_.OnClick) || alive.expired()) return;
    if (button_.ModalResult() == TModalResult::None) return;
    if (TForm* form = Root().Form()) form->SetModalResult(button_.ModalResult());
  }

  void DrawItem(const DRAWITEMSTRUCT& item) override {
    HDC dc = item.hDC;
    RECT face = item.rcItem;
    const bool enabled = !(item.itemState & ODS_DISABLED);
    if (is_default) {
      HBRUSH frame = CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME));
      FrameRect(dc, &face, frame);
      DeleteObject(frame);
      InflateRect(&face, -1, -1);
    }
    DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | ((item.itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));

    HGDIOBJ old_font = SelectObject(dc, FontHandle());
    RECT measured{0, 0, 0, 0};
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &measured, DT_CALCRECT | DT_SINGLELINE);
    const bool glyph = button_.Kind() != TBitBtnKind::Custom;
    const int text_width = measured.right - measured.left;
    const int content_width = text_width + (glyph ? kGlyphSize + kGlyphGap : 0);
    const int shift = (item.itemState & ODS_SELECTED) ? 1 : 0;
    int x = (item.rcItem.left + item.rcItem.right - content_width) / 2 + shift;
    const int middle = (item.rcItem.top + item.rcItem.bottom) / 2 + shift;
    if (glyph) {
      DrawStockGlyph(dc, x, middle - kGlyphSize / 2, button_.Kind(), enabled);
      x += kGlyphSize + kGlyphGap;
    }
    RECT text{x, item.rcItem.top + shift, x + text_width, item.rcItem.bottom + shift};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, enabled ? ToColorRef(font.color) : GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, old_font);
    if (item.itemState & ODS_FOCUS) {
      RECT focus = face;
      InflateRect(&focus, -3, -3);
      DrawFocusRect(dc, &focus);
    }
  }

  std::wstring caption;
  bool is_default = false;
  bool is_cancel = false;

 private:
  TBitBtn& button_;
};

ButtonWindow& Window(const TBitBtn& button) { return static_cast<ButtonWindow&>(button.Native()); }

}  // namespace

TBitBtn::TBitBtn(TWinControl& parent) : TControl(std::make_unique<ButtonWindow>(ParentNative(parent), *this)) {}

void TBitBtn::ShowGlyph() { InvalidateRect(Native().Handle(), nullptr, TRUE); }

void TBitBtn::SetCaption(const std::string& caption) {
  ButtonWindow& window = Window(*this);
  window.caption = Wide(caption);
  SetWindowTextW(window.Handle(), window.caption.c_str());
  InvalidateRect(window.Handle(), nullptr, TRUE);
}

std::string TBitBtn::Caption() const { return Narrow(Window(*this).caption); }

void TBitBtn::SetDefault(bool is_default) {
  Window(*this).is_default = is_default;
  InvalidateRect(Native().Handle(), nullptr, TRUE);
}

bool TBitBtn::Default() const { return Window(*this).is_default; }

void TBitBtn::SetCancel(bool is_cancel) { Window(*this).is_cancel = is_cancel; }

bool TBitBtn::Cancel() const { return Window(*this).is_cancel; }

void TBitBtn::Click() {
  ButtonWindow& window = Window(*this);
  if (window.VisibleInForm() && IsWindowEnabled(window.Handle())) window.Press();
}

}  // namespace kestrova::ui
