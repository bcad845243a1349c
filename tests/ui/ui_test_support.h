// What the window tests share on either port: waiting in the message loop, acting
// from it, and where pictures go.
#pragma once

#include <functional>
#include <string>

#include "ui/timer.h"

namespace kestrova::ui::testing {

/// Where the tests put pictures of windows for a reviewer: <build>/screenshots.
std::string ScreenshotDir();

/// Runs the message loop until `done` holds or `timeout_ms` has passed; returns
/// whether `done` held.
bool SpinUntil(const std::function<bool()>& done, int timeout_ms = 5000);

/// Runs `action` once from the message loop, `delay_ms` after the next loop starts.
class Later {
 public:
  Later(int delay_ms, std::function<void()> action);

 private:
  TTimer timer_;
  std::function<void()> action_;
};

}  // namespace kestrova::ui::testing
