#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "ui/qt/native_control.h"
#include "ui/qt/styled_text_qt.h"
#include "ui/rich_edit.h"
#include "ui/rtf_reader.h"

namespace kestrova::ui {
namespace {

/// A text edit that, like the target system's rich-edit box, keeps Enter and Esc
/// to itself while it has the focus.
class QtRichEdit : public QTextEdit {
 public:
  explicit QtRichEdit(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setUndoRedoEnabled(false);
  }

  bool plain_text = false;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
      if (!isReadOnly() && key != Qt::Key_Escape) QTextEdit::keyPressEvent(event);
      event->accept();
      return;
    }
    QTextEdit::keyPressEvent(event);
  }
};

QtRichEdit* Edit(const TRichEdit& box) { return box.Native().As<QtRichEdit>(); }

}  // namespace

TRichEdit::TRichEdit(TWinControl& parent)
    : TControl(std::make_unique<NativeControl>(new QtRichEdit(ParentWidget(parent)))) {}

void TRichEdit::SetReadOnly(bool read_only) { Edit(*this)->setReadOnly(read_only); }

void TRichEdit::SetScrollBars(TScrollStyle bars) {
  QtRichEdit* edit = Edit(*this);
  edit->setVerticalScrollBarPolicy(bars == TScrollStyle::None ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
  edit->setHorizontalScrollBarPolicy(bars == TScrollStyle::Both ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TRichEdit::SetHideSelection(bool hide) {
  QtRichEdit* edit = Edit(*this);
  QPalette palette = edit->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role,
                     hide ? palette.color(QPalette::Inactive, QPalette::Base) : palette.color(QPalette::Active, role));
  }
  if (hide) palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Inactive, QPalette::Text));
  edit->setPalette(palette);
}

void TRichEdit::SetPlainText(bool plain) { Edit(*this)->plain_text = plain; }

bool TRichEdit::PlainText() const { return Edit(*this)->plain_text; }

bool TRichEdit::Load(std::string_view body) {
  QtRichEdit* edit = Edit(*this);
  edit->clear();
  if (!edit->plain_text) {
    if (std::optional<StyledDocument> document = ReadRtf(body)) {
      QTextCursor cursor(edit->document());
      InsertStyledDocument(cursor, *document);
      return true;
    }
  }
  edit->setPlainText(QString::fromUtf8(body.data(), static_cast<qsizetype>(body.size())));
  return false;
}

std::string TRichEdit::Text() const { return Edit(*this)->toPlainText().toStdString(); }

int TRichEditLines::Count() const {
  const QTextDocument* document = Edit(owner_)->document();
  return document->isEmpty() ? 0 : document->blockCount();
}

std::string TRichEditLines::operator[](int index) const {
  const QTextBlock block = Edit(owner_)->document()->findBlockByNumber(index);
  return block.isValid() ? block.text().toStdString() : std::string();
}

void TRichEditLines::Add(const std::string& line) {
  QTextDocument* document = Edit(owner_)->document();
  QTextCursor cursor(document);
  cursor.movePosition(QTextCursor::End);
  if (!document->isEmpty()) cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
  cursor.insertText(QString::fromStdString(line), QTextCharFormat());
}

void TRichEditLines::Set(int index, const std::string& line) {
  const QTextBlock block = Edit(owner_)->document()->findBlockByNumber(index);
  if (!block.isValid() || index >= Count()) return;
  QTextCursor cursor(block);
  const QTextCharFormat format = cursor.charFormat();
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(QString::fromStdString(line), format);
}

void TRichEditLines::Clear() { Edit(owner_)->clear(); }

}  // namespace kestrova::ui
