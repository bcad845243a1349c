#include "ui/qt/glyphs_qt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kestrova::ui {
namespace {

constexpr int kGlyphSize = 16;

QPixmap Canvas() {
  QPixmap pixmap(kGlyphSize, kGlyphSize);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QIcon CheckMark() {
  QPixmap pixmap = Canvas();
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath tick;
  tick.moveTo(2.5, 8.5);
  tick.lineTo(6.5, 12.5);
  tick.lineTo(13.5, 3.5);
  painter.setPen(QPen(QColor(0, 128, 0), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(tick);
  return QIcon(pixmap);
}

QIcon Cross() {
  QPixmap pixmap = Canvas();
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(192, 0, 0), 2.6, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(4, 4), QPointF(12, 12));
  painter.drawLine(QPointF(12, 4), QPointF(4, 12));
  return QIcon(pixmap);
}

}  // namespace

QIcon StockGlyph(TBitBtnKind kind) {
  switch (kind) {
    case TBitBtnKind::Ok: return CheckMark();
    case TBitBtnKind::Cancel: return Cross();
    case TBitBtnKind::Custom: break;
  }
  return QIcon();
}

}  // namespace kestrova::ui
