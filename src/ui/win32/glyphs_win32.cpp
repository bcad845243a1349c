#include "ui/win32/glyphs_win32.h"

namespace kestrova::ui {
namespace {

void DrawStrokes(HDC dc, COLORREF color, const POINT* points, const DWORD* counts, DWORD strokes) {
  LOGBRUSH brush{BS_SOLID, color, 0};
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, 3, &brush, 0, nullptr);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  PolyPolyline(dc, points, counts, strokes);
  SelectObject(dc, old_pen);
  DeleteObject(pen);
}

}  // namespace

void DrawStockGlyph(HDC dc, int x, int y, TBitBtnKind kind, bool enabled) {
  if (kind == TBitBtnKind::Ok) {
    const POINT tick[] = {{x + 3, y + 8}, {x + 6, y + 12}, {x + 13, y + 3}};
    const DWORD counts[] = {3};
    DrawStrokes(dc, enabled ? RGB(0, 128, 0) : GetSysColor(COLOR_GRAYTEXT), tick, counts, 1);
  } else if (kind == TBitBtnKind::Cancel) {
    const POINT cross[] = {{x + 4, y + 4}, {x + 12, y + 12}, {x + 12, y + 4}, {x + 4, y + 12}};
    const DWORD counts[] = {2, 2};
    DrawStrokes(dc, enabled ? RGB(192, 0, 0) : GetSysColor(COLOR_GRAYTEXT), cross, counts, 2);
  }
}

}  // namespace kestrova::ui
