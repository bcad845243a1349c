// The frame sequence of an animation control, apart from how frames are drawn.
#pragma once

#include <cstdint>

namespace kestrova::ui {

/// Which frame an animation shows and what comes next. Frames count from 1, as
/// animation controls number them; a port calls Advance once per frame period.
class AnimationPlayer {
 public:
  void SetFrameCount(int count);
  int FrameCount() const { return frame_count_; }

  /// Plays frames `from` to `to` (inclusive, clamped to the clip) `repetitions`
  /// times; 0 repeats without end.
  void Play(int from, int to, int repetitions);
  void Stop() { playing_ = false; }
  void Seek(int frame);

  bool Playing() const { return playing_; }
  int CurrentFrame() const { return current_; }
  /// How many times the shown frame has changed; it never wraps with the loop.
  uint64_t FramesAdvanced() const { return advanced_; }

  /// Steps to the next frame; after the last frame of the range the next
  /// repetition begins, or playing stops on that last frame.
  void Advance();

 private:
  int frame_count_ = 0;
  int current_ = 0;
  int from_ = 1;
  int to_ = 1;
  int repetitions_left_ = 0;  // 0 with playing_: without end
  bool playing_ = false;
  uint64_t advanced_ = 0;
};

}  // namespace kestrova::ui
