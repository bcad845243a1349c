#include <windows.h>

#include "ui/label.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

/// Static text drawn over its own colour or, without one, over its parent's.
class LabelWindow : public NativeControl {
 public:
  explicit LabelWindow(NativeControl* parent) : NativeControl(parent) { CreateChild(nullptr, 0); }

  void SetCaption(const std::string& caption) {
    caption_ = caption;
    SetWindowTextW(Handle(), Wide(caption).c_str());
    InvalidateRect(Handle(), nullptr, TRUE);
  }
  const std::string& Caption() const { return caption_; }
  void SetAlignment(TAlignment alignment) {
    alignment_ = alignment;
    InvalidateRect(Handle(), nullptr, TRUE);
  }
  TAlignment Alignment() const { return alignment_; }

  void Paint(HDC dc, const RECT& client) override {
    NativeControl::Paint(dc, client);
    UINT format = DT_TOP | DT_NOPREFIX | DT_EXPANDTABS;
    if (alignment_ == TAlignment::RightJustify) format |= DT_RIGHT;
    if (alignment_ == TAlignment::Center) format |= DT_CENTER;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(Handle()) ? ToColorRef(font.color) : GetSysColor(COLOR_GRAYTEXT));
    HGDIOBJ old_font = SelectObject(dc, FontHandle());
    const std::wstring text = Wide(caption_);
    RECT room = client;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &room, format);
    SelectObject(dc, old_font);
  }

 private:
  std::string caption_;
  TAlignment alignment_ = TAlignment::LeftJustify;
};

LabelWindow& Window(const TLabel& label) { return static_cast<LabelWindow&>(label.Native()); }

}  // namespace

TLabel::TLabel(TWinControl& parent) : TControl(std::make_unique<LabelWindow>(ParentNative(parent))) {}

void TLabel::SetCaption(const std::string& caption) { Window(*this).SetCaption(caption); }

std::string TLabel::Caption() const { return Window(*this).Caption(); }

void TLabel::SetAlignment(TAlignment alignment) { Window(*this).SetAlignment(alignment); }

TAlignment TLabel::Alignment() const { return Window(*this).Alignment(); }

}  // namespace kestrova::ui
