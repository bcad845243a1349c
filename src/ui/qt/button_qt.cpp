#include <QPointer>
#include <QPushButton>

#include "ui/button.h"
#include "ui/form.h"
#include "ui/qt/form_window_qt.h"
#include "ui/qt/glyphs_qt.h"
#include "ui/handler.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

QPushButton* NewButton(QWidget* parent) {
  auto* button = new QPushButton(parent);
  button->setAutoDefault(false);
  button->setIconSize(QSize(16, 16));
  return button;
}

}  // namespace

TBitBtn::TBitBtn(TWinControl& parent) : TControl(std::make_unique<NativeControl>(NewButton(ParentWidget(parent)))) {
  QPushButton* button = Native().As<QPushButton>();
  QObject::connect(button, &QPushButton::clicked, button, [this] {
    QPointer<QWidget> alive(Native().Widget());
    // A click whose handler failed does not go on to end the modal display.
    if (!RunHandler(OnClick) || !alive || modal_result_ == TModalResult::None) return;
    if (auto* window = dynamic_cast<QtFormWindow*>(alive->window())) window->Form().SetModalResult(modal_result_);
  });
}

void TBitBtn::ShowGlyph() { Native().As<QPushButton>()->setIcon(StockGlyph(kind_)); }

void TBitBtn::SetCaption(const std::string& caption) {
  Native().As<QPushButton>()->setText(QString::fromStdString(caption));
}

std::string TBitBtn::Caption() const { return Native().As<QPushButton>()->text().toStdString(); }

void TBitBtn::SetDefault(bool is_default) {
  QPushButton* button = Native().As<QPushButton>();
  button->setProperty("kestrovaDefault", is_default);
  button->setDefault(is_default);
}

bool TBitBtn::Default() const { return Native().Widget()->property("kestrovaDefault").toBool(); }

void TBitBtn::SetCancel(bool is_cancel) { Native().Widget()->setProperty("kestrovaCancel", is_cancel); }

bool TBitBtn::Cancel() const { return Native().Widget()->property("kestrovaCancel").toBool(); }

void TBitBtn::Click() {
  QPushButton* button = Native().As<QPushButton>();
  if (button->isVisibleTo(button->window()) && button->isEnabled()) button->click();
}

}  // namespace kestrova::ui
