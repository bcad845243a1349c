#include <QPainter>

#include "ui/panel.h"
#include "ui/qt/container_qt.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

/// A panel: background, an optional one-pixel frame and a centred caption.
class QtPanel : public QtContainer {
 public:
  explicit QtPanel(QWidget* parent) : QtContainer(parent) {
    setAutoFillBackground(true);
    UpdateMargins();
  }

  void SetCaption(const QString& caption) {
    caption_ = caption;
    update();
  }
  void SetBorder(TPanelBorder border) {
    border_ = border;
    UpdateMargins();
  }
  void SetBorderWidth(int width) {
    border_width_ = std::max(0, width);
    UpdateMargins();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter, caption_);
    if (border_ == TPanelBorder::Single) {
      painter.setPen(Qt::black);
      painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
  }

 private:
  void UpdateMargins() {
    const int margin = (border_ == TPanelBorder::Single ? 1 : 0) + border_width_;
    setContentsMargins(margin, margin, margin, margin);
    LayOutAlignedChildren();
    update();
  }

  QString caption_;
  TPanelBorder border_ = TPanelBorder::None;
  int border_width_ = 0;
};

}  // namespace

TPanel::TPanel(TWinControl& parent) : TWinControl(std::make_unique<NativeControl>(new QtPanel(ParentWidget(parent)))) {}

void TPanel::SetCaption(const std::string& caption) {
  Native().As<QtPanel>()->SetCaption(QString::fromStdString(caption));
}

void TPanel::SetBorderStyle(TPanelBorder border) { Native().As<QtPanel>()->SetBorder(border); }

void TPanel::SetBorderWidth(int width) { Native().As<QtPanel>()->SetBorderWidth(width); }

}  // namespace kestrova::ui
