// Reads Rich Text Format into a styled document, without any window toolkit.
#pragma once

#include <optional>
#include <string_view>

#include "ui/styled_text.h"

namespace kestrova::ui {

/// Whether `body` is meant as RTF: it starts with "{\rtf".
bool IsRtf(std::string_view body);

/// Reads RTF as word processors write it: text, paragraphs, line breaks, tabs, bold,
/// italic, underline, strike-through, font size, colours from the colour table,
/// paragraph alignment, "\'hh" in Windows-1252 and "\uN" with its fallback. Tables,
/// pictures, fields' instructions and every other non-text destination are left
/// out. Returns nothing when `body` is not RTF. Malformed input (unbalanced braces,
/// truncated control words, absurd numbers) yields whatever text could be read; the
/// reader takes time and memory linear in the input and never recurses.
std::optional<StyledDocument> ReadRtf(std::string_view body);

}  // namespace kestrova::ui
