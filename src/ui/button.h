// A push button with a glyph.
#pragma once

#include <functional>
#include <string>

#include "ui/control.h"

namespace kestrova::ui {

/// A push button with an optional stock glyph. The Ok kind brings the caption "OK",
/// a check-mark glyph, the modal result Ok and makes it a default button; the Cancel
/// kind brings "Cancel", a cross, the modal result Cancel and makes it the cancel
/// button. Enter presses the window's first visible, enabled default button (or
/// the focused button) and Esc its cancel button, unless the focused control takes
/// the key itself.
class TBitBtn : public TControl {
 public:
  explicit TBitBtn(TWinControl& parent);

  void SetKind(TBitBtnKind kind);
  TBitBtnKind Kind() const { return kind_; }
  void SetCaption(const std::string& caption);
  std::string Caption() const;
  void SetDefault(bool is_default);
  bool Default() const;
  void SetCancel(bool is_cancel);
  bool Cancel() const;
  /// The form's modal result after a click; None leaves the form alone.
  void SetModalResult(TModalResult result) { modal_result_ = result; }
  TModalResult ModalResult() const { return modal_result_; }

  /// Presses the button as a click would, if it is visible and enabled.
  void Click();
  std::function<void()> OnClick;

 private:
  /// The port's part of SetKind: the kind's glyph is shown.
  void ShowGlyph();

  TBitBtnKind kind_ = TBitBtnKind::Custom;
  TModalResult modal_result_ = TModalResult::None;
};

}  // namespace kestrova::ui
