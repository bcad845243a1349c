#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QMargins>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "ui/control.h"
#include "ui/qt/container_qt.h"
#include "ui/qt/fonts_qt.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

Qt::CursorShape ToCursorShape(TCursor cursor) {
  switch (cursor) {
    case TCursor::AppStart: return Qt::BusyCursor;
    case TCursor::HandPoint: return Qt::PointingHandCursor;
    case TCursor::Default:
    case TCursor::Arrow: break;
  }
  return Qt::ArrowCursor;
}

// Frame thickness around a window's client area, known once the window system has
// framed it.
QMargins FrameMargins(const QWidget* w) {
  const QRect frame = w->frameGeometry();
  const QRect client = w->geometry();
  return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                  frame.bottom() - client.bottom());
}

// Qt moves focus in the order widgets were chained; chain the siblings by their
// tab order.
void ChainTabOrder(QWidget* parent) {
  std::vector<std::pair<int, QWidget*>> ordered;
  for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QVariant order = child->property("kestrovaTabOrder");
    if (order.isValid()) ordered.emplace_back(order.toInt(), child);
  }
  std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 1; i < ordered.size(); ++i) QWidget::setTabOrder(ordered[i - 1].second, ordered[i].second);
}

// A window that was just shown is on the screen only once the window system has
// exposed it; painting before that shows nothing.
void WaitUntilExposed(QWidget* window) {
  constexpr int kPatienceMs = 500;
  QElapsedTimer waited;
  waited.start();
  while (window->windowHandle() && !window->windowHandle()->isExposed() && waited.elapsed() < kPatienceMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

TControl::TControl(std::unique_ptr<NativeControl> native) : native_(std::move(native)) {}

TControl::~TControl() = default;

void TControl::SetBounds(int left, int top, int width, int height) {
  QWidget* w = native_->Widget();
  if (w->isWindow()) {
    const QMargins m = FrameMargins(w);
    w->setGeometry(left + m.left(), top + m.top(), std::max(0, width - m.left() - m.right()),
                   std::max(0, height - m.top() - m.bottom()));
  } else {
    w->setGeometry(left, top, width, height);
  }
}

TRect TControl::BoundsRect() const {
  const QWidget* w = native_->Widget();
  const QRect r = w->isWindow() ? w->frameGeometry() : w->geometry();
  return TRect{r.left(), r.top(), r.width(), r.height()};
}

void TControl::SetAlign(TAlign align) { SetWidgetAlign(native_->Widget(), align); }

void TControl::SetVisible(bool visible) { native_->Widget()->setVisible(visible); }

bool TControl::Visible() const {
  const QWidget* w = native_->Widget();
  return w->isWindow() ? w->isVisible() : !w->isHidden();
}

void TControl::SetEnabled(bool enabled) { native_->Widget()->setEnabled(enabled); }

bool TControl::Enabled() const { return native_->Widget()->isEnabled(); }

void TControl::SetColor(TColor color) {
  QWidget* w = native_->Widget();
  QPalette palette = w->palette();
  // Only the widget's own background: children keep theirs (edit boxes stay white,
  // buttons keep the button face), as they would on the target system.
  palette.setColor(qobject_cast<QAbstractScrollArea*>(w) ? QPalette::Base : QPalette::Window, ToQColor(color));
  w->setPalette(palette);
  w->setAutoFillBackground(true);
}

void TControl::SetFont(const TFont& font) {
  QWidget* w = native_->Widget();
  w->setFont(ToQFont(font));
  QPalette palette = w->palette();
  palette.setColor(QPalette::WindowText, ToQColor(font.color));
  palette.setColor(QPalette::Text, ToQColor(font.color));
  palette.setColor(QPalette::ButtonText, ToQColor(font.color));
  w->setPalette(palette);
}

void TControl::SetCursor(TCursor cursor) { native_->Widget()->setCursor(ToCursorShape(cursor)); }

void TControl::SetTabOrder(int order) {
  QWidget* w = native_->Widget();
  w->setProperty("kestrovaTabOrder", order);
  if (QWidget* parent = w->parentWidget()) ChainTabOrder(parent);
}

void TControl::SetFocus() { native_->Widget()->setFocus(Qt::OtherFocusReason); }

bool TControl::Focused() const { return native_->Widget()->hasFocus(); }

void TControl::Repaint() {
  QWidget* w = native_->Widget();
  if (w->isWindow() && w->isVisible()) WaitUntilExposed(w);
  w->repaint();
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) area->viewport()->repaint();
}

}  // namespace kestrova::ui
