// A dialog with one control of each kind, for the tests of either port.
#pragma once

#include "ui/animate.h"
#include "ui/button.h"
#include "ui/form.h"
#include "ui/gauge.h"
#include "ui/label.h"
#include "ui/panel.h"
#include "ui/rich_edit.h"
#include "ui_test_support.h"

namespace kestrova::ui::testing {

/// Laid out like the program's windows.
class TFormGallery : public TForm {
 public:
  TFormGallery() {
    SetCaption(" Gallery of controls");
    SetClientSize(400, 290);
    SetBorderStyle(TFormBorderStyle::ToolWindow);
    SetBorderIcons(biNone);
    SetPosition(TPosition::DesktopCenter);
    SetColor(TColor::FromBgr(15515566));
    SetFont(TFont{"MS Sans Serif", 11});

    Panel1.SetBounds(0, 0, 400, 70);
    Panel1.SetAlign(TAlign::Top);
    Panel1.SetBorderStyle(TPanelBorder::Single);
    Panel1.SetBorderWidth(1);
    Panel1.SetColor(TColor::Rgb(191, 205, 240));
    Label1.SetBounds(10, 14, 90, 16);
    Label1.SetCaption("Application:");
    Label1.SetAlignment(TAlignment::RightJustify);
    Label1.SetFont(TFont{"MS Sans Serif", 13, true});
    LabelValue.SetBounds(110, 13, 150, 18);
    LabelValue.SetCaption("Kestrova Demo");
    LabelValue.SetAlignment(TAlignment::Center);
    LabelValue.SetColor(clWhite);
    LabelValue.SetFont(TFont{"MS Sans Serif", 13});
    Wheel.SetBounds(331, 1, 66, 66);
    Wheel.SetColor(clBlack);
    Wheel.SetBorderWidth(1);

    Gauge1.SetBounds(16, 80, 328, 12);
    Gauge1.SetForeColor(clAqua);
    Gauge1.SetShowText(false);
    Gauge1.SetProgress(40);
    RichEdit1.SetBounds(16, 100, 368, 140);
    RichEdit1.SetReadOnly(true);
    RichEdit1.SetScrollBars(TScrollStyle::Vertical);
    RichEdit1.SetFont(TFont{"Fixedsys", 12});
    RichEdit1.SetTabOrder(0);
    BitBtnOk.SetBounds(16, 254, 106, 25);
    BitBtnOk.SetKind(TBitBtnKind::Ok);
    BitBtnOk.SetCaption("Update now");
    BitBtnOk.SetFont(TFont{"MS Sans Serif", 11, true});
    BitBtnOk.SetCursor(TCursor::HandPoint);
    BitBtnOk.SetTabOrder(1);
    BitBtnCancel.SetBounds(306, 254, 78, 25);
    BitBtnCancel.SetKind(TBitBtnKind::Cancel);
    BitBtnCancel.SetCaption("Later...");
    BitBtnCancel.SetFont(TFont{"MS Sans Serif", 11, true});
    BitBtnCancel.SetTabOrder(2);

    BitBtnOk.OnClick = [this] { ++ok_clicks; };
    BitBtnCancel.OnClick = [this] { ++cancel_clicks; };
    OnClose = [this] { ++closes; };
    OnActivate = [this] { ++activations; };
    Wheel.SetResName("wheel");
  }

  /// Shows the gallery with formatted text and a running clip, ready for a picture.
  void ShowForPicture() {
    RichEdit1.Load(
        "{\\rtf1{\\colortbl;\\red200\\green0\\blue0;\\red0\\green96\\blue0;}\\b Release 2.1\\b0\\par "
        "This release brings \\i faster downloads\\i0  and a \\cf1\\b new\\cf0\\b0  look.\\par"
        "\\cf2\\ul Green underlined\\ulnone\\cf0\\par}");
    Wheel.SetActive(true);
    Show();
    SpinUntil([this] { return activations > 0; });
    Repaint();
  }

  TPanel Panel1{*this};
  TLabel Label1{Panel1};
  TLabel LabelValue{Panel1};
  TAnimate Wheel{Panel1};
  TGauge Gauge1{*this};
  TRichEdit RichEdit1{*this};
  TBitBtn BitBtnOk{*this};
  TBitBtn BitBtnCancel{*this};

  int ok_clicks = 0;
  int cancel_clicks = 0;
  int closes = 0;
  int activations = 0;
};

}  // namespace kestrova::ui::testing
