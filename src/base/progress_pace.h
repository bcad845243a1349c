// How often a window shows progress. A few dozen repaints a second are as smooth as an
// eye follows; one per event cost a fast download a fifth of its process's CPU.
#pragma once

#include <chrono>

namespace kestrova {

inline constexpr int kProgressRepaintsPerSecond = 30;
inline constexpr std::chrono::milliseconds kProgressRepaintInterval{1000 / kProgressRepaintsPerSecond};

/// Picks the progress events worth showing: the first, then at most one a repaint
/// interval. What ends a job (its last count, its end) is shown whatever the pace.
class ProgressPace {
 public:
  using Clock = std::chrono::steady_clock;

  /// True when an event now may be shown; it is then counted as shown.
  bool Due() {
    const Clock::time_point now = Clock::now();
    if (now < next_) return false;
    Shown(now);
    return true;
  }
  /// An event is shown at `now`, due or not.
  void Shown(Clock::time_point now = Clock::now()) { next_ = now + kProgressRepaintInterval; }
  /// When the next event may be shown.
  Clock::time_point Next() const { return next_; }

 private:
  Clock::time_point next_{};
};

}  // namespace kestrova
