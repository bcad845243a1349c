// The download dialog offscreen: its look, its labels while a real download runs,
// the estimate texts, the outcome it reports, and the credential question.
#include "net/form_download.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "support/peers.h"
#include "ui/application.h"
#include "ui/qt/native_control.h"
#include "ui/qt_test_support.h"

namespace kestrova {
namespace {

using ui::testing::SaveFormScreenshot;

// Runs `step` from the dialog's modal loop every 20 ms until it returns true.
void Every20ms(std::function<bool()> step) {
  QTimer::singleShot(20, [step] {
    if (!step()) Every20ms(step);
  });
}

class FormDownloadTest : public ::testing::Test {
 protected:
  int32_t Run(TFormDownload& form, const std::string& url) {
    form.PrepareDownload(kOpenTypeDirect, "", "", "", dir_.WithSeparator(), "release.zip", url);
    form.ShowModal();
    return form.DownloadStatus();
  }
  testing::TempFolder dir_;
};

TEST_F(FormDownloadTest, LooksAsDesignedAndShowsTheTransferUntilCancelled) {
  // 300 Kb of 1200 Kb arrive, then the server holds the connection open.
  test::ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 1228800\r\n\r\n" + std::string(307200, 'x'),
                              /*hang_up=*/false);
  TFormDownload form;
  EXPECT_EQ(form.Caption(), " Download in progress...");
  EXPECT_EQ(form.ClientWidth(), 360);
  EXPECT_EQ(form.ClientHeight(), 98);
  EXPECT_TRUE(form.Native().Widget()->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_NEAR(form.Native().Widget()->windowOpacity(), 238 / 255.0, 0.01);
  EXPECT_EQ(form.Gauge1.BoundsRect(), (ui::TRect{16, 28, 328, 12}));
  EXPECT_EQ(form.BitBtnCancel.BoundsRect(), (ui::TRect{142, 67, 75, 24}));
  EXPECT_EQ(form.BitBtnCancel.Caption(), "Cancel");

  std::string size_text, percent_text, name_text;
  Every20ms([&] {
    if (form.LabelSize.Caption().find("300 Kb") == std::string::npos) return false;
    size_text = form.LabelSize.Caption();
    percent_text = form.LabelPercentDone.Caption();
    name_text = form.LabelFilename.Caption();
    SaveFormScreenshot(form, "download_dialog");
    form.BitBtnCancel.Click();
    return true;
  });
  EXPECT_EQ(Run(form, server.BaseUrl() + "/files/release.zip"), 2);
  EXPECT_EQ(name_text, "release.zip");
  EXPECT_EQ(size_text, "  (300 Kb of 1200 Kb)");
  EXPECT_EQ(percent_text, "  (25%)");
  EXPECT_EQ(form.Gauge1.PercentDone(), 25);
}

TEST_F(FormDownloadTest, StatusTellsHowTheDownloadEnded) {
  struct Case {
    int status;
    std::string body;
    int32_t expected;
  };
  for (const Case& c : std::vector<Case>{{200, std::string(12345, 'r'), 1}, {200, "", 1}, {404, "gone", 3}}) {
    SCOPED_TRACE(c.status);
    test::FixedReplyServer server(c.status, c.body);
    TFormDownload form;
    EXPECT_EQ(Run(form, server.BaseUrl() + "/files/release.zip"), c.expected);
    if (c.expected == 1) {
      EXPECT_EQ(test::ReadFile(dir_.WithSeparator() + "release.zip"), c.body);
      EXPECT_EQ(form.LabelSize.Caption(), c.body.empty() ? "" : "  (12 Kb of 12 Kb)");
    }
    EXPECT_EQ(form.FailureText(), c.expected == 3 ? "release.zip: the server answered HTTP 404" : "");
  }
}

TEST_F(FormDownloadTest, EstimateOfTheTimeLeft) {
  struct Case {
    int64_t ms, total, readed, last_bytes;
    std::string size_text, percent_text;
  };
  constexpr int64_t kGiB = 1024LL * 1024 * 1024;
  const std::vector<Case> cases = {
      {5000, 12 * 1024, 12 * 1024, 0, "  (12 Kb of 12 Kb)", "  (100%)"},  // not yet 5 s: no estimate
      {6000, 1000, 1000, 0, "Estimated left time: 1s  (0 Kb of 0 Kb)", "  (100%)"},
      {6000, 8 * 10240, 10240, 0, "Estimated left time: 42 sec  (10 Kb of 80 Kb)", "  (12%)"},
      {6000, 21 * 1024, 1024, 0, "Estimated left time: 2 min  (1 Kb of 21 Kb)", "  (4%)"},
      {125000, 2048, 1024, 0, "Estimated left time: 2 min  5 sec  (1 Kb of 2 Kb)", "  (50%)"},
      {6000, 601 * 1024, 1024, 0, "Estimated left time: 1 h  0 min  (1 Kb of 601 Kb)", "  (0%)"},
      {7450, 501 * 1024, 1024, 0, "Estimated left time: 1 h  2 min  (1 Kb of 501 Kb)", "  (0%)"},
      {10000, 5 * kGiB, 3 * kGiB, kGiB, "Estimated left time: 10 sec  (3145728 Kb of 5242880 Kb)", "  (60%)"},
      {6000, 100, 150, 0, "Estimated left time: 1s  (0 Kb of 0 Kb)", "  (100%)"},  // more than announced
  };
  auto sender = TThread::Create<THTTPGetThread>(THTTPGetParams{});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size_text);
    TFormDownload form;
    form.PrepareDownload(kOpenTypeDirect, "", "", "", dir_.WithSeparator(), "f.zip", "http://127.0.0.1/f.zip");
    const auto start = form.LastTime;
    form.LastBytes = c.last_bytes;
    form.Now = [&] { return start + std::chrono::milliseconds(c.ms); };
    form.HTTPGet1Progress(*sender, c.total, c.readed);
    EXPECT_EQ(form.LabelSize.Caption(), c.size_text);
    EXPECT_EQ(form.LabelPercentDone.Caption(), c.percent_text);
    EXPECT_EQ(form.Gauge1.PercentDone(), std::stoi(c.percent_text.substr(3)));
  }
}

TEST_F(FormDownloadTest, ServerLoginIsAskedForInADialog) {
  for (const bool answer : {true, false}) {
    SCOPED_TRACE(answer);
    test::FixedReplyServer server(200, "protected release", "", "kuser:kpass");
    TFormDownload form;
    std::string question;
    Every20ms([&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog || dialog->objectName() != "CredentialsDialog" || !dialog->isVisible()) return false;
      question = dialog->findChild<QLabel*>("Question")->text().toStdString();
      dialog->findChild<QLineEdit*>("UserName")->setText("kuser");
      dialog->findChild<QLineEdit*>("Password")->setText("kpass");
      if (answer) {
        dialog->grab().save(QString::fromStdString(ui::testing::ScreenshotDir() + "/credentials_dialog.png"));
      }
      auto* buttons = dialog->findChild<QDialogButtonBox*>();
      buttons->button(answer ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
      return true;
    });
    EXPECT_EQ(Run(form, server.BaseUrl() + "/files/release.zip"), answer ? 1 : 3);
    EXPECT_EQ(question, "The server " + server.BaseUrl().substr(7) + " asks for a user name and password.");
    if (answer) {
      EXPECT_EQ(test::ReadFile(dir_.WithSeparator() + "release.zip"), "protected release");
    }
  }
}

}  // namespace
}  // namespace kestrova
