#include "ui/win32/cursors_win32.h"

#include <windows.h>

#include "ui/application.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {

HCURSOR SystemCursor(TCursor cursor) {
  LPCWSTR id = reinterpret_cast<LPCWSTR>(IDC_ARROW);
  if (cursor == TCursor::AppStart) id = reinterpret_cast<LPCWSTR>(IDC_APPSTARTING);
  if (cursor == TCursor::HandPoint) id = reinterpret_cast<LPCWSTR>(IDC_HAND);
  return LoadCursorW(nullptr, id);
}

bool ApplyCursorFor(const NativeControl* control) {
  TCursor cursor = ScreenCursor();
  if (cursor == TCursor::Default && control) cursor = control->cursor;
  if (cursor == TCursor::Default) return false;
  SetCursor(SystemCursor(cursor));
  return true;
}

}  // namespace kestrova::ui
