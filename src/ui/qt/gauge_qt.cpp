#include <QPainter>
#include <QWidget>
#include <algorithm>

#include "ui/gauge.h"
#include "ui/qt/fonts_qt.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

/// A bar gauge: white well, a dark frame and the bar in the fore colour.
class QtGauge : public QWidget {
 public:
  explicit QtGauge(QWidget* parent) : QWidget(parent) {}

  void SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    SetProgress(progress_);
  }
  void SetProgress(int value) {
    progress_ = std::clamp(value, min_, max_);
    update();
  }
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Progress() const { return progress_; }
  int Percent() const {
    if (max_ == min_) return 0;
    return static_cast<int>(100LL * (static_cast<long long>(progress_) - min_) / (static_cast<long long>(max_) - min_));
  }
  void SetForeColor(TColor color) {
    fore_ = ToQColor(color);
    update();
  }
  void SetShowText(bool show) {
    show_text_ = show;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect well = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(well, Qt::white);
    const int filled = max_ == min_ ? 0
                                    : static_cast<int>(static_cast<long long>(well.width()) * (progress_ - min_) /
                                                       (static_cast<long long>(max_) - min_));
    painter.fillRect(QRect(well.left(), well.top(), filled, well.height()), fore_);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (show_text_) painter.drawText(well, Qt::AlignCenter, QStringLiteral("%1%").arg(Percent()));
  }

 private:
  int min_ = 0;
  int max_ = 100;
  int progress_ = 0;
  QColor fore_ = Qt::black;
  bool show_text_ = true;
};

}  // namespace

TGauge::TGauge(TWinControl& parent) : TControl(std::make_unique<NativeControl>(new QtGauge(ParentWidget(parent)))) {}

void TGauge::SetMinValue(int value) {
  auto* g = Native().As<QtGauge>();
  g->SetRange(value, std::max(value, g->Max()));
}

void TGauge::SetMaxValue(int value) {
  auto* g = Native().As<QtGauge>();
  g->SetRange(std::min(value, g->Min()), value);
}

int TGauge::MaxValue() const { return Native().As<QtGauge>()->Max(); }

void TGauge::SetProgress(int value) { Native().As<QtGauge>()->SetProgress(value); }

int TGauge::Progress() const { return Native().As<QtGauge>()->Progress(); }

int TGauge::PercentDone() const { return Native().As<QtGauge>()->Percent(); }

void TGauge::SetForeColor(TColor color) { Native().As<QtGauge>()->SetForeColor(color); }

void TGauge::SetShowText(bool show) { Native().As<QtGauge>()->SetShowText(show); }

}  // namespace kestrova::ui
