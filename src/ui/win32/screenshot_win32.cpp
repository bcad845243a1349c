#include <windows.h>

#include <vector>

#include "ui/form.h"
#include "ui/screenshot.h"
#include "ui/win32/native_control_win32.h"
#include "ui/win32/png_file_win32.h"

namespace kestrova::ui {
namespace {

struct DcReleaser {
  HWND hwnd;
  void operator()(HDC dc) const { ReleaseDC(hwnd, dc); }
};

}  // namespace

bool SaveScreenshot(const TForm& form, const std::string& png_path) {
  HWND hwnd = form.Native().Handle();
  RECT client;
  GetClientRect(hwnd, &client);
  const int width = client.right;
  const int height = client.bottom;
  if (width <= 0 || height <= 0) return false;
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);

  // The window's own picture of itself, children included, not whatever covers it
  // on the screen.
  std::unique_ptr<std::remove_pointer_t<HDC>, DcReleaser> window_dc(GetDC(hwnd), DcReleaser{hwnd});
  HDC memory_dc = CreateCompatibleDC(window_dc.get());
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(memory_dc, bitmap);
    BitBlt(memory_dc, 0, 0, width, height, window_dc.get(), 0, 0, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> rows(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
    ok = WritePng(png_path, width, height, rows);
    SelectObject(memory_dc, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory_dc);
  return ok;
}

}  // namespace kestrova::ui
