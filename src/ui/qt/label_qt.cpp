#include <QLabel>

#include "ui/label.h"
#include "ui/qt/native_control.h"

namespace kestrova::ui {
namespace {

QLabel* NewLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(false);
  label->setMargin(0);
  label->setIndent(0);
  return label;
}

}  // namespace

TLabel::TLabel(TWinControl& parent) : TControl(std::make_unique<NativeControl>(NewLabel(ParentWidget(parent)))) {}

void TLabel::SetCaption(const std::string& caption) { Native().As<QLabel>()->setText(QString::fromStdString(caption)); }

std::string TLabel::Caption() const { return Native().As<QLabel>()->text().toStdString(); }

void TLabel::SetAlignment(TAlignment alignment) {
  Qt::Alignment horizontal = Qt::AlignLeft;
  if (alignment == TAlignment::RightJustify) horizontal = Qt::AlignRight;
  if (alignment == TAlignment::Center) horizontal = Qt::AlignHCenter;
  Native().As<QLabel>()->setAlignment(horizontal | Qt::AlignTop);
}

TAlignment TLabel::Alignment() const {
  const Qt::Alignment a = Native().As<QLabel>()->alignment();
  if (a & Qt::AlignRight) return TAlignment::RightJustify;
  if (a & Qt::AlignHCenter) return TAlignment::Center;
  return TAlignment::LeftJustify;
}

}  // namespace kestrova::ui
