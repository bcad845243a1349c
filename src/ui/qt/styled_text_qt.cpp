#include "ui/qt/styled_text_qt.h"

#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <algorithm>

#include "ui/qt/fonts_qt.h"

namespace kestrova::ui {
namespace {

// Sizes a document may ask for beyond reason would only stall the layout.
constexpr double kMinPoints = 1.0;
constexpr double kMaxPoints = 400.0;

QTextCharFormat CharFormat(const TextStyle& style) {
  QTextCharFormat format;
  format.setFontWeight(style.bold ? QFont::Bold : QFont::Normal);
  format.setFontItalic(style.italic);
  format.setFontUnderline(style.underline);
  format.setFontStrikeOut(style.strike);
  if (style.half_points) format.setFontPointSize(std::clamp(*style.half_points / 2.0, kMinPoints, kMaxPoints));
  if (style.color) format.setForeground(ToQColor(*style.color));
  if (style.background) format.setBackground(ToQColor(*style.background));
  return format;
}

QTextBlockFormat BlockFormat(const StyledParagraph& paragraph) {
  QTextBlockFormat format;
  switch (paragraph.alignment) {
    case TAlignment::LeftJustify: format.setAlignment(Qt::AlignLeft); break;
    case TAlignment::RightJustify: format.setAlignment(Qt::AlignRight); break;
    case TAlignment::Center: format.setAlignment(Qt::AlignHCenter); break;
  }
  return format;
}

}  // namespace

void InsertStyledDocument(QTextCursor& cursor, const StyledDocument& document) {
  cursor.beginEditBlock();
  bool first = true;
  for (const StyledParagraph& paragraph : document.paragraphs) {
    if (first) {
      cursor.setBlockFormat(BlockFormat(paragraph));
    } else {
      cursor.insertBlock(BlockFormat(paragraph), QTextCharFormat());
    }
    first = false;
    for (const StyledRun& run : paragraph.runs) cursor.insertText(QString::fromStdString(run.text), CharFormat(run.style));
  }
  cursor.endEditBlock();
}

}  // namespace kestrova::ui
