#include <windows.h>

#include <algorithm>
#include <optional>

#include "ui/animate.h"
#include "ui/animation_player.h"
#include "ui/avi_clip.h"
#include "ui/clip_resources.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

constexpr UINT_PTR kFrameTimer = 1;
constexpr int kDefaultFrameMs = 83;

/// Draws the current frame of a clip read by the program's own AVI reader (the
/// system's animation control plays clips only from files or resources) and steps
/// through the frames with a timer of the window. While the GUI thread waits for
/// a worker, the hand-over keeps timers running, so the animation moves on then too.
class AnimateWindow : public NativeControl {
 public:
  explicit AnimateWindow(NativeControl* parent) : NativeControl(parent) { CreateChild(nullptr, 0); }

  bool SetClip(std::string_view bytes) {
    Stop();
    clip_ = AviClip::Read(bytes);
    player_.SetFrameCount(clip_ ? clip_->FrameCount() : 0);
    if (clip_) {
      const int interval = static_cast<int>(clip_->MicrosecondsPerFrame() / 1000);
      interval_ = interval > 0 ? interval : kDefaultFrameMs;
    }
    InvalidateRect(Handle(), nullptr, FALSE);
    return clip_.has_value();
  }

  void Play(int from, int to, int repetitions) {
    player_.Play(from, to, repetitions);
    if (player_.Playing()) SetTimer(Handle(), kFrameTimer, static_cast<UINT>(interval_), nullptr);
    InvalidateRect(Handle(), nullptr, FALSE);
  }
  void Stop() {
    player_.Stop();
    KillTimer(Handle(), kFrameTimer);
  }

  const AnimationPlayer& Player() const { return player_; }
  const std::optional<AviClip>& Clip() const { return clip_; }

  bool HandleMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) override {
    if (message != WM_TIMER || wparam != kFrameTimer) return false;
    player_.Advance();
    if (!player_.Playing()) KillTimer(Handle(), kFrameTimer);
    InvalidateRect(Handle(), nullptr, FALSE);
    result = 0;
    return true;
  }

  void Paint(HDC dc, const RECT& client) override {
    // Transparent: the parent's colour shows around the frame instead of our own.
    if (transparent) {
      HBRUSH brush = CreateSolidBrush(Parent() ? Parent()->BackgroundColor() : GetSysColor(COLOR_BTNFACE));
      FillRect(dc, &client, brush);
      DeleteObject(brush);
    } else {
      NativeControl::Paint(dc, client);
    }
    const int frame = player_.CurrentFrame();
    if (!clip_ || frame < 1 || frame > clip_->FrameCount()) return;
    RECT room = client;
    InflateRect(&room, -border_width, -border_width);
    int x = room.left;
    int y = room.top;
    if (center) {
      x += (room.right - room.left - clip_->Width()) / 2;
      y += (room.bottom - room.top - clip_->Height()) / 2;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = clip_->Width();
    info.bmiHeader.biHeight = -clip_->Height();  // rows top-down, as the reader gives them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, room.left, room.top, room.right, room.bottom);
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(clip_->Width()), static_cast<DWORD>(clip_->Height()), 0, 0, 0,
                      static_cast<UINT>(clip_->Height()), clip_->Frame(frame - 1).data(), &info, DIB_RGB_COLORS);
    RestoreDC(dc, saved);
  }

  bool center = true;
  bool transparent = false;
  int border_width = 0;

 private:
  std::optional<AviClip> clip_;
  AnimationPlayer player_;
  int interval_ = kDefaultFrameMs;
};

AnimateWindow& Window(const TAnimate& control) { return static_cast<AnimateWindow&>(control.Native()); }

}  // namespace

TAnimate::TAnimate(TWinControl& parent) : TControl(std::make_unique<AnimateWindow>(ParentNative(parent))) {}

bool TAnimate::SetResName(std::string_view name) { return Window(*this).SetClip(ClipResource(name)); }

bool TAnimate::SetClipData(std::string_view avi_bytes) { return Window(*this).SetClip(avi_bytes); }

void TAnimate::SetCenter(bool center) {
  Window(*this).center = center;
  InvalidateRect(Native().Handle(), nullptr, FALSE);
}

void TAnimate::SetTransparent(bool transparent) {
  Window(*this).transparent = transparent;
  InvalidateRect(Native().Handle(), nullptr, FALSE);
}

void TAnimate::SetBorderWidth(int width) {
  Window(*this).border_width = std::max(0, width);
  InvalidateRect(Native().Handle(), nullptr, FALSE);
}

void TAnimate::SetActive(bool active) {
  if (active) {
    Play(start_frame_, stop_frame_ > 0 ? stop_frame_ : FrameCount(), repetitions_);
  } else {
    Stop();
  }
}

bool TAnimate::Active() const { return Window(*this).Player().Playing(); }

void TAnimate::Play(int from, int to, int repetitions) { Window(*this).Play(from, to, repetitions); }

void TAnimate::Stop() { Window(*this).Stop(); }

int TAnimate::FrameCount() const { return Window(*this).Player().FrameCount(); }

int TAnimate::FrameWidth() const {
  const auto& clip = Window(*this).Clip();
  return clip ? clip->Width() : 0;
}

int TAnimate::FrameHeight() const {
  const auto& clip = Window(*this).Clip();
  return clip ? clip->Height() : 0;
}

int TAnimate::CurrentFrame() const { return Window(*this).Player().CurrentFrame(); }

uint64_t TAnimate::FramesAdvanced() const { return Window(*this).Player().FramesAdvanced(); }

}  // namespace kestrova::ui
