#include <QTimer>

#include "ui/handler.h"
#include "ui/timer.h"

namespace kestrova::ui {

/// The QTimer of a TTimer.
class NativeTimer {
 public:
  QTimer timer;
};

TTimer::TTimer() : native_(std::make_unique<NativeTimer>()) {
  native_->timer.setInterval(1000);
  QObject::connect(&native_->timer, &QTimer::timeout, [this] { RunHandler(OnTimer); });
}

TTimer::~TTimer() = default;

void TTimer::SetInterval(int milliseconds) { native_->timer.setInterval(milliseconds); }

int TTimer::Interval() const { return native_->timer.interval(); }

void TTimer::SetEnabled(bool enabled) {
  if (enabled) {
    native_->timer.start();
  } else {
    native_->timer.stop();
  }
}

bool TTimer::Enabled() const { return native_->timer.isActive(); }

}  // namespace kestrova::ui
