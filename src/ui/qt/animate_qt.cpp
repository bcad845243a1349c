#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "ui/animate.h"
#include "ui/animation_player.h"
#include "ui/avi_clip.h"
#include "ui/clip_resources.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

/// Draws the current frame of a clip and steps through the frames with a timer of
/// the GUI thread. While the GUI thread waits for a worker, the hand-over keeps
/// timers running, so the animation moves on then too.
class QtAnimate : public QWidget {
 public:
  explicit QtAnimate(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
  }

  bool SetClip(std::string_view bytes) {
    Stop();
    clip_ = AviClip::Read(bytes);
    frames_.clear();
    player_.SetFrameCount(clip_ ? clip_->FrameCount() : 0);
    if (clip_) {
      for (int i = 0; i < clip_->FrameCount(); ++i) {
        const std::vector<uint32_t>& pixels = clip_->Frame(i);
        frames_.push_back(QImage(reinterpret_cast<const uchar*>(pixels.data()), clip_->Width(), clip_->Height(),
                                 clip_->Width() * 4, QImage::Format_ARGB32)
                              .copy());
      }
      const int interval = static_cast<int>(clip_->MicrosecondsPerFrame() / 1000);
      timer_.setInterval(interval > 0 ? interval : 83);
    }
    update();
    return clip_.has_value();
  }

  void Play(int from, int to, int repetitions) {
    player_.Play(from, to, repetitions);
    if (player_.Playing()) timer_.start();
    update();
  }
  void Stop() {
    player_.Stop();
    timer_.stop();
  }

  const AnimationPlayer& Player() const { return player_; }
  const std::optional<AviClip>& Clip() const { return clip_; }

  bool center = true;
  bool transparent = false;
  int border_width = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    const int frame = player_.CurrentFrame();
    if (frame < 1 || frame > static_cast<int>(frames_.size())) return;
    const QImage& image = frames_[static_cast<size_t>(frame - 1)];
    const QRect room = rect().adjusted(border_width, border_width, -border_width, -border_width);
    QPoint at = room.topLeft();
    if (center) at += QPoint((room.width() - image.width()) / 2, (room.height() - image.height()) / 2);
    QPainter painter(this);
    painter.setClipRect(room);
    painter.drawImage(at, image);
  }

 private:
  void Step() {
    player_.Advance();
    if (!player_.Playing()) timer_.stop();
    update();
  }

  std::optional<AviClip> clip_;
  std::vector<QImage> frames_;
  AnimationPlayer player_;
  QTimer timer_;
};

QtAnimate* Animation(const TAnimate& control) { return control.Native().As<QtAnimate>(); }

}  // namespace

TAnimate::TAnimate(TWinControl& parent)
    : TControl(std::make_unique<NativeControl>(new QtAnimate(ParentWidget(parent)))) {}

bool TAnimate::SetResName(std::string_view name) {
  const std::string_view bytes = ClipResource(name);
  return Animation(*this)->SetClip(bytes);
}

bool TAnimate::SetClipData(std::string_view avi_bytes) { return Animation(*this)->SetClip(avi_bytes); }

void TAnimate::SetCenter(bool center) {
  Animation(*this)->center = center;
  Animation(*this)->update();
}

void TAnimate::SetTransparent(bool transparent) {
  QtAnimate* animation = Animation(*this);
  animation->transparent = transparent;
  animation->setAutoFillBackground(!transparent);
  animation->update();
}

void TAnimate::SetBorderWidth(int width) {
  Animation(*this)->border_width = std::max(0, width);
  Animation(*this)->update();
}

void TAnimate::SetActive(bool active) {
  if (active) {
    Play(start_frame_, stop_frame_ > 0 ? stop_frame_ : FrameCount(), repetitions_);
  } else {
    Stop();
  }
}

bool TAnimate::Active() const { return Animation(*this)->Player().Playing(); }

void TAnimate::Play(int from, int to, int repetitions) { Animation(*this)->Play(from, to, repetitions); }

void TAnimate::Stop() { Animation(*this)->Stop(); }

int TAnimate::FrameCount() const { return Animation(*this)->Player().FrameCount(); }

int TAnimate::FrameWidth() const {
  const auto& clip = Animation(*this)->Clip();
  return clip ? clip->Width() : 0;
}

int TAnimate::FrameHeight() const {
  const auto& clip = Animation(*this)->Clip();
  return clip ? clip->Height() : 0;
}

int TAnimate::CurrentFrame() const { return Animation(*this)->Player().CurrentFrame(); }

uint64_t TAnimate::FramesAdvanced() const { return Animation(*this)->Player().FramesAdvanced(); }

}  // namespace kestrova::ui
