#include <QPainter>
#include <QWidget>

#include "ui/gauge.h"
#include "ui/qt/fonts_qt.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

/// A bar gauge: white well, a dark frame and the bar in the fore colour.
class QtGauge : public QWidget {
 public:
  QtGauge(QWidget* parent, const TGauge& gauge) : QWidget(parent), gauge_(gauge) {}

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
    painter.fillRect(QRect(well.left(), well.top(), gauge_.FilledWidth(well.width()), well.height()), fore_);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (show_text_) painter.drawText(well, Qt::AlignCenter, QStringLiteral("%1%").arg(gauge_.PercentDone()));
  }

 private:
  const TGauge& gauge_;
  QColor fore_ = Qt::black;
  bool show_text_ = true;
};

}  // namespace

TGauge::TGauge(TWinControl& parent)
    : TControl(std::make_unique<NativeControl>(new QtGauge(ParentWidget(parent), *this))) {}

void TGauge::Redraw() { Native().Widget()->update(); }

void TGauge::SetForeColor(TColor color) { Native().As<QtGauge>()->SetForeColor(color); }

void TGauge::SetShowText(bool show) { Native().As<QtGauge>()->SetShowText(show); }

}  // namespace kestrova::ui
