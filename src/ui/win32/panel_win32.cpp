#include <windows.h>

#include <algorithm>

#include "ui/panel.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

/// A panel: background, an optional one-pixel frame and a centred caption.
class PanelWindow : public NativeControl {
 public:
  explicit PanelWindow(NativeControl* parent) : NativeControl(parent) {
    CreateChild(nullptr, WS_CLIPCHILDREN);
  }

  bool IsContainer() const override { return true; }
  int ContentMargin() const override { return (border_ == TPanelBorder::Single ? 1 : 0) + border_width_; }

  void SetCaption(const std::string& caption) {
    caption_ = Wide(caption);
    InvalidateRect(Handle(), nullptr, TRUE);
  }
  void SetBorder(TPanelBorder border) {
    border_ = border;
    Changed();
  }
  void SetBorderWidth(int width) {
    border_width_ = std::max(0, width);
    Changed();
  }

  void Paint(HDC dc, const RECT& client) override {
    NativeControl::Paint(dc, client);
    RECT text_room = client;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(font.color));
    HGDIOBJ old_font = SelectObject(dc, FontHandle());
    DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &text_room,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old_font);
    if (border_ == TPanelBorder::Single) {
      // Black, as on the other platform: themes make the frame colour a light grey.
      HBRUSH frame = CreateSolidBrush(RGB(0, 0, 0));
      FrameRect(dc, &client, frame);
      DeleteObject(frame);
    }
  }

 private:
  void Changed() {
    LayOutAlignedChildren();
    InvalidateRect(Handle(), nullptr, TRUE);
  }

  std::wstring caption_;
  TPanelBorder border_ = TPanelBorder::None;
  int border_width_ = 0;
};

PanelWindow& Window(const TPanel& panel) { return static_cast<PanelWindow&>(panel.Native()); }

}  // namespace

TPanel::TPanel(TWinControl& parent) : TWinControl(std::make_unique<PanelWindow>(ParentNative(parent))) {}

void TPanel::SetCaption(const std::string& caption) { Window(*this).SetCaption(caption); }

void TPanel::SetBorderStyle(TPanelBorder border) { Window(*this).SetBorder(border); }

void TPanel::SetBorderWidth(int width) { Window(*this).SetBorderWidth(width); }

}  // namespace kestrova::ui
