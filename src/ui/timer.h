// A repeating timer on the GUI thread.
#pragma once

#include <functional>
#include <memory>

namespace kestrova::ui {

class NativeTimer;

/// Calls OnTimer on the GUI thread every Interval milliseconds while enabled. A new
/// timer is disabled, with an interval of 1000 ms.
class TTimer {
 public:
  TTimer();
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  void SetInterval(int milliseconds);
  int Interval() const;
  void SetEnabled(bool enabled);
  bool Enabled() const;

  std::function<void()> OnTimer;

 private:
  std::unique_ptr<NativeTimer> native_;
};

}  // namespace kestrova::ui
