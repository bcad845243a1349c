#include <windows.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "ui/application.h"
#include "ui/form.h"
#include "ui/win32/message_loop_win32.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

// Runs the activation handler from the loop rather than from inside the system's
// activation, so that it may take long and process messages itself.
constexpr UINT kActivatedMessage = WM_APP + 2;

/// The top-level window of a form: frame styles, placement, activation, closing
/// and the focus it gives back when it is activated again.
class FormWindow : public NativeControl {
 public:
  FormWindow(TForm& form, TForm* owner) : NativeControl(nullptr), form_(form) {
    HWND owner_window = owner ? owner->Native().Handle() : nullptr;
    CreateWindowExW(ExStyle(), FormClassName(), L"", Style(), CW_USEDEFAULT, CW_USEDEFAULT, 200, 100,
                    owner_window, nullptr, ModuleInstance(), static_cast<NativeControl*>(this));
    ApplyFont(font, false);
    RECT client;
    GetClientRect(Handle(), &client);
    client_width_ = client.right;
    client_height_ = client.bottom;
  }

  bool IsContainer() const override { return true; }
  bool IsForm() const override { return true; }
  TForm* Form() const override { return &form_; }

  void SetBorderStyle(TFormBorderStyle style) {
    border_style_ = style;
    ApplyStyles();
  }
  void SetBorderIcons(unsigned icons) {
    border_icons_ = icons;
    ApplyStyles();
  }
  void SetStayOnTop(bool on_top) {
    stay_on_top_ = on_top;
    SetWindowPos(Handle(), on_top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  void SetAlpha(bool enabled, int value) {
    alpha_ = enabled ? std::clamp(value, 0, 255) : 255;
    layered_ = enabled;
    ApplyStyles();
    if (layered_) SetLayeredWindowAttributes(Handle(), 0, static_cast<BYTE>(alpha_), LWA_ALPHA);
  }
  void SetPosition(TPosition position) { position_ = position; }
  void SetClientSize(int width, int height) {
    client_width_ = width;
    client_height_ = height;
    FitFrameToClient();
  }

  void Show() {
    PlaceOnScreen();
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    SetActiveWindow(Handle());
    UpdateWindow(Handle());
  }

  bool modal = false;

  bool HandleMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) override {
    switch (message) {
      case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_INACTIVE) {
          if (HWND focus = GetFocus(); focus && IsChild(Handle(), focus)) saved_focus_ = focus;
        } else {
          RestoreFocus();
          PostMessageW(Handle(), kActivatedMessage, 0, 0);
        }
        result = 0;
        return true;
      case kActivatedMessage:
        form_.DoActivate();
        result = 0;
        return true;
      case WM_CLOSE:
        form_.DoClose();
        ShowWindow(Handle(), SW_HIDE);
        result = 0;
        return true;
      default:
        return false;
    }
  }

 private:
  DWORD Style() const {
    DWORD style = WS_CLIPCHILDREN;
    switch (border_style_) {
      case TFormBorderStyle::None: return style | WS_POPUP;
      case TFormBorderStyle::Single: style |= WS_OVERLAPPED | WS_CAPTION; break;
      case TFormBorderStyle::Dialog:
      case TFormBorderStyle::ToolWindow: style |= WS_POPUP | WS_CAPTION; break;
    }
    if (border_icons_ & biSystemMenu) style |= WS_SYSMENU;
    if (border_style_ == TFormBorderStyle::Single) {
      if (border_icons_ & biMinimize) style |= WS_MINIMIZEBOX;
      if (border_icons_ & biMaximize) style |= WS_MAXIMIZEBOX;
    }
    return style;
  }

  DWORD ExStyle() const {
    DWORD ex_style = 0;
    if (border_style_ == TFormBorderStyle::Dialog) ex_style |= WS_EX_DLGMODALFRAME;
    if (border_style_ == TFormBorderStyle::ToolWindow) ex_style |= WS_EX_TOOLWINDOW;
    if (stay_on_top_) ex_style |= WS_EX_TOPMOST;
    if (layered_) ex_style |= WS_EX_LAYERED;
    return ex_style;
  }

  void ApplyStyles() {
    const bool visible = IsWindowVisible(Handle());
    SetWindowLongW(Handle(), GWL_STYLE, static_cast<LONG>(Style() | (visible ? WS_VISIBLE : 0)));
    SetWindowLongW(Handle(), GWL_EXSTYLE, static_cast<LONG>(ExStyle()));
    FitFrameToClient();
  }

  // The frame changes with the styles; the client area keeps its size.
  void FitFrameToClient() {
    RECT outer{0, 0, client_width_, client_height_};
    AdjustWindowRectEx(&outer, Style(), FALSE, ExStyle());
    SetWindowPos(Handle(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }

  void PlaceOnScreen() {
    if (placed_ || position_ == TPosition::Designed) return;
    placed_ = true;
    const TRect desktop = DesktopRect();
    RECT outer;
    GetWindowRect(Handle(), &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    SetWindowPos(Handle(), nullptr, desktop.left + (desktop.width - width) / 2,
                 desktop.top + (desktop.height - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void RestoreFocus() {
    if (saved_focus_ && IsWindow(saved_focus_) && IsChild(Handle(), saved_focus_) && IsWindowVisible(saved_focus_) &&
        IsWindowEnabled(saved_focus_)) {
      SetFocus(saved_focus_);
      return;
    }
    FocusFirstInTabOrder();
  }

  void FocusFirstInTabOrder() {
    NativeControl* first = nullptr;
    int first_order = INT_MAX;
    std::vector<NativeControl*> pending(Children().begin(), Children().end());
    while (!pending.empty()) {
      NativeControl* control = pending.back();
      pending.pop_back();
      pending.insert(pending.end(), control->Children().begin(), control->Children().end());
      if (!control->TakesFocus() || !control->tab_order || !control->VisibleInForm() ||
          !IsWindowEnabled(control->Handle())) {
        continue;
      }
      if (*control->tab_order < first_order) {
        first = control;
        first_order = *control->tab_order;
      }
    }
    SetFocus(first ? first->Handle() : Handle());
  }

  TForm& form_;
  TFormBorderStyle border_style_ = TFormBorderStyle::Single;
  unsigned border_icons_ = biSystemMenu | biMinimize | biMaximize;
  bool stay_on_top_ = false;
  bool layered_ = false;
  int alpha_ = 255;
  TPosition position_ = TPosition::Designed;
  bool placed_ = false;
  int client_width_ = 0;
  int client_height_ = 0;
  HWND saved_focus_ = nullptr;
};

FormWindow& Window(const TForm& form) { return static_cast<FormWindow&>(form.Native()); }

struct DisabledWindows {
  HWND modal;
  std::vector<HWND> disabled;
};

BOOL CALLBACK DisableUnlessModal(HWND hwnd, LPARAM data) {
  auto* windows = reinterpret_cast<DisabledWindows*>(data);
  if (hwnd != windows->modal && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
    EnableWindow(hwnd, FALSE);
    windows->disabled.push_back(hwnd);
  }
  return TRUE;
}

// A modal window keeps the program's other windows from input while it is shown.
std::vector<HWND> DisableOtherWindows(HWND modal) {
  DisabledWindows windows{modal, {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableUnlessModal, reinterpret_cast<LPARAM>(&windows));
  return windows.disabled;
}

}  // namespace

TForm::TForm(TForm* owner) : TWinControl(std::make_unique<FormWindow>(*this, owner)) {}

TForm::~TForm() = default;

void TForm::SetCaption(const std::string& caption) { SetWindowTextW(Native().Handle(), Wide(caption).c_str()); }

std::string TForm::Caption() const {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(Native().Handle())) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(Native().Handle(), text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

void TForm::SetClientSize(int width, int height) { Window(*this).SetClientSize(width, height); }

int TForm::ClientWidth() const {
  RECT client;
  GetClientRect(Native().Handle(), &client);
  return client.right;
}

int TForm::ClientHeight() const {
  RECT client;
  GetClientRect(Native().Handle(), &client);
  return client.bottom;
}

void TForm::SetBorderStyle(TFormBorderStyle style) { Window(*this).SetBorderStyle(style); }

void TForm::SetBorderIcons(unsigned icons) { Window(*this).SetBorderIcons(icons); }

void TForm::SetFormStyle(TFormStyle style) { Window(*this).SetStayOnTop(style == TFormStyle::StayOnTop); }

void TForm::SetPosition(TPosition position) { Window(*this).SetPosition(position); }

void TForm::SetAlphaBlend(bool enabled, int value) { Window(*this).SetAlpha(enabled, value); }

void TForm::Show() { Window(*this).Show(); }

void TForm::Hide() { ShowWindow(Native().Handle(), SW_HIDE); }

TModalResult TForm::ShowModal() {
  FormWindow& window = Window(*this);
  HWND hwnd = window.Handle();
  modal_result_ = TModalResult::None;
  const std::vector<HWND> disabled = DisableOtherWindows(hwnd);
  window.modal = true;
  Show();
  RunLoopUntil([&] { return !IsWindowVisible(hwnd) || modal_result_ != TModalResult::None; });
  // The others first, so that the system activates one of them when this one goes.
  for (HWND other : disabled) EnableWindow(other, TRUE);
  // Ending by a modal result closes the window like any other way of closing.
  if (IsWindowVisible(hwnd)) Close();
  window.modal = false;
  return modal_result_;
}

bool TForm::ShownModally() const { return Window(*this).modal; }

// The modal loop looks at the result after a message; make sure one comes.
void TForm::WakeModalLoop() { PostMessageW(Native().Handle(), WM_NULL, 0, 0); }

}  // namespace kestrova::ui
