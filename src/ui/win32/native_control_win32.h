// The Win32 side of a control: the window behind it and what the vocabulary keeps
// about it that the window itself cannot hold.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control.h"
#include "ui/form.h"
#include "ui/win32/fonts_win32.h"

namespace kestrova::ui {

/// The window procedure of the port's own window classes.
LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

/// Owns the window of one control and keeps the control's place among its
/// parent's children, so layout, tab order and the search for default buttons
/// follow the order in which controls were made. Windows of the port's own classes
/// hand their messages to HandleMessage; system controls (buttons, rich edits)
/// report to their parent, which passes the notification on to the child's object.
class NativeControl {
 public:
  explicit NativeControl(NativeControl* parent);
  virtual ~NativeControl();
  NativeControl(const NativeControl&) = delete;
  NativeControl& operator=(const NativeControl&) = delete;

  HWND Handle() const { return hwnd_; }
  NativeControl* Parent() const { return parent_; }
  const std::vector<NativeControl*>& Children() const { return children_; }
  /// The object behind a window of this program, or null.
  static NativeControl* FromHandle(HWND hwnd);
  /// The form window that holds this control (itself for a form).
  NativeControl& Root();
  /// Guards against a handler that destroys the control that runs it.
  std::weak_ptr<int> LivenessToken() const { return alive_; }

  // Messages to windows of the port's classes. Returning false leaves the message
  // to the common handling (background, painting, notifications, layout, cursor).
  virtual bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
  /// Draws the client area; for the port's own classes.
  virtual void Paint(HDC dc, const RECT& client);
  /// A notification (WM_COMMAND code) from this system control.
  virtual void OnCommand(WORD /*code*/) {}
  /// An owner-drawn system control's turn to draw.
  virtual void DrawItem(const DRAWITEMSTRUCT& /*item*/) {}

  virtual bool IsContainer() const { return false; }
  /// The form of a form window; null for every other control.
  virtual TForm* Form() const { return nullptr; }
  virtual bool IsForm() const { return false; }
  /// Whether the Tab key stops at this control.
  virtual bool TakesFocus() const { return false; }
  /// Whether this control keeps Enter and Esc to itself while it has the focus.
  virtual bool KeepsEnterAndEscape() const { return false; }
  /// Buttons: whether Enter (default) or Esc (cancel) presses this one, and the
  /// press itself.
  virtual bool IsDefaultButton() const { return false; }
  virtual bool IsCancelButton() const { return false; }
  virtual bool IsButton() const { return false; }
  virtual void Press() {}
  /// Whether the control and its parents up to its form are set to be shown; the
  /// form itself may be hidden.
  bool VisibleInForm() const;
  /// Margin inside the control that aligned children keep clear of.
  virtual int ContentMargin() const { return 0; }

  void LayOutAlignedChildren();
  /// The control's own colour changed; system controls pass it on.
  virtual void ColorChanged() {}
  /// The colour under this control: its own, or the nearest parent's.
  COLORREF BackgroundColor() const;
  void ApplyFont(const TFont& font, bool own);
  HFONT FontHandle() const { return font_handle_.get(); }

  std::optional<TColor> color;
  TFont font;
  bool own_font = false;
  TCursor cursor = TCursor::Default;
  std::optional<int> tab_order;
  TAlign align = TAlign::None;

 protected:
  /// Makes the window; `window_class` null means the port's own control class.
  void CreateChild(const wchar_t* window_class, DWORD style, DWORD ex_style = 0);
  /// Adopts a window made elsewhere (forms make their own).
  void Adopt(HWND hwnd);
  virtual void FontChanged() {}

 private:
  friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT CommonMessage(UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  NativeControl* parent_ = nullptr;
  std::vector<NativeControl*> children_;
  OwnedFont font_handle_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

/// The object behind the window of a container the new control goes into.
inline NativeControl* ParentNative(TWinControl& parent) { return &parent.Native(); }

/// Text of the vocabulary (UTF-8) for the wide Windows calls, and back.
std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);

inline COLORREF ToColorRef(TColor c) { return RGB(c.red, c.green, c.blue); }

/// The window classes of the port, registered once per process.
const wchar_t* ControlClassName();
const wchar_t* FormClassName();
HINSTANCE ModuleInstance();

}  // namespace kestrova::ui
