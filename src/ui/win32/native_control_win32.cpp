#include "ui/win32/native_control_win32.h"

#include <algorithm>

#include "base/text.h"
#include "ui/win32/cursors_win32.h"

namespace kestrova::ui {
namespace {

constexpr const wchar_t* kControlProperty = L"KestrovaControl";
constexpr const wchar_t* kControlClass = L"KestrovaControl";
constexpr const wchar_t* kFormClass = L"KestrovaForm";

void RegisterWindowClass(const wchar_t* name, UINT style) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = style;
  window_class.lpfnWndProc = ControlWindowProc;
  window_class.hInstance = ModuleInstance();
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.lpszClassName = name;
  RegisterClassExW(&window_class);
}

void RegisterClassesOnce() {
  static const bool registered = [] {
    RegisterWindowClass(kControlClass, CS_HREDRAW | CS_VREDRAW);
    RegisterWindowClass(kFormClass, CS_HREDRAW | CS_VREDRAW);
    return true;
  }();
  (void)registered;
}

}  // namespace

HINSTANCE ModuleInstance() { return GetModuleHandleW(nullptr); }

const wchar_t* ControlClassName() {
  RegisterClassesOnce();
  return kControlClass;
}

const wchar_t* FormClassName() {
  RegisterClassesOnce();
  return kFormClass;
}

std::wstring Wide(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(std::wstring_view text) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

NativeControl::NativeControl(NativeControl* parent) : parent_(parent) {
  if (parent_) {
    parent_->children_.push_back(this);
    font = parent_->font;
  }
}

NativeControl::~NativeControl() {
  for (NativeControl* child : children_) child->parent_ = nullptr;
  if (parent_) std::erase(parent_->children_, this);
  if (hwnd_ && IsWindow(hwnd_)) {
    RemovePropW(hwnd_, kControlProperty);
    DestroyWindow(hwnd_);
  }
}

NativeControl* NativeControl::FromHandle(HWND hwnd) {
  return hwnd ? static_cast<NativeControl*>(GetPropW(hwnd, kControlProperty)) : nullptr;
}

NativeControl& NativeControl::Root() {
  NativeControl* control = this;
  while (!control->IsForm() && control->parent_) control = control->parent_;
  return *control;
}

bool NativeControl::VisibleInForm() const {
  for (const NativeControl* control = this; control && !control->IsForm(); control = control->parent_) {
    if (!(GetWindowLongW(control->hwnd_, GWL_STYLE) & WS_VISIBLE)) return false;
  }
  return true;
}

void NativeControl::CreateChild(const wchar_t* window_class, DWORD style, DWORD ex_style) {
  HWND parent_window = parent_ ? parent_->Handle() : nullptr;
  const bool own_class = window_class == nullptr;
  HWND hwnd = CreateWindowExW(ex_style, own_class ? ControlClassName() : window_class, L"",
                              style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent_window, nullptr,
                              ModuleInstance(), own_class ? this : nullptr);
  if (!own_class) Adopt(hwnd);
  // A control made later lies over its earlier siblings where they overlap.
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ApplyFont(font, false);
}

void NativeControl::Adopt(HWND hwnd) {
  hwnd_ = hwnd;
  if (hwnd_) SetPropW(hwnd_, kControlProperty, this);
}

void NativeControl::ApplyFont(const TFont& new_font, bool own) {
  if (!own && own_font) return;
  own_font = own_font || own;
  font = new_font;
  font_handle_ = MakeFont(font);
  if (hwnd_) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_handle_.get()), TRUE);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  FontChanged();
  // Children without a font of their own take their parent's.
  for (NativeControl* child : children_) child->ApplyFont(new_font, false);
}

COLORREF NativeControl::BackgroundColor() const {
  for (const NativeControl* control = this; control; control = control->parent_) {
    if (control->color) return ToColorRef(*control->color);
  }
  return GetSysColor(COLOR_BTNFACE);
}

void NativeControl::LayOutAlignedChildren() {
  if (!hwnd_) return;
  RECT room;
  GetClientRect(hwnd_, &room);
  InflateRect(&room, -ContentMargin(), -ContentMargin());
  for (NativeControl* child : children_) {
    if (child->align == TAlign::Top) {
      RECT bounds;
      GetWindowRect(child->hwnd_, &bounds);
      const int height = bounds.bottom - bounds.top;
      MoveWindow(child->hwnd_, room.left, room.top, room.right - room.left, height, TRUE);
      room.top += height;
    } else if (child->align == TAlign::Client) {
      MoveWindow(child->hwnd_, room.left, room.top, std::max(0L, room.right - room.left),
                 std::max(0L, room.bottom - room.top), TRUE);
    }
  }
}

bool NativeControl::HandleMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void NativeControl::Paint(HDC dc, const RECT& client) {
  HBRUSH brush = CreateSolidBrush(BackgroundColor());
  FillRect(dc, &client, brush);
  DeleteObject(brush);
}

LRESULT NativeControl::CommonMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // Paint covers the whole client area
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd_, &paint);
      RECT client;
      GetClientRect(hwnd_, &client);
      Paint(dc, client);
      EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_PRINTCLIENT: {
      RECT client;
      GetClientRect(hwnd_, &client);
      Paint(reinterpret_cast<HDC>(wparam), client);
      return 0;
    }
    case WM_SIZE:
      LayOutAlignedChildren();
      break;
    case WM_COMMAND:
      if (NativeControl* child = FromHandle(reinterpret_cast<HWND>(lparam))) {
        child->OnCommand(HIWORD(wparam));
        return 0;
      }
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (NativeControl* child = FromHandle(item->hwndItem)) {
        child->DrawItem(*item);
        return TRUE;
      }
      break;
    }
    case WM_SETCURSOR: {
      // The screen cursor overrides every control's own; then the control under
      // the mouse (this window or a system control in it) picks its own.
      NativeControl* under = FromHandle(reinterpret_cast<HWND>(wparam));
      if (ApplyCursorFor(under ? under : this)) return TRUE;
      break;
    }
    case WM_NCDESTROY:
      RemovePropW(hwnd_, kControlProperty);
      hwnd_ = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* created = static_cast<NativeControl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    if (created) created->Adopt(hwnd);
  }
  NativeControl* control = NativeControl::FromHandle(hwnd);
  if (!control) return DefWindowProcW(hwnd, message, wparam, lparam);
  LRESULT result = 0;
  if (control->HandleMessage(message, wparam, lparam, result)) return result;
  return control->CommonMessage(message, wparam, lparam);
}

}  // namespace kestrova::ui
