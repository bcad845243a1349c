#include "ui/button.h"

namespace kestrova::ui {

void TBitBtn::SetKind(TBitBtnKind kind) {
  kind_ = kind;
  if (kind == TBitBtnKind::Ok) {
    SetCaption("OK");
    SetDefault(true);
    modal_result_ = TModalResult::Ok;
  } else if (kind == TBitBtnKind::Cancel) {
    SetCaption("Cancel");
    SetCancel(true);
    modal_result_ = TModalResult::Cancel;
  }
  ShowGlyph();
}

}  // namespace kestrova::ui
