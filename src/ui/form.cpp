#include "ui/form.h"

#include "ui/handler.h"

namespace kestrova::ui {

void TForm::Close() {
  DoClose();
  Hide();
}

void TForm::SetModalResult(TModalResult result) {
  modal_result_ = result;
  if (result != TModalResult::None) WakeModalLoop();
}

void TForm::DoActivate() { RunHandler(OnActivate); }

void TForm::DoClose() {
  // A handler that closes the window again must not run itself once more.
  if (closing_) return;
  closing_ = true;
  RunHandler(OnClose);
  closing_ = false;
  if (ShownModally() && modal_result_ == TModalResult::None) modal_result_ = TModalResult::Cancel;
  WakeModalLoop();
}

}  // namespace kestrova::ui
