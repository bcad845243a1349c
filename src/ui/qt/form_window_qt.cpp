#include "ui/qt/form_window_qt.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace kestrova::ui {

QtFormWindow::QtFormWindow(TForm& form, QWidget* owner) : QtContainer(owner, Qt::Window), form_(form) {
  ApplyWindowFlags();
}

void QtFormWindow::SetBorderStyle(TFormBorderStyle style) {
  border_style_ = style;
  ApplyWindowFlags();
}

void QtFormWindow::SetBorderIcons(unsigned icons) {
  border_icons_ = icons;
  ApplyWindowFlags();
}

void QtFormWindow::SetStayOnTop(bool on_top) {
  stay_on_top_ = on_top;
  ApplyWindowFlags();
}

void QtFormWindow::ApplyWindowFlags() {
  Qt::WindowFlags flags;
  switch (border_style_) {
    case TFormBorderStyle::None:
      flags = Qt::Window | Qt::FramelessWindowHint;
      break;
    case TFormBorderStyle::ToolWindow:
      flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
      break;
    case TFormBorderStyle::Dialog:
      flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
      break;
    case TFormBorderStyle::Single:
      flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
      break;
  }
  if (border_style_ != TFormBorderStyle::None) {
    if (border_icons_ & biSystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (border_style_ != TFormBorderStyle::ToolWindow) {
      if (border_icons_ & biMinimize) flags |= Qt::WindowMinimizeButtonHint;
      if (border_icons_ & biMaximize) flags |= Qt::WindowMaximizeButtonHint;
    }
  }
  if (stay_on_top_) flags |= Qt::WindowStaysOnTopHint;
  const bool was_visible = isVisible();
  setWindowFlags(flags);
  if (was_visible) show();  // changing the flags hides a window
}

void QtFormWindow::PlaceOnScreen() {
  if (placed_ || position_ == TPosition::Designed) return;
  placed_ = true;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect desktop = screen->geometry();
  const QSize outer = frameGeometry().size();
  move(desktop.left() + (desktop.width() - outer.width()) / 2, desktop.top() + (desktop.height() - outer.height()) / 2);
}

bool QtFormWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) {
    // Run the handler from the loop rather than from inside the window system's
    // activation, so that it may take long and process messages itself.
    QPointer<QtFormWindow> self(this);
    QMetaObject::invokeMethod(
        this, [self] { if (self) self->form_.DoActivate(); }, Qt::QueuedConnection);
  }
  return QtContainer::event(event);
}

void QtFormWindow::showEvent(QShowEvent* event) {
  PlaceOnScreen();
  QtContainer::showEvent(event);
  FocusFirstInTabOrder(this);
}

void QtFormWindow::closeEvent(QCloseEvent* event) {
  form_.DoClose();
  event->accept();
}

bool QtFormWindow::ClickButton(const char* role) {
  for (QPushButton* button : findChildren<QPushButton*>()) {
    if (button->property(role).toBool() && button->isVisibleTo(this) && button->isEnabled()) {
      button->click();
      return true;
    }
  }
  return false;
}

void QtFormWindow::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    // A focused button is pressed itself, as on the target system.
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused && focused->isEnabled()) {
      focused->click();
      return;
    }
    if (ClickButton("kestrovaDefault")) return;
  } else if (plain && event->key() == Qt::Key_Escape) {
    if (ClickButton("kestrovaCancel")) return;
  }
  QtContainer::keyPressEvent(event);
}

}  // namespace kestrova::ui
