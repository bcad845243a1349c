// The main window, driven through its controls offscreen against the reference
// update server: what it shows, its log, and the action list it fetches.
#include "upgrade/form_main_screen.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFontInfo>
#include <QWidget>
#include <filesystem>

#include "support/peers.h"
#include "ui/qt/native_control.h"
#include "ui/qt_test_support.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using ui::testing::SpinUntil;

constexpr char kRtf[] =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20{\\b Demo 2.1} brings:\\par"
    " - faster start\\par - new reports\\par}";
constexpr char kRtfText[] = "Demo 2.1 brings:\n- faster start\n- new reports";

class MainScreen : public ::testing::Test {
 protected:
  MainScreen() {
    publish_.Write("Demo/release.ini", "[release]\nversion=2.1\ndate=2009-05-04\n");
    publish_.Write("Demo/description.rtf", kRtf);
    server_ = std::make_unique<test::ReferenceServer>(publish_.WithSeparator(), "/update",
                                                      publish_.WithSeparator() + "completions.log");
    settings_.app_directory = app_.WithSeparator();
    settings_.name = "Demo";
    settings_.current_version = "2.0";
    settings_.release_version = "2.1";
    settings_.release_date = "2009-05-04";
    settings_.selected_server = server_->BaseUrl();
    settings_.link_for_update = "/update";
    settings_.internet_option_connect_timeout = 5;
    settings_.INTERNET_OPEN_TYPE = kOpenTypeDirect;
  }

  std::unique_ptr<TFormMainScreen> Open() { return std::make_unique<TFormMainScreen>(settings_, "kestrova"); }

  // Publishes `content` as the action list and has `form` fetch it.
  bool LoadActionList(TFormMainScreen& form, const std::string& content) {
    publish_.Write("Demo/actionlist.ini", content);
    form.OpenServerConnection();
    form.RequestActionList();
    form.CloseServerConnection();
    return form.ActionListLoaded;
  }

  testing::TempFolder publish_;
  testing::TempFolder app_;
  std::unique_ptr<test::ReferenceServer> server_;
  TSettings settings_;
};

TEST_F(MainScreen, LaidOutWithTheReleaseAndItsDescription) {
  auto form = Open();
  form->Show();
  EXPECT_EQ(form->Caption(), "Release available");
  EXPECT_EQ(form->ClientWidth(), 513);
  EXPECT_EQ(form->ClientHeight(), 381);
  EXPECT_EQ(form->Label_Application_Name.Caption(), "Demo");
  EXPECT_EQ(form->Label_Current_Version.Caption(), "2.0");
  EXPECT_EQ(form->Label_Release_Version.Caption(), "2.1");
  EXPECT_EQ(form->Label_Release_Date.Caption(), "2009-05-04");
  EXPECT_EQ(form->RichEdit1.Text(), kRtfText);
  EXPECT_TRUE(QFontInfo(form->RichEdit1.Native().Widget()->font()).fixedPitch());
  EXPECT_EQ(form->BitBtnStart.BoundsRect(), (ui::TRect{181, 348, 151, 25}));
  EXPECT_EQ(form->AnimateUpdateInProgress.BoundsRect(), (ui::TRect{445, 2, 66, 66}));
  EXPECT_EQ(form->AnimateUpdateInProgress.FrameCount(), 3) << "the wheel clip";
  EXPECT_TRUE(form->BitBtnUpdate.Default());
  EXPECT_TRUE(form->BitBtnLater.Cancel());
  for (const ui::TBitBtn* button : {&form->BitBtnUpdate, &form->BitBtnStart, &form->BitBtnLater}) {
    EXPECT_EQ(button->Native().Widget()->cursor().shape(), Qt::PointingHandCursor);
  }
  EXPECT_TRUE(SpinUntil([&] { return form->RichEdit1.Focused(); })) << "first in the tab order";
  EXPECT_TRUE(form->BitBtnUpdate.Enabled());
  ui::testing::SaveFormScreenshot(*form, "main_window");

  form->ClearLog();
  for (const char* step : {"Start upgrade", "Get action list ...", "Download release ..."}) {
    form->AddLogLine(step);
    if (std::string(step) != "Start upgrade") form->SetStepResult("Done");
  }
  form->ShowUpgradeState(TUpgradeState::Running);
  ui::testing::SaveFormScreenshot(*form, "main_window_upgrading");
  form->Close();
}

TEST_F(MainScreen, TheDescriptionIsRtfOrPlainTextAndStaysWithoutAReply) {
  struct Case {
    const char* file;
    const char* body;
    bool reachable;
    const char* shown;
  } cases[] = {
      {"description.rtf", kRtf, true, kRtfText},
      {"description.txt", "Plain words\n{\\b not rtf}", true, "Plain words\n{\\b not rtf}"},
      {nullptr, nullptr, true, "RichEdit1"},   // 404
      {nullptr, nullptr, false, "RichEdit1"},  // no server
  };
  for (const Case& c : cases) {
    fs::remove(publish_.WithSeparator() + "Demo/description.rtf");
    fs::remove(publish_.WithSeparator() + "Demo/description.txt");
    if (c.file) publish_.Write(std::string("Demo/") + c.file, c.body);
    settings_.selected_server = c.reachable ? server_->BaseUrl() : test::RefusingBaseUrl();
    EXPECT_EQ(Open()->RichEdit1.Text(), c.shown) << (c.file ? c.file : "none");
  }
}

TEST_F(MainScreen, LaterStartsTheApplicationAndCloses) {
  const std::string app = app_.Write("app.sh", "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n");
  ::chmod(app.c_str(), 0755);
  settings_.main_program = "app.sh";
  settings_.process_priority = 2;
  auto form = Open();
  form->Show();
  form->BitBtnLater.Click();
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(SpinUntil([&] { return fs::exists(app_.WithSeparator() + "started"); }));
}

// Only a script that restarts the updater may take the launch over, and only a
// replacement installed in this run may replace the updater.
TEST_F(MainScreen, LaunchApplicationStartsTheApplicationUnlessTheReplacementRestartsTheUpdater) {
  const std::string app = app_.Write("app.sh", "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n");
  ::chmod(app.c_str(), 0755);
  settings_.main_program = "app.sh";
  settings_.process_priority = 2;
  struct Case {
    bool replace, installed, leftover;
  } cases[] = {
      {false, true, true},  // no replacement asked for
      {true, true, false},  // asked for, but nothing to put in place
      {true, false, true},  // a "Kestrova.new" of an earlier, failed upgrade
  };
  for (const Case& c : cases) {
    const std::string label = std::to_string(c.replace) + std::to_string(c.installed);
    fs::remove(app_.WithSeparator() + "started");
    fs::remove(app_.WithSeparator() + "Kestrova.new");
    if (c.leftover) app_.Write("Kestrova.new", "left over");
    auto form = Open();
    form->ReplaceUpdater = c.replace;
    form->ReleaseInstalled = c.installed;
    form->ShowUpgradeState(TUpgradeState::Succeeded);
    form->Show();
    form->BitBtnStart.Click();
    EXPECT_TRUE(SpinUntil([&] { return fs::exists(app_.WithSeparator() + "started"); })) << label;
    EXPECT_FALSE(fs::exists(app_.WithSeparator() + "batch_update.sh")) << label;
    EXPECT_EQ(fs::exists(app_.WithSeparator() + "Kestrova.new"), c.leftover) << label;
  }
}

TEST_F(MainScreen, StepResultsStandInColumn46) {
  const std::string line45(45, 'x');
  struct Case {
    std::string line;
    std::vector<std::string> words;
    std::string expected;
  } cases[] = {
      {"Get action list ...", {"Done"}, "Get action list ..." + std::string(26, ' ') + ": Done"},
      {line45, {"Done"}, line45 + ": Done"},
      {line45 + "yy", {"Failed"}, line45 + "yy: Failed"},
      {"Install release ...", {"Error!", "disk full"},
       "Install release ..." + std::string(26, ' ') + ": Error!: disk full"},
      {"Übernehmen ...", {"Done"}, "Übernehmen ..." + std::string(31, ' ') + ": Done"},
  };
  auto form = Open();
  form->ClearLog();
  form->AddLogLine("Start upgrade");
  for (const Case& c : cases) {
    form->AddLogLine(c.line);
    for (const std::string& word : c.words) form->SetStepResult(word);
    EXPECT_EQ(form->RichEdit1.Lines[form->RichEdit1.Lines.Count() - 1], c.expected);
  }
  EXPECT_EQ(form->RichEdit1.Lines[0], "Start upgrade") << "only the last line changes";
}

TEST_F(MainScreen, ActionListsAreReadByTheirRules) {
  auto form = Open();
  ASSERT_TRUE(LoadActionList(*form,
      "[Release]\ndownload_server_adr1 = http://dl1\ndownload_server_adr2=http://dl2\n"
      "filedir=/files/Demo\nFileName1=demo.zip  \nFILENAME2=\nfilename4=gap.zip\n"
      "Upgrade_Kestrova=0x1\ncheck_shortcuts=2\n"
      "[save_action]\npath1=data\\*.cfg\npath3=gap\n"
      "[files_to_delete]\nfile1=old.dll\nfile2=sub/old.txt\n[folders_to_delete]\ndir1=plugins\\old\n"));
  EXPECT_EQ(form->ReleaseFiles, (std::vector<std::string>{"demo.zip", ""}));
  EXPECT_EQ(form->SaveList, (std::vector<std::string>{"data\\*.cfg"}));
  EXPECT_EQ(form->DeleteFiles, (std::vector<std::string>{"old.dll", "sub/old.txt"}));
  EXPECT_EQ(form->DeleteFolders, (std::vector<std::string>{"plugins\\old"}));
  EXPECT_EQ(settings_.download_server_adr1, "http://dl1");
  EXPECT_EQ(settings_.download_server_adr2, "http://dl2");
  EXPECT_EQ(settings_.filedir, "/files/Demo");
  EXPECT_TRUE(form->ReplaceUpdater);
  EXPECT_TRUE(form->CheckShortcuts);
  EXPECT_NE(test::ReadFile(app_.WithSeparator() + "actionlist.ini").find("FileName1=demo.zip"), std::string::npos);

  struct Flags {
    const char* lines;
    bool replace;
    bool shortcuts;
  } flags[] = {
      {"Upgrade_Kestrova=2\ncheck_shortcuts=yes\n", false, false},
      {"Upgrade_Kestrova=1\ncheck_shortcuts=0\n", true, false},
      {"check_shortcuts=x1\n", false, true},
      {"", false, false},
  };
  for (const Flags& f : flags) {
    ASSERT_TRUE(LoadActionList(*form, std::string("[release]\n") + f.lines)) << f.lines;
    EXPECT_EQ(form->ReplaceUpdater, f.replace) << f.lines;
    EXPECT_EQ(form->CheckShortcuts, f.shortcuts) << f.lines;
    EXPECT_TRUE(form->ReleaseFiles.empty()) << "a new read replaces the lists";
  }
  EXPECT_TRUE(LoadActionList(*form, "not an ini file at all")) << "every value takes its default";
}

TEST_F(MainScreen, ActionListsThatReachOutsideTheFolderOrCannotBeStoredAreNotLoaded) {
  auto form = Open();
  for (const char* unsafe : {"[folders_to_delete]\ndir1=\n", "[folders_to_delete]\ndir1=.\\\n",
                             "[folders_to_delete]\ndir1=a/../..\n", "[files_to_delete]\nfile1=/etc/passwd\n",
                             "[files_to_delete]\nfile1=C:\\boot.ini\n", "[release]\nfilename1=..\\x.zip\n"}) {
    EXPECT_FALSE(LoadActionList(*form, unsafe)) << unsafe;
  }
  fs::remove(publish_.WithSeparator() + "Demo/actionlist.ini");
  form->OpenServerConnection();
  form->RequestActionList();
  EXPECT_FALSE(form->ActionListLoaded) << "no reply";

  // A file where the application folder should be: no one can write into it.
  settings_.app_directory = app_.Write("not_a_folder", "").string() + "/";
  EXPECT_FALSE(LoadActionList(*form, "[release]\nfilename1=a.zip\n"));
}

TEST_F(MainScreen, ClosingRemovesTheReleaseFilesAndTheActionListOnly) {
  app_.Write("actionlist.ini", "left over from an earlier run");
  Open()->Close();
  EXPECT_FALSE(fs::exists(app_.WithSeparator() + "actionlist.ini"));

  auto form = Open();
  ASSERT_TRUE(LoadActionList(*form, "[release]\nfilename1=a.zip\nfilename2=sub\\b.zip\nfilename3=\n"));
  for (const char* file : {"a.zip", "sub/b.zip", "keep.txt", "sub/keep.txt"}) app_.Write(file, "x");
  form->Close();
  for (const char* gone : {"a.zip", "sub/b.zip", "actionlist.ini"}) EXPECT_FALSE(fs::exists(app_.WithSeparator() + gone));
  for (const char* kept : {"keep.txt", "sub/keep.txt"}) EXPECT_TRUE(fs::exists(app_.WithSeparator() + kept));
}

TEST_F(MainScreen, ButtonsAndWheelFollowTheUpgrade) {
  struct Case {
    TUpgradeState state;
    bool later_enabled, later_visible, start_visible, wheel;
  } cases[] = {
      {TUpgradeState::Running, false, true, false, true},
      {TUpgradeState::Abandoned, true, true, true, false},
      {TUpgradeState::Succeeded, false, false, true, false},
  };
  auto form = Open();
  for (const Case& c : cases) {
    form->ShowUpgradeState(c.state);
    const int state = static_cast<int>(c.state);
    EXPECT_EQ(form->BitBtnLater.Enabled(), c.later_enabled) << state;
    EXPECT_EQ(form->BitBtnLater.Visible(), c.later_visible) << state;
    EXPECT_EQ(form->BitBtnUpdate.Visible(), c.later_visible) << state;
    EXPECT_EQ(form->BitBtnUpdate.Enabled(), c.later_enabled) << state;
    EXPECT_EQ(form->BitBtnStart.Visible(), c.start_visible) << state;
    EXPECT_EQ(form->AnimateUpdateInProgress.Visible(), c.wheel) << state;
    EXPECT_EQ(form->AnimateUpdateInProgress.Active(), c.wheel) << state;
  }
}

}  // namespace
}  // namespace kestrova
