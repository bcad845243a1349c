#include "ui/animate.h"

#include <algorithm>

#include "ui/clip_resources.h"

namespace kestrova::ui {
namespace {

// The period of a clip that names none: twelve frames a second.
constexpr int kDefaultFrameMs = 83;

}  // namespace

bool TAnimate::SetResName(std::string_view name) { return SetClipData(ClipResource(name)); }

bool TAnimate::SetClipData(std::string_view avi_bytes) {
  Stop();
  clip_ = AviClip::Read(avi_bytes);
  player_.SetFrameCount(clip_ ? clip_->FrameCount() : 0);
  ShowClip();
  Redraw();
  return clip_.has_value();
}

void TAnimate::SetCenter(bool center) {
  center_ = center;
  Redraw();
}

void TAnimate::SetTransparent(bool transparent) {
  transparent_ = transparent;
  Redraw();
}

void TAnimate::SetBorderWidth(int width) {
  border_width_ = std::max(0, width);
  Redraw();
}

void TAnimate::SetActive(bool active) {
  if (active) {
    Play(start_frame_, stop_frame_ > 0 ? stop_frame_ : FrameCount(), repetitions_);
  } else {
    Stop();
  }
}

bool TAnimate::Active() const { return player_.Playing(); }

void TAnimate::Play(int from, int to, int repetitions) {
  player_.Play(from, to, repetitions);
  if (player_.Playing()) RunTimer(true);
  Redraw();
}

void TAnimate::Stop() {
  player_.Stop();
  RunTimer(false);
}

void TAnimate::NextFrame() {
  player_.Advance();
  if (!player_.Playing()) RunTimer(false);
  Redraw();
}

int TAnimate::FrameInterval() const {
  const int interval = clip_ ? static_cast<int>(clip_->MicrosecondsPerFrame() / 1000) : 0;
  return interval > 0 ? interval : kDefaultFrameMs;
}

int TAnimate::FrameCount() const { return player_.FrameCount(); }

int TAnimate::FrameWidth() const { return clip_ ? clip_->Width() : 0; }

int TAnimate::FrameHeight() const { return clip_ ? clip_->Height() : 0; }

int TAnimate::CurrentFrame() const { return player_.CurrentFrame(); }

uint64_t TAnimate::FramesAdvanced() const { return player_.FramesAdvanced(); }

}  // namespace kestrova::ui
