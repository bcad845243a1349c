#include "app/form_wait_anim.h"

namespace kestrova {
namespace {

constexpr ui::TColor kBackground = ui::TColor::Rgb(191, 205, 240);

}  // namespace

TFormWaitAnim::TFormWaitAnim() {
  SetCaption("FormWaitAnim");
  SetBorderStyle(ui::TFormBorderStyle::None);
  SetBorderIcons(ui::biNone);
  SetFormStyle(ui::TFormStyle::StayOnTop);
  SetPosition(ui::TPosition::DesktopCenter);
  SetClientSize(173, 27);
  SetColor(kBackground);
  SetAlphaBlend(false);

  Panel1.SetAlign(ui::TAlign::Client);
  Panel1.SetBorderStyle(ui::TPanelBorder::Single);
  Panel1.SetCaption("Panel1");

  Animate1.SetAlign(ui::TAlign::Client);
  Animate1.SetBorderWidth(1);
  Animate1.SetColor(kBackground);
  Animate1.SetTransparent(false);
  Animate1.SetCenter(true);
  Animate1.SetStartFrame(1);
  Animate1.SetStopFrame(12);
  Animate1.SetRepetitions(0);

  FormCreate();
}

void TFormWaitAnim::FormCreate() {
  Animate1.SetResName("anim");
  Animate1.SetActive(true);
}

}  // namespace kestrova
