// A box of formatted text.
#pragma once

#include <string>
#include <string_view>

#include "ui/control.h"

namespace kestrova::ui {

class TRichEdit;

/// The paragraphs of a rich-text box, as lines.
class TRichEditLines {
 public:
  int Count() const;
  std::string operator[](int index) const;
  void Add(const std::string& line);
  /// Replaces line `index` in place, keeping the lines around it.
  void Set(int index, const std::string& line);
  void Clear();

 private:
  friend class TRichEdit;
  explicit TRichEditLines(TRichEdit& owner) : owner_(owner) {}
  TRichEdit& owner_;
};

/// Formatted text with a scroll bar. In rich-text mode Load reads RTF (and loads
/// anything else as plain text); in plain mode everything loads as plain text.
class TRichEdit : public TControl {
 public:
  explicit TRichEdit(TWinControl& parent);

  void SetReadOnly(bool read_only);
  void SetScrollBars(TScrollStyle bars);  // shown always
  /// Whether the selection disappears while another control has the focus.
  void SetHideSelection(bool hide);
  void SetPlainText(bool plain);
  bool PlainText() const;
  /// Replaces the content with `body`. Returns whether it was read as RTF.
  bool Load(std::string_view body);
  /// The whole text without formatting, lines separated by "\n".
  std::string Text() const;

  TRichEditLines Lines{*this};
};

}  // namespace kestrova::ui
