#include "ui/styled_text.h"

namespace kestrova::ui {

std::string StyledParagraph::PlainText() const {
  std::string text;
  for (const StyledRun& run : runs) text += run.text;
  return text;
}

std::string StyledDocument::PlainText() const {
  std::string text;
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    if (i > 0) text += '\n';
    text += paragraphs[i].PlainText();
  }
  return text;
}

}  // namespace kestrova::ui
