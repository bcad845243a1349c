// A control that plays an AVI clip.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/animation_player.h"
#include "ui/avi_clip.h"
#include "ui/control.h"

namespace kestrova::ui {

/// Plays the frames of an uncompressed AVI clip in a loop or a given number of
/// times. Frames count from 1. The clip is drawn over the control's colour, centred
/// unless Center is off, inside a margin of BorderWidth pixels.
class TAnimate : public TControl {
 public:
  explicit TAnimate(TWinControl& parent);

  /// Takes the program's embedded clip of that name. Returns false, leaving the
  /// control without a clip, when there is no such clip or it cannot be read.
  bool SetResName(std::string_view name);
  /// Takes a clip from the bytes of an AVI file; false when they are no clip.
  bool SetClipData(std::string_view avi_bytes);

  void SetCenter(bool center);
  void SetTransparent(bool transparent);
  void SetBorderWidth(int width);

  void SetStartFrame(int frame) { start_frame_ = frame; }
  void SetStopFrame(int frame) { stop_frame_ = frame; }
  /// 0 plays without end.
  void SetRepetitions(int count) { repetitions_ = count; }
  /// Active plays StartFrame to StopFrame Repetitions times; inactive stops.
  void SetActive(bool active);
  bool Active() const;
  void Play(int from, int to, int repetitions);
  void Stop();

  int FrameCount() const;
  int FrameWidth() const;
  int FrameHeight() const;
  int CurrentFrame() const;
  uint64_t FramesAdvanced() const;

  /// What the port draws: the clip, and where in the control.
  const std::optional<AviClip>& Clip() const { return clip_; }
  bool Center() const { return center_; }
  bool Transparent() const { return transparent_; }
  int BorderWidth() const { return border_width_; }
  /// Milliseconds between two frames of the clip.
  int FrameInterval() const;
  /// Called by the port's timer once per frame period.
  void NextFrame();

 private:
  /// The port's part: a new clip to prepare for drawing, the frame timer started
  /// or stopped, and the control drawn again.
  void ShowClip();
  void RunTimer(bool run);
  void Redraw();

  std::optional<AviClip> clip_;
  AnimationPlayer player_;
  bool center_ = true;
  bool transparent_ = false;
  int border_width_ = 0;
  int start_frame_ = 1;
  int stop_frame_ = 0;  // 0: the clip's last frame
  int repetitions_ = 0;
};

}  // namespace kestrova::ui
