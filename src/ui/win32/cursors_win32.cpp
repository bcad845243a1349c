#include "ui/win32/cursors_win32.h"

#include <windows.h>

#include "ui/application.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

TCursor screen_cursor = TCursor::Default;

HCURSOR SystemCursor(TCursor cursor) {
  LPCWSTR id = reinterpret_cast<LPCWSTR>(IDC_ARROW);
  if (cursor == TCursor::AppStart) id = reinterpret_cast<LPCWSTR>(IDC_APPSTARTING);
  if (cursor == TCursor::HandPoint) id = reinterpret_cast<LPCWSTR>(IDC_HAND);
  return LoadCursorW(nullptr, id);
}

}  // namespace

bool ApplyCursorFor(const NativeControl* control) {
  TCursor cursor = screen_cursor;
  if (cursor == TCursor::Default && control) cursor = control->cursor;
  if (cursor == TCursor::Default) return false;
  SetCursor(SystemCursor(cursor));
  return true;
}

void SetScreenCursor(TCursor cursor) {
  screen_cursor = cursor;
  // Shown at once, not only when the mouse next moves.
  POINT at;
  if (GetCursorPos(&at)) {
    if (HWND under = WindowFromPoint(at); under && NativeControl::FromHandle(under)) {
      if (!ApplyCursorFor(NativeControl::FromHandle(under))) SetCursor(SystemCursor(TCursor::Arrow));
    }
  }
}

TCursor ScreenCursor() { return screen_cursor; }

}  // namespace kestrova::ui
