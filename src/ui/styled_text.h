// A toolkit-free formatted text: paragraphs of runs that share one character style.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/types.h"

namespace kestrova::ui {

/// Character formatting of one run. Absent values mean the box's own default.
struct TextStyle {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  std::optional<int> half_points;  // font size in half points
  std::optional<TColor> color;
  std::optional<TColor> background;
  friend bool operator==(const TextStyle&, const TextStyle&) = default;
};

/// Text in UTF-8 with one style. A tab is "\t"; a line break inside the paragraph is
/// U+2028.
struct StyledRun {
  std::string text;
  TextStyle style;
};

struct StyledParagraph {
  std::vector<StyledRun> runs;
  TAlignment alignment = TAlignment::LeftJustify;

  std::string PlainText() const;
};

/// What a rich-text box shows: its paragraphs in order.
struct StyledDocument {
  std::vector<StyledParagraph> paragraphs;

  std::string PlainText() const;  // paragraphs joined with "\n"
};

}  // namespace kestrova::ui
