// The wait window of start-up.
#pragma once

#include "ui/animate.h"
#include "ui/form.h"
#include "ui/panel.h"

namespace kestrova {

/// The small borderless, always-on-top window with a moving strip that start-up
/// shows while it reads the configuration and asks the update servers.
class TFormWaitAnim : public ui::TForm {
 public:
  TFormWaitAnim();

  ui::TPanel Panel1{*this};
  ui::TAnimate Animate1{Panel1};

 private:
  void FormCreate();
};

}  // namespace kestrova
