#include "ui/qt/container_qt.h"

#include <climits>

namespace kestrova::ui {
namespace {

constexpr const char* kAlignProperty = "kestrovaAlign";
constexpr const char* kTabOrderProperty = "kestrovaTabOrder";

}  // namespace

QtContainer::QtContainer(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

void QtContainer::LayOutAlignedChildren() {
  QRect room = contentsRect();
  for (QObject* object : children()) {
    auto* child = qobject_cast<QWidget*>(object);
    if (!child || child->isWindow()) continue;
    const auto align = static_cast<TAlign>(child->property(kAlignProperty).toInt());
    if (align == TAlign::Top) {
      child->setGeometry(room.left(), room.top(), room.width(), child->height());
      room.setTop(room.top() + child->height());
    } else if (align == TAlign::Client) {
      child->setGeometry(room);
    }
  }
}

void QtContainer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOutAlignedChildren();
}

void SetWidgetAlign(QWidget* widget, TAlign align) {
  widget->setProperty(kAlignProperty, static_cast<int>(align));
  if (auto* container = dynamic_cast<QtContainer*>(widget->parentWidget())) container->LayOutAlignedChildren();
}

void FocusFirstInTabOrder(QWidget* window) {
  if (QWidget* focused = window->focusWidget(); focused && focused->isVisible() && focused->isEnabled()) return;
  QWidget* first = nullptr;
  int first_order = INT_MAX;
  for (QWidget* child : window->findChildren<QWidget*>()) {
    const QVariant order = child->property(kTabOrderProperty);
    if (!order.isValid() || !child->isVisibleTo(window) || !child->isEnabled()) continue;
    if (child->focusPolicy() == Qt::NoFocus) continue;
    if (order.toInt() < first_order) {
      first = child;
      first_order = order.toInt();
    }
  }
  if (first) first->setFocus(Qt::TabFocusReason);
}

}  // namespace kestrova::ui
