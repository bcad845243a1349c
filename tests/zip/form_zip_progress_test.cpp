// The archive dialog offscreen: its two layouts, the close timer, Cancel, a full
// disk and an error that escapes the archiver.
#include "zip/form_zip_progress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include "ui/qt_test_support.h"
#include "zip_test_support.h"

namespace kestrova::testing {
namespace {

// Runs `step` from the dialog's loop (also from the messages the job processes)
// every millisecond until it returns true.
void EveryMs(std::function<bool()> step) {
  QTimer::singleShot(1, [step] {
    if (!step()) EveryMs(step);
  });
}

class FormZipProgressTest : public ZipTest {
 protected:
  // Saves `list` (relative to "app") into `archive` as the save step does.
  int32_t Save(const std::vector<std::string>& list, const fs::path& archive, TFormZipProgress& form) {
    archiver_.FileName = U(archive);
    archiver_.Open(fmCreate);
    archiver_.SetCompressionLevel(clMax);
    archiver_.BaseDir = U(Path("app"));
    form.Start(" Save in progress...", archiver_, list);
    form.ShowModal();
    archiver_.Close();
    return form.ResultCode();
  }
  std::string Listing(const fs::path& archive) {
    std::string names;
    // python's reader, since unzip calls an empty archive an error.
    EXPECT_EQ(Shell("python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                    "assert z.testzip() is None; print(*z.namelist(), sep=chr(10), end=str())' " + Quote(archive),
                    &names),
              0);
    return names;
  }
  ZipArchiver archiver_;
};

TEST_F(FormZipProgressTest, SaveAndInstallLayouts) {
  struct Case {
    bool save_mode;
    int height;
    bool cancel_visible;
    const char* screenshot;
  };
  for (const Case& c : {Case{true, 87, true, "zip_progress_save"}, Case{false, 81, false, "zip_progress_install"}}) {
    SCOPED_TRACE(c.screenshot);
    TFormZipProgress form(nullptr, c.save_mode, c.cancel_visible);
    EXPECT_EQ(form.Caption(), "FormZipProgress");
    EXPECT_EQ(form.ClientWidth(), 359);
    EXPECT_EQ(form.Height(), c.height);
    EXPECT_EQ(form.LabelFilename.BoundsRect(), (ui::TRect{16, 8, 297, 13}));
    EXPECT_EQ(form.Gauge1.BoundsRect(), (ui::TRect{16, 28, 328, 12}));
    EXPECT_EQ(form.Gauge1.MaxValue(), 100);
    EXPECT_EQ(form.BitBtnCancel.BoundsRect(), (ui::TRect{142, 52, 75, 24}));
    EXPECT_EQ(form.BitBtnCancel.Caption(), "Cancel");
    EXPECT_EQ(form.BitBtnCancel.Visible(), c.cancel_visible);
    EXPECT_EQ(form.TimerClose.Interval(), 500);
    EXPECT_FALSE(form.TimerClose.Enabled());
    form.Show();  // nothing to run: no job was handed over
    form.SetCaption(c.save_mode ? " Save in progress..." : " Install in progress...");
    form.LabelFilename.SetCaption(c.save_mode ? "Data\\*.*" : "release1.zip");
    form.Gauge1.SetProgress(40);
    EXPECT_FALSE(ui::testing::SaveFormScreenshot(form, c.screenshot).isNull());
    form.Hide();
    EXPECT_EQ(form.ResultCode(), 0);
  }
}

TEST_F(FormZipProgressTest, EmptyListIsDoneAndClosesHalfASecondLater) {
  TFormZipProgress form(nullptr, true, true);
  QElapsedTimer shown;
  shown.start();
  EXPECT_EQ(Save({}, Path("empty.zip"), form), 1);
  EXPECT_GE(shown.elapsed(), 450);
  EXPECT_LT(shown.elapsed(), 3000);
  EXPECT_TRUE(form.ErrorText().empty());
  EXPECT_EQ(Listing(Path("empty.zip")), "");
}

TEST_F(FormZipProgressTest, CancelDuringTheSecondEntryKeepsTheFirst) {
  Make("app/first.txt", "first entry");
  for (int i = 0; i < 4; ++i) Make("app/second/part" + std::to_string(i), RandomBytes(2 << 20, i));
  TFormZipProgress form(nullptr, true, true);
  int gauge_when_cancelled = -1;
  EveryMs([&] {
    if (form.LabelFilename.Caption() != "second\\*.*") return false;
    form.BitBtnCancel.Click();
    gauge_when_cancelled = form.Gauge1.Progress();
    return true;
  });
  EXPECT_EQ(Save({"first.txt", "second\\*.*", "third.txt"}, Path("save.zip"), form), 2);
  EXPECT_FALSE(form.BitBtnCancel.Enabled());
  EXPECT_LT(gauge_when_cancelled, 100);
  EXPECT_EQ(Listing(Path("save.zip")), "first.txt");
}

TEST_F(FormZipProgressTest, FullDiskFailsTheSave) {
  fs::create_directories(Path("small"));
  if (Shell("mount -t tmpfs -o size=1m kestrova-test " + Quote(Path("small")) + " 2>/dev/null") != 0) {
    GTEST_SKIP() << "no small file system can be mounted here";
  }
  struct Unmount {
    fs::path at;
    ~Unmount() { Shell("umount " + Quote(at)); }
  } unmount{Path("small")};
  Make("app/small.txt", "fits");
  Make("app/big.bin", RandomBytes(3 << 20));
  TFormZipProgress form(nullptr, true, true);
  EXPECT_EQ(Save({"small.txt", "big.bin"}, Path("small/save.zip"), form), 3);
  EXPECT_EQ(form.ErrorText(), "Cannot write archive file \"" + Path("small/save.zip").string() +
                                  "\". The disk is full - Native error: 00104");
  EXPECT_EQ(Listing(Path("small/save.zip")), "small.txt");
}

TEST_F(FormZipProgressTest, EscapedErrorIsReportedAndTheWindowStaysOpen) {
  TFormZipProgress form(nullptr, true, true);
  const std::vector<std::string> list = {"first.txt"};
  form.Start(" Save in progress...", archiver_, list);  // the archive was never opened
  std::string report;
  bool stayed_open = false;
  EveryMs([&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return false;
    report = box->text().toStdString();
    box->accept();
    QTimer::singleShot(700, [&] {
      stayed_open = form.Visible() && !form.TimerClose.Enabled();
      form.Close();
    });
    return true;
  });
  form.ShowModal();
  EXPECT_EQ(report, "Archive is not open - Native error: 00013.");
  EXPECT_TRUE(stayed_open);
  EXPECT_EQ(form.ResultCode(), 0);
  EXPECT_EQ(form.ErrorText(), "Archive is not open - Native error: 00013");
}

}  // namespace
}  // namespace kestrova::testing
