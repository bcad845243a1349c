// A top-level window with its controls.
#pragma once

#include <functional>
#include <string>

#include "ui/control.h"

namespace kestrova::ui {

/// A window of the program. A form class derives from TForm, holds its controls as
/// members (declared parents first), lays them out in its constructor and ends the
/// constructor with its FormCreate handler. Shown modeless with Show or modally with
/// ShowModal; closing hides it, and the owner of the TForm object destroys it.
class TForm : public TWinControl {
 public:
  /// `owner`: the window this one belongs to and stays in front of; none for a
  /// window of its own.
  explicit TForm(TForm* owner = nullptr);
  ~TForm() override;

  void SetCaption(const std::string& caption);
  std::string Caption() const;
  void SetClientSize(int width, int height);
  int ClientWidth() const;
  int ClientHeight() const;
  void SetBorderStyle(TFormBorderStyle style);
  void SetBorderIcons(unsigned icons);  // TBorderIcons combined with |
  void SetFormStyle(TFormStyle style);
  void SetPosition(TPosition position);
  /// Opacity from 0 (invisible) to 255 (opaque) when `enabled`.
  void SetAlphaBlend(bool enabled, int value = 255);

  void Show();
  void Hide();
  /// Runs OnClose and hides the window; a modal window's ShowModal then returns.
  void Close();
  /// Shows the window modally and returns when a button with a modal result was
  /// pressed, SetModalResult was called or the window was closed.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult result);

  /// The window became the active window. Runs from the message loop, so the
  /// handler may take long and process messages; a handler that does so may see
  /// the next activation while it runs and must tell the two apart itself.
  std::function<void()> OnActivate;
  /// The window is closing, in whatever way.
  std::function<void()> OnClose;

  /// Called by the port when the window becomes active or closes.
  void DoActivate();
  void DoClose();

 private:
  /// The port's part: whether ShowModal shows the window now, and ending its wait so
  /// that it looks at the modal result again.
  bool ShownModally() const;
  void WakeModalLoop();

  TModalResult modal_result_ = TModalResult::None;
  bool closing_ = false;
};

}  // namespace kestrova::ui
