#include "ui/win32/message_loop_win32.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

// A bound on one round of pending messages: a window that keeps asking to be
// painted must not keep the caller here.
constexpr int kMaxPendingMessages = 10000;

void CollectFocusable(NativeControl& control, std::vector<NativeControl*>& into) {
  for (NativeControl* child : control.Children()) {
    if (child->TakesFocus() && child->VisibleInForm() && IsWindowEnabled(child->Handle())) into.push_back(child);
    CollectFocusable(*child, into);
  }
}

NativeControl* FindButton(NativeControl& control, bool cancel) {
  for (NativeControl* child : control.Children()) {
    const bool role = cancel ? child->IsCancelButton() : child->IsDefaultButton();
    if (role && child->VisibleInForm() && IsWindowEnabled(child->Handle())) return child;
    if (NativeControl* found = FindButton(*child, cancel)) return found;
  }
  return nullptr;
}

void MoveFocus(NativeControl& form, NativeControl* focused, bool backwards) {
  std::vector<NativeControl*> order;
  CollectFocusable(form, order);
  if (order.empty()) return;
  std::stable_sort(order.begin(), order.end(),
                   [](const NativeControl* a, const NativeControl* b) { return a->tab_order.value_or(INT_MAX) < b->tab_order.value_or(INT_MAX); });
  auto at = std::find(order.begin(), order.end(), focused);
  size_t next = 0;
  if (at != order.end()) {
    const size_t index = static_cast<size_t>(at - order.begin());
    next = backwards ? (index + order.size() - 1) % order.size() : (index + 1) % order.size();
  }
  SetFocus(order[next]->Handle());
}

// Enter presses the focused button or else the default button, Esc the cancel
// button, Tab walks the tab order; a control that keeps Enter and Esc gets them.
bool HandleFormKey(const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  const WPARAM key = message.wParam;
  if (key != VK_RETURN && key != VK_ESCAPE && key != VK_TAB) return false;
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
  NativeControl* root = NativeControl::FromHandle(GetAncestor(message.hwnd, GA_ROOT));
  if (!root || !root->IsForm()) return false;
  NativeControl* focused = NativeControl::FromHandle(message.hwnd);
  if (key == VK_TAB) {
    MoveFocus(*root, focused, GetKeyState(VK_SHIFT) < 0);
    return true;
  }
  if (focused && focused->KeepsEnterAndEscape()) return false;
  if (key == VK_RETURN && focused && focused->IsButton() && IsWindowEnabled(focused->Handle())) {
    focused->Press();
    return true;
  }
  if (NativeControl* button = FindButton(*root, key == VK_ESCAPE)) {
    button->Press();
    return true;
  }
  return false;
}

}  // namespace

void HandleMessage(MSG& message) {
  if (HandleFormKey(message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void RunLoopUntil(const std::function<bool()>& done) {
  MSG message;
  while (!done()) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (got < 0) return;
    HandleMessage(message);
  }
}

void HandlePendingMessages(bool non_input_only) {
  const UINT filter = non_input_only ? (PM_QS_POSTMESSAGE | PM_QS_PAINT | PM_QS_SENDMESSAGE) : 0;
  MSG message;
  for (int handled = 0; handled < kMaxPendingMessages && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | filter);
       ++handled) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    HandleMessage(message);
  }
}

MessageWindow::MessageWindow(Handler on_message) : on_message_(std::move(on_message)) {
  static const wchar_t* const kClass = [] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = Procedure;
    window_class.hInstance = ModuleInstance();
    window_class.lpszClassName = L"KestrovaMessageWindow";
    RegisterClassExW(&window_class);
    return L"KestrovaMessageWindow";
  }();
  hwnd_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageWindow::~MessageWindow() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

LRESULT CALLBACK MessageWindow::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && message >= WM_USER) {
    self->on_message_(message, wparam, lparam);
    return 0;
  }
  if (self && message == WM_TIMER) {
    self->on_message_(message, wparam, lparam);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace kestrova::ui
