// The Qt window behind a TForm.
#pragma once

#include <QEventLoop>
#include <QPointer>

#include "ui/form.h"
#include "ui/qt/container_qt.h"

namespace kestrova::ui {

/// A top-level widget that reports activation and closing to its form, places
/// itself when first shown and turns Enter and Esc into clicks of the form's
/// default and cancel buttons.
class QtFormWindow : public QtContainer {
 public:
  QtFormWindow(TForm& form, QWidget* owner);

  TForm& Form() const { return form_; }

  void SetBorderStyle(TFormBorderStyle style);
  void SetBorderIcons(unsigned icons);
  void SetStayOnTop(bool on_top);
  void SetPosition(TPosition position) { position_ = position; }

  /// The loop that ends when the window closes (the modal loop, or the program's
  /// loop for the main window), while one runs.
  void SetClosingLoop(QEventLoop* loop) { closing_loop_ = loop; }
  QEventLoop* ClosingLoop() const { return closing_loop_; }

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ApplyWindowFlags();
  void PlaceOnScreen();
  bool ClickButton(const char* role);

  TForm& form_;
  TFormBorderStyle border_style_ = TFormBorderStyle::Single;
  unsigned border_icons_ = biSystemMenu | biMinimize | biMaximize;
  bool stay_on_top_ = false;
  TPosition position_ = TPosition::Designed;
  bool placed_ = false;
  QPointer<QEventLoop> closing_loop_;
};

}  // namespace kestrova::ui
