// Start-up on a display, with the real main sequence: the missing-configuration
// message and the wait window around it.
#include "app/windowed_screen.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "app/main_sequence.h"
#include "support/peers.h"
#include "support/temp_folder.h"
#include "ui/qt_test_support.h"

namespace kestrova {
namespace {

struct SeenBox {
  bool seen = false;
  std::string title, text;
  QMessageBox::Icon icon = QMessageBox::Information;
  std::vector<QString> buttons;
  bool wait_window_visible = false;
};

// Watches for the message box, notes what it shows, saves a picture of it and
// answers it with OK.
void AnswerMessageBox(SeenBox& seen, const WindowedScreen& screen) {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible()) {
    QTimer::singleShot(20, [&] { AnswerMessageBox(seen, screen); });
    return;
  }
  seen.seen = true;
  seen.title = box->windowTitle().toStdString();
  seen.text = box->text().toStdString();
  seen.icon = box->icon();
  for (QAbstractButton* button : box->buttons()) seen.buttons.push_back(button->text());
  seen.wait_window_visible = screen.WaitWindow() && screen.WaitWindow()->Visible();
  box->grab().save(QString::fromStdString(ui::testing::ScreenshotDir() + "/missing_configuration.png"));
  box->button(QMessageBox::Ok)->click();
}

TEST(WindowedScreen, MissingConfigurationShowsTheMessageAndStartsNothing) {
  int argc = 1;
  char name[] = "kestrova";
  char* argv[] = {name, nullptr};
  WindowedScreen screen(argc, argv);

  const kestrova::testing::TempFolder folder;
  const std::filesystem::path& dir = folder.path();
  const std::string executable = (dir / "updater").string();
  TSettings settings;
  SeenBox seen;
  QTimer::singleShot(0, [&] { AnswerMessageBox(seen, screen); });
  const int exit_code = RunMainSequence(settings, screen, executable);

  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, "Error");
  EXPECT_EQ(seen.text, "The file: " + (dir / "updater.ini").string() + " is missing! Impossible to run the software.");
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.buttons, (std::vector<QString>{QStringLiteral("OK")}));
  EXPECT_FALSE(seen.wait_window_visible) << "the box comes at once, no wait window before it";
  EXPECT_EQ(exit_code, 1) << "nothing could be started";
  EXPECT_EQ(screen.WaitWindow(), nullptr) << "the wait window is destroyed before the end";
  EXPECT_EQ(settings.process_priority, 0) << "so the launcher starts nothing";
  EXPECT_TRUE(settings.main_program.empty());
}

// The wait window comes only when the servers leave the check unanswered past a
// quarter of a second.
TEST(WindowedScreen, TheWaitWindowShowsOnlyForASlowCheck) {
  int argc = 1;
  char name[] = "kestrova";
  char* argv[] = {name, nullptr};
  WindowedScreen screen(argc, argv);
  const kestrova::testing::TempFolder folder;
  ::setenv("XDG_CACHE_HOME", folder.WithSeparator().c_str(), 1);
  const auto app = folder.Write("app.sh", "#!/bin/sh\n");
  ::chmod(app.c_str(), 0755);
  folder.Write("app.cfg", "[Kestrova]\nVERSION=2.0\n");
  test::FixedReplyServer up_to_date(200, "2.0;x");
  test::SilentServer silent;
  for (const bool slow : {false, true}) {
    folder.Write("updater.ini", "[application]\nname=Demo\nmain_program=app.sh\nfilename_config=app.cfg\n"
                                "param_appli_version=VERSION\n[server]\ninternet_option_connect_timeout=1\n"
                                "server_addr1=" + (slow ? silent.BaseUrl() : up_to_date.BaseUrl()) + "\n");
    const double start = test::Now();
    double shown_after = -1;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
      if (shown_after < 0 && screen.WaitWindow() && screen.WaitWindow()->Visible()) shown_after = test::Now() - start;
    });
    look.start(10);
    TSettings settings;
    EXPECT_EQ(RunMainSequence(settings, screen, folder.WithSeparator() + "updater"), 0);
    EXPECT_EQ(shown_after >= 0, slow) << shown_after;
    EXPECT_TRUE(!slow || shown_after >= 0.25) << shown_after;
  }
  ::unsetenv("XDG_CACHE_HOME");
}

TEST(WindowedScreen, WaitWindowIsPaintedAsSoonAsItShows) {
  int argc = 1;
  char name[] = "kestrova";
  char* argv[] = {name, nullptr};
  WindowedScreen screen(argc, argv);
  screen.ShowWaitWindow();
  ASSERT_NE(screen.WaitWindow(), nullptr);
  EXPECT_TRUE(screen.WaitWindow()->Visible());
  screen.HideWaitWindow();
  EXPECT_FALSE(screen.WaitWindow()->Visible());
  screen.CloseWaitWindow();
  screen.CloseWaitWindow();
  EXPECT_EQ(screen.WaitWindow(), nullptr);
}

}  // namespace
}  // namespace kestrova
