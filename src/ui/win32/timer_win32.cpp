#include <windows.h>

#include "ui/handler.h"
#include "ui/timer.h"
#include "ui/win32/message_loop_win32.h"

namespace kestrova::ui {

/// A system timer on a message window of its own: destroying that window takes
/// along any tick still queued, so no tick reaches a timer that is gone.
class NativeTimer {
 public:
  explicit NativeTimer(TTimer& owner)
      : window([&owner](UINT message, WPARAM, LPARAM) {
          if (message == WM_TIMER) RunHandler(owner.OnTimer);
        }) {}

  MessageWindow window;
  int interval = 1000;
  bool enabled = false;
};

namespace {
constexpr UINT_PTR kTimerId = 1;
}  // namespace

TTimer::TTimer() : native_(std::make_unique<NativeTimer>(*this)) {}

TTimer::~TTimer() = default;

void TTimer::SetInterval(int milliseconds) {
  native_->interval = milliseconds;
  if (native_->enabled) SetTimer(native_->window.Handle(), kTimerId, static_cast<UINT>(milliseconds), nullptr);
}

int TTimer::Interval() const { return native_->interval; }

void TTimer::SetEnabled(bool enabled) {
  native_->enabled = enabled;
  if (enabled) {
    SetTimer(native_->window.Handle(), kTimerId, static_cast<UINT>(native_->interval), nullptr);
  } else {
    KillTimer(native_->window.Handle(), kTimerId);
  }
}

bool TTimer::Enabled() const { return native_->enabled; }

}  // namespace kestrova::ui
