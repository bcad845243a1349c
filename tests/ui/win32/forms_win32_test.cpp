// The program's windows built on the native Windows port: their layout and a
// picture of each for review beside the other platform's.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/form_wait_anim.h"
#include "base/threads.h"
#include "net/form_download.h"
#include "ui/application.h"
#include "ui/screenshot.h"
#include "ui/win32/native_control_win32.h"
#include "../ui_test_support.h"
#include "upgrade/form_main_screen.h"
#include "zip/form_zip_progress.h"

namespace kestrova {
namespace {

bool Screenshot(ui::TForm& form, const std::string& name) {
  ui::ProcessMessages();
  form.Repaint();
  return ui::SaveScreenshot(form, ui::testing::ScreenshotDir() + "/" + name + "_win32.png");
}

TEST(Forms, WaitWindowIsBorderlessWithItsStripCentred) {
  TFormWaitAnim form;
  form.Show();
  EXPECT_EQ(form.Width(), 173) << "no frame around the client area";
  EXPECT_EQ(form.Height(), 27);
  EXPECT_EQ(form.Animate1.BoundsRect(), (ui::TRect{1, 1, 171, 25})) << "the panel's frame is one pixel";
  EXPECT_TRUE(GetWindowLongW(form.Native().Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(Screenshot(form, "wait_window"));
  form.Close();
}

class SleepingWorker : public TThread {
 public:
  explicit SleepingWorker(Key key) : TThread(key) {}

 protected:
  void Execute() override { Sleep(600); }
};

TEST(Forms, WaitWindowStripMovesWhileTheGuiThreadWaitsForAWorker) {
  TFormWaitAnim form;
  form.Show();
  const uint64_t start = form.Animate1.FramesAdvanced();
  auto worker = TThread::Create<SleepingWorker>();
  worker->Start();
  worker->WaitFor();
  // 12 frames a second; leave room for a busy machine.
  EXPECT_GE(form.Animate1.FramesAdvanced() - start, 3u);
  form.Close();
}

TEST(Forms, ProgressDialogsKeepTheirDesignedSizes) {
  TFormDownload download;
  download.Show();
  download.LabelFilename.SetCaption("release.zip");
  download.LabelSize.SetCaption("  (300 Kb of 1200 Kb)");
  download.LabelPercentDone.SetCaption("  (25%)");
  download.Gauge1.SetProgress(25);
  EXPECT_EQ(download.ClientWidth(), 360);
  EXPECT_EQ(download.ClientHeight(), 98);
  EXPECT_EQ(download.BitBtnCancel.BoundsRect(), (ui::TRect{142, 67, 75, 24}));
  EXPECT_TRUE(Screenshot(download, "download_dialog"));
  download.Close();

  for (const bool save_mode : {true, false}) {
    TFormZipProgress zip(nullptr, save_mode, save_mode);
    zip.Show();
    zip.SetCaption(save_mode ? " Save in progress..." : " Install in progress...");
    zip.LabelFilename.SetCaption(save_mode ? "Data\\*.*" : "release1.zip");
    zip.Gauge1.SetProgress(40);
    EXPECT_EQ(zip.Gauge1.BoundsRect(), (ui::TRect{16, 28, 328, 12}));
    EXPECT_TRUE(Screenshot(zip, save_mode ? "zip_progress_save" : "zip_progress_install"));
    zip.Close();
  }
}

TEST(Forms, MainWindowShowsTheReleaseAndItsButtons) {
  TSettings settings;
  settings.name = "Demo";
  settings.current_version = "2.0";
  settings.release_version = "2.1";
  settings.release_date = "2009-05-04";
  settings.selected_server = "http://127.0.0.1:9";  // nothing answers: no description
  settings.link_for_update = "/update";
  settings.internet_option_connect_timeout = 1;
  settings.INTERNET_OPEN_TYPE = kOpenTypeDirect;
  TFormMainScreen form(settings, "kestrova");
  form.Show();
  EXPECT_EQ(form.ClientWidth(), 513);
  EXPECT_EQ(form.ClientHeight(), 381);
  EXPECT_EQ(form.BitBtnStart.BoundsRect(), (ui::TRect{181, 348, 151, 25}));
  form.RichEdit1.Load("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20{\\b Demo 2.1} brings:\\par"
                      " - faster start\\par - new reports\\par}");
  EXPECT_TRUE(Screenshot(form, "main_window"));
  form.ClearLog();
  for (const char* step : {"Start upgrade", "Get action list ...", "Download release ..."}) {
    form.AddLogLine(step);
    if (std::string(step) != "Start upgrade") form.SetStepResult("Done");
  }
  form.ShowUpgradeState(TUpgradeState::Running);
  EXPECT_TRUE(Screenshot(form, "main_window_upgrading"));
  form.Close();
}

}  // namespace
}  // namespace kestrova
