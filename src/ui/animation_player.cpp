#include "ui/animation_player.h"

#include <algorithm>

namespace kestrova::ui {

void AnimationPlayer::SetFrameCount(int count) {
  frame_count_ = std::max(0, count);
  playing_ = false;
  current_ = frame_count_ > 0 ? 1 : 0;
}

void AnimationPlayer::Play(int from, int to, int repetitions) {
  if (frame_count_ == 0) return;
  from_ = std::clamp(from, 1, frame_count_);
  to_ = std::clamp(to, from_, frame_count_);
  repetitions_left_ = std::max(0, repetitions);
  current_ = from_;
  playing_ = true;
}

void AnimationPlayer::Seek(int frame) {
  if (frame_count_ == 0) return;
  playing_ = false;
  current_ = std::clamp(frame, 1, frame_count_);
}

void AnimationPlayer::Advance() {
  if (!playing_) return;
  if (current_ < to_) {
    ++current_;
    ++advanced_;
    return;
  }
  if (repetitions_left_ == 1) {
    playing_ = false;
    return;
  }
  if (repetitions_left_ > 1) --repetitions_left_;
  if (current_ != from_) ++advanced_;
  current_ = from_;
}

}  // namespace kestrova::ui
