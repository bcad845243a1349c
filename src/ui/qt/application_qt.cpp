#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <mutex>

#include "base/threads.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/qt/form_window_qt.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

// Lets worker threads post to the message loop only while the QApplication exists:
// a wake that races with the application's end finds `alive` false.
struct WakeTarget {
  std::mutex mutex;
  bool alive = true;
};

GuiLoopHooks QtHooks(std::shared_ptr<WakeTarget> target) {
  GuiLoopHooks hooks;
  hooks.wake = [target] {
    std::lock_guard lock(target->mutex);
    if (!target->alive) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { GuiThread::CheckSynchronize(); }, Qt::QueuedConnection);
  };
  hooks.process_non_input = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
  return hooks;
}

}  // namespace

struct TApplication::Native {
  std::unique_ptr<QApplication> app;
  std::shared_ptr<WakeTarget> wake_target = std::make_shared<WakeTarget>();
};

TApplication::TApplication(int& argc, char** argv) : native_(std::make_unique<Native>()) {
  native_->app = std::make_unique<QApplication>(argc, argv);
  // Windows come and go during start-up (the wait window, a message box); only the
  // main window's closing ends the program.
  native_->app->setQuitOnLastWindowClosed(false);
  GuiThread::Attach();
  GuiThread::SetHooks(QtHooks(native_->wake_target));
}

TApplication::~TApplication() {
  {
    std::lock_guard lock(native_->wake_target->mutex);
    native_->wake_target->alive = false;
  }
  GuiThread::SetHooks({});
  // Calls handed over meanwhile must not be lost: run them before the loop goes.
  GuiThread::CheckSynchronize();
}

void TApplication::Run(TForm& main_form) {
  auto* window = main_form.Native().As<QtFormWindow>();
  main_form.Show();
  QEventLoop loop;
  window->SetClosingLoop(&loop);
  if (window->isVisible()) loop.exec();
  window->SetClosingLoop(nullptr);
}

void ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void ProcessNonInputMessages() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void SetScreenCursor(TCursor cursor) {
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  if (cursor == TCursor::AppStart) QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
  if (cursor == TCursor::Arrow) QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
  if (cursor == TCursor::HandPoint) QGuiApplication::setOverrideCursor(QCursor(Qt::PointingHandCursor));
}

TCursor ScreenCursor() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  if (!cursor) return TCursor::Default;
  switch (cursor->shape()) {
    case Qt::BusyCursor: return TCursor::AppStart;
    case Qt::PointingHandCursor: return TCursor::HandPoint;
    default: return TCursor::Arrow;
  }
}

void ShowMessageBox(const std::string& caption, const std::string& text) {
  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(text));
  box.setIcon(QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  // Above always-on-top windows such as the wait window, which would hide it.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

void ShowErrorReport(const std::string& message) {
  const QString text = QString::fromStdString(ErrorReportText(message));
  QMessageBox box;
  box.setWindowTitle(QCoreApplication::applicationName());
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  box.setIcon(QMessageBox::Critical);
  box.setStandardButtons(QMessageBox::Ok);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

TRect DesktopRect() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QRect r = screen->geometry();
  return TRect{r.left(), r.top(), r.width(), r.height()};
}

}  // namespace kestrova::ui
