#include <QEventLoop>

#include "ui/form.h"
#include "ui/qt/form_window_qt.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

QtFormWindow* Window(const TForm& form) { return form.Native().As<QtFormWindow>(); }

}  // namespace

TForm::TForm(TForm* owner)
    : TWinControl(std::make_unique<NativeControl>(new QtFormWindow(*this, owner ? owner->Native().Widget() : nullptr))) {}

TForm::~TForm() = default;

void TForm::SetCaption(const std::string& caption) { Window(*this)->setWindowTitle(QString::fromStdString(caption)); }

std::string TForm::Caption() const { return Window(*this)->windowTitle().toStdString(); }

void TForm::SetClientSize(int width, int height) { Window(*this)->setFixedSize(width, height); }

int TForm::ClientWidth() const { return Window(*this)->width(); }

int TForm::ClientHeight() const { return Window(*this)->height(); }

void TForm::SetBorderStyle(TFormBorderStyle style) { Window(*this)->SetBorderStyle(style); }

void TForm::SetBorderIcons(unsigned icons) { Window(*this)->SetBorderIcons(icons); }

void TForm::SetFormStyle(TFormStyle style) { Window(*this)->SetStayOnTop(style == TFormStyle::StayOnTop); }

void TForm::SetPosition(TPosition position) { Window(*this)->SetPosition(position); }

void TForm::SetAlphaBlend(bool enabled, int value) {
  Window(*this)->setWindowOpacity(enabled ? std::clamp(value, 0, 255) / 255.0 : 1.0);
}

void TForm::Show() {
  QtFormWindow* w = Window(*this);
  w->show();
  w->raise();
  w->activateWindow();
}

void TForm::Hide() { Window(*this)->hide(); }

TModalResult TForm::ShowModal() {
  QtFormWindow* w = Window(*this);
  modal_result_ = TModalResult::None;
  w->setWindowModality(Qt::ApplicationModal);
  Show();
  QEventLoop loop;
  w->SetClosingLoop(&loop);
  if (w->isVisible() && modal_result_ == TModalResult::None) loop.exec(QEventLoop::DialogExec);
  w->SetClosingLoop(nullptr);
  // Ending by a modal result closes the window like any other way of closing.
  if (w->isVisible()) Close();
  w->setWindowModality(Qt::NonModal);
  return modal_result_;
}

bool TForm::ShownModally() const { return Window(*this)->windowModality() != Qt::NonModal; }

void TForm::WakeModalLoop() {
  if (QEventLoop* loop = Window(*this)->ClosingLoop()) loop->exit();
}

}  // namespace kestrova::ui
