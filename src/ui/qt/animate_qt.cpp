#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "ui/animate.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

/// Draws the current frame of a clip and steps through the frames with a timer of
/// the GUI thread. While the GUI thread waits for a worker, the hand-over keeps
/// timers running, so the animation moves on then too.
class QtAnimate : public QWidget {
 public:
  QtAnimate(QWidget* parent, TAnimate& control) : QWidget(parent), control_(control) {
    setAutoFillBackground(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, this, [this] { control_.NextFrame(); });
  }

  void TakeClip() {
    frames_.clear();
    const auto& clip = control_.Clip();
    if (!clip) return;
    for (int i = 0; i < clip->FrameCount(); ++i) {
      const std::vector<uint32_t>& pixels = clip->Frame(i);
      frames_.push_back(QImage(reinterpret_cast<const uchar*>(pixels.data()), clip->Width(), clip->Height(),
                               clip->Width() * 4, QImage::Format_ARGB32)
                            .copy());
    }
    timer.setInterval(control_.FrameInterval());
  }

  QTimer timer;

 protected:
  void paintEvent(QPaintEvent*) override {
    const int frame = control_.CurrentFrame();
    if (frame < 1 || frame > static_cast<int>(frames_.size())) return;
    const QImage& image = frames_[static_cast<size_t>(frame - 1)];
    const int border = control_.BorderWidth();
    const QRect room = rect().adjusted(border, border, -border, -border);
    QPoint at = room.topLeft();
    if (control_.Center()) at += QPoint((room.width() - image.width()) / 2, (room.height() - image.height()) / 2);
    QPainter painter(this);
    painter.setClipRect(room);
    painter.drawImage(at, image);
  }

 private:
  TAnimate& control_;
  std::vector<QImage> frames_;
};

QtAnimate* Animation(const TAnimate& control) { return control.Native().As<QtAnimate>(); }

}  // namespace

TAnimate::TAnimate(TWinControl& parent)
    : TControl(std::make_unique<NativeControl>(new QtAnimate(ParentWidget(parent), *this))) {}

void TAnimate::ShowClip() { Animation(*this)->TakeClip(); }

void TAnimate::RunTimer(bool run) {
  QTimer& timer = Animation(*this)->timer;
  if (run) {
    timer.start();
  } else {
    timer.stop();
  }
}

void TAnimate::Redraw() {
  QtAnimate* animation = Animation(*this);
  // Transparent: the parent's background shows around the frame instead of our own.
  animation->setAutoFillBackground(!transparent_);
  animation->update();
}

}  // namespace kestrova::ui
