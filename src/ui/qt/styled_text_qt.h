// Putting a styled document into a Qt text document.
#pragma once

#include <QTextCursor>

#include "ui/styled_text.h"

namespace kestrova::ui {

/// Inserts `document` at `cursor`: one text block per paragraph, its runs with their
/// formatting on top of the box's default font.
void InsertStyledDocument(QTextCursor& cursor, const StyledDocument& document);

}  // namespace kestrova::ui
