#include <windows.h>

#include "ui/animate.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

constexpr UINT_PTR kFrameTimer = 1;

/// Draws the current frame of a clip read by the program's own AVI reader (the
/// system's animation control plays clips only from files or resources) and steps
/// through the frames with a timer of the window. While the GUI thread waits for
/// a worker, the hand-over keeps timers running, so the animation moves on then too.
class AnimateWindow : public NativeControl {
 public:
  AnimateWindow(NativeControl* parent, TAnimate& control) : NativeControl(parent), control_(control) {
    CreateChild(nullptr, 0);
  }

  bool HandleMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) override {
    if (message != WM_TIMER || wparam != kFrameTimer) return false;
    control_.NextFrame();
    result = 0;
    return true;
  }

  void Paint(HDC dc, const RECT& client) override {
    // Transparent: the parent's colour shows around the frame instead of our own.
    if (control_.Transparent()) {
      HBRUSH brush = CreateSolidBrush(Parent() ? Parent()->BackgroundColor() : GetSysColor(COLOR_BTNFACE));
      FillRect(dc, &client, brush);
      DeleteObject(brush);
    } else {
      NativeControl::Paint(dc, client);
    }
    const auto& clip = control_.Clip();
    const int frame = control_.CurrentFrame();
    if (!clip || frame < 1 || frame > clip->FrameCount()) return;
    RECT room = client;
    InflateRect(&room, -control_.BorderWidth(), -control_.BorderWidth());
    int x = room.left;
    int y = room.top;
    if (control_.Center()) {
      x += (room.right - room.left - clip->Width()) / 2;
      y += (room.bottom - room.top - clip->Height()) / 2;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = clip->Width();
    info.bmiHeader.biHeight = -clip->Height();  // rows top-down, as the reader gives them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, room.left, room.top, room.right, room.bottom);
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(clip->Width()), static_cast<DWORD>(clip->Height()), 0, 0, 0,
                      static_cast<UINT>(clip->Height()), clip->Frame(frame - 1).data(), &info, DIB_RGB_COLORS);
    RestoreDC(dc, saved);
  }

 private:
  TAnimate& control_;
};

}  // namespace

TAnimate::TAnimate(TWinControl& parent) : TControl(std::make_unique<AnimateWindow>(ParentNative(parent), *this)) {}

// Frames are drawn straight from the clip: nothing to prepare.
void TAnimate::ShowClip() {}

void TAnimate::RunTimer(bool run) {
  if (run) {
    SetTimer(Native().Handle(), kFrameTimer, static_cast<UINT>(FrameInterval()), nullptr);
  } else {
    KillTimer(Native().Handle(), kFrameTimer);
  }
}

void TAnimate::Redraw() { InvalidateRect(Native().Handle(), nullptr, FALSE); }

}  // namespace kestrova::ui
