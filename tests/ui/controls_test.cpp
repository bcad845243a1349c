// The window vocabulary as the forms use it, on whichever port the build has.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/threads.h"
#include "form_gallery.h"
#include "ui/application.h"
#include "ui/timer.h"
#include "ui_test_support.h"

namespace kestrova::ui {
namespace {

using testing::Later;
using testing::SpinUntil;
using testing::TFormGallery;

TEST(Form, ModalLoopEndsWithTheClickedButtonsResult) {
  TFormGallery form;
  Later click(1, [&] { form.BitBtnOk.Click(); });
  EXPECT_EQ(form.ShowModal(), TModalResult::Ok);
  EXPECT_EQ(form.ok_clicks, 1);
  EXPECT_EQ(form.closes, 1) << "ending by a modal result closes the window";
  EXPECT_FALSE(form.Visible());

  Later close(1, [&] { form.Close(); });
  EXPECT_EQ(form.ShowModal(), TModalResult::Cancel) << "closing a modal window cancels it";
  EXPECT_EQ(form.closes, 2);
}

TEST(Form, ActivatedAndPlacedAtTheCentreWithItsClientSize) {
  TFormGallery form;
  form.Show();
  EXPECT_TRUE(SpinUntil([&] { return form.activations > 0; })) << "activation runs the handler from the loop";
  const TRect desktop = DesktopRect();
  EXPECT_EQ(form.ClientWidth(), 400);
  EXPECT_EQ(form.ClientHeight(), 290);
  EXPECT_EQ(form.Left(), desktop.left + (desktop.width - form.Width()) / 2);
  EXPECT_EQ(form.Top(), desktop.top + (desktop.height - form.Height()) / 2);
  EXPECT_EQ(form.Panel1.Width(), 400) << "aligned to the top, as wide as the window";
  form.SetBorderStyle(TFormBorderStyle::Single);
  EXPECT_EQ(form.ClientWidth(), 400) << "a new frame keeps the client size";
  form.Close();
}

TEST(Button, KindsBringCaptionAndResult) {
  TFormGallery form;
  TBitBtn plain(form);
  plain.SetKind(TBitBtnKind::Ok);
  EXPECT_EQ(plain.Caption(), "OK");
  EXPECT_TRUE(plain.Default());
  EXPECT_EQ(plain.ModalResult(), TModalResult::Ok);
  EXPECT_TRUE(form.BitBtnCancel.Cancel());
  EXPECT_EQ(form.BitBtnCancel.Caption(), "Later...");
  EXPECT_EQ(form.BitBtnCancel.ModalResult(), TModalResult::Cancel);
}

TEST(RichEdit, LinesAreParagraphsReplacedInPlace) {
  TFormGallery form;
  TRichEditLines& lines = form.RichEdit1.Lines;
  EXPECT_EQ(lines.Count(), 0);
  lines.Add("Start upgrade");
  lines.Add("Get action list ...");
  ASSERT_EQ(lines.Count(), 2);
  lines.Set(1, lines[1] + std::string(26, ' ') + ": Done");
  lines.Add("Download release ...");
  EXPECT_EQ(lines.Count(), 3);
  EXPECT_EQ(lines[0], "Start upgrade");
  EXPECT_EQ(lines[1], "Get action list ...                          : Done");
  EXPECT_EQ(lines[2], "Download release ...");
  lines.Set(7, "out of range");
  EXPECT_EQ(lines.Count(), 3);
  lines.Clear();
  EXPECT_EQ(lines.Count(), 0);
}

TEST(RichEdit, LoadsRtfAsTextAndOtherTextPlain) {
  TFormGallery form;
  EXPECT_TRUE(form.RichEdit1.Load("{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}Plain \\b bold\\b0  \\cf1 red\\cf0\\par big}"));
  EXPECT_EQ(form.RichEdit1.Text(), "Plain bold red\nbig");
  EXPECT_FALSE(form.RichEdit1.Load("Version 2.1\r\nno formatting {\\b here}"));
  EXPECT_EQ(form.RichEdit1.Text(), "Version 2.1\nno formatting {\\b here}");
  form.RichEdit1.SetPlainText(true);
  EXPECT_FALSE(form.RichEdit1.Load("{\\rtf1 \\b x}"));
  EXPECT_EQ(form.RichEdit1.Text(), "{\\rtf1 \\b x}") << "plain mode shows RTF as it is";
}

TEST(Gauge, KeepsProgressInRangeAndTruncatesThePercentage) {
  TFormGallery form;
  TGauge& gauge = form.Gauge1;
  gauge.SetMaxValue(3);
  gauge.SetProgress(2);
  EXPECT_EQ(gauge.PercentDone(), 66);
  gauge.SetProgress(7);
  EXPECT_EQ(gauge.Progress(), 3);
  EXPECT_EQ(gauge.PercentDone(), 100);
  gauge.SetMaxValue(0);
  EXPECT_EQ(gauge.PercentDone(), 0);
  gauge.SetMaxValue(2000000000);
  gauge.SetProgress(1999999999);
  EXPECT_EQ(gauge.PercentDone(), 99) << "no overflow on large sizes";
}

TEST(Timer, FiresWhileEnabledOnlyAndAnimationsMoveOn) {
  TFormGallery form;
  TTimer timer;
  int ticks = 0;
  timer.SetInterval(20);
  timer.OnTimer = [&] {
    if (++ticks == 3) timer.SetEnabled(false);
  };
  timer.SetEnabled(true);
  form.Wheel.SetActive(true);
  EXPECT_TRUE(SpinUntil([&] { return ticks >= 3; }));
  SpinUntil([] { return false; }, 100);
  EXPECT_EQ(ticks, 3);
  EXPECT_GT(form.Wheel.FramesAdvanced(), 0u);
}

TEST(HandOver, WorkerCallsRunFromTheMessageLoop) {
  // The GUI thread is in the message loop, not waiting for the worker: only the
  // port's wake-up gets the call run.
  std::atomic<bool> ran_on_gui_thread{false};
  std::thread worker([&] { GuiThread::Synchronize([&] { ran_on_gui_thread = GuiThread::IsCurrent(); }); });
  EXPECT_TRUE(SpinUntil([&] { return ran_on_gui_thread.load(); }));
  worker.join();
}

TEST(Application, ScreenCursorIsSetAndReset) {
  SetScreenCursor(TCursor::AppStart);
  EXPECT_EQ(ScreenCursor(), TCursor::AppStart);
  SetScreenCursor(TCursor::Arrow);
  EXPECT_EQ(ScreenCursor(), TCursor::Arrow);
  SetScreenCursor(TCursor::Default);
  EXPECT_EQ(ScreenCursor(), TCursor::Default);
}

}  // namespace
}  // namespace kestrova::ui
