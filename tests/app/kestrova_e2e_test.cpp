// The updater as a publisher installs it, asking real update servers: copied into an
// application folder with its configuration and a tiny application, run on the
// offscreen platform, and watched for whether it starts the application.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "support/peers.h"

namespace kestrova {
namespace {

using test::Now;

class KestrovaE2E : public ::testing::Test {
 protected:
  KestrovaE2E() {
    std::filesystem::copy_file(KESTROVA_BIN_DIR "/kestrova", dir_.WithSeparator() + "updater");
    // The parts it loads lie beside it, as a publisher ships them.
    for (const char* part : {"/libkestrova-check.so", "/libkestrova-windows.so"}) {
      std::filesystem::create_symlink(KESTROVA_BIN_DIR + std::string(part), dir_.WithSeparator() + (part + 1));
    }
    const std::string app = dir_.Write("app.sh", "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n");
    ::chmod(app.c_str(), 0755);
  }

  // Starts the updater for an installed `current` version, with `keys` added to
  // [server] and `env` to its environment; the user's private state lies in the folder.
  std::unique_ptr<test::ChildProcess> Start(const std::string& current, const std::string& addr1,
                                            const std::string& addr2, int timeout,
                                            const std::string& keys = "",
                                            std::vector<std::string> env = {}) {
    dir_.Write("updater.ini", "[application]\n" + application_keys_ + "name=Demo\nmain_program=app.sh\n"
                              "process_priority=2\nfilename_config=app.cfg\nparam_appli_version=VERSION\n"
                              "[server]\nserver_addr1=" + addr1 + "\nserver_addr2=" + addr2 +
                                  "\nlink_for_update=/update\ninternet_option_connect_timeout=" +
                                  std::to_string(timeout) + "\n" + keys);
    dir_.Write("app.cfg", "[Kestrova]\nVERSION=" + current + "\n");
    env.insert(env.end(), {"QT_QPA_PLATFORM=offscreen", "XDG_CACHE_HOME=" + dir_.WithSeparator() + "cache"});
    return std::make_unique<test::ChildProcess>(std::vector<std::string>{dir_.WithSeparator() + "updater"}, env);
  }

  // Runs the updater as Start does; returns its exit code, or -1 when it still runs
  // (its main window open) after `patience` seconds.
  int Run(const std::string& current, const std::string& addr1, const std::string& addr2,
          int timeout = 2, double patience = 20, const std::string& keys = "") {
    return Start(current, addr1, addr2, timeout, keys)->Wait(patience);
  }

  // Seconds until the application was started, from `since`; 99 when it was not.
  double SecondsUntilStarted(double since) {
    while (Now() - since < 10) {
      if (std::filesystem::exists(dir_.WithSeparator() + "started")) return Now() - since;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 99;
  }

  // Whether the application was started; it may take a moment to get going.
  bool Started() {
    const double deadline = Now() + 1.5;
    while (Now() < deadline) {
      if (std::filesystem::exists(dir_.WithSeparator() + "started")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  testing::TempFolder dir_;
  std::string application_keys_;
};

TEST_F(KestrovaE2E, NoNewerReleaseStartsTheApplicationWithoutAskingTheSecondServer) {
  test::FixedReplyServer first(200, "2.0;2009-05-04");
  test::FixedReplyServer second(200, "9.0;2009-05-04");
  EXPECT_EQ(Run("2.0", first.BaseUrl(), second.BaseUrl()), 0);
  EXPECT_TRUE(Started());
  EXPECT_EQ(first.RequestedPaths(), std::vector<std::string>{"/update?request=1&appli_name=Demo"});
  EXPECT_TRUE(second.RequestedPaths().empty());
}

TEST_F(KestrovaE2E, ANewerReleaseOpensTheMainWindowInsteadOfTheApplication) {
  test::FixedReplyServer first(200, "2.1;2009-05-04");
  EXPECT_EQ(Run("2.0", first.BaseUrl(), "", 2, 3), -1) << "the window waits for the user";
  EXPECT_FALSE(Started());
  EXPECT_EQ(first.RequestedPaths(),
            (std::vector<std::string>{"/update?request=1&appli_name=Demo",
                                      "/update?request=2&appli_name=Demo&appli_version=2.0"}));
}

TEST_F(KestrovaE2E, ANewerReleaseOnTheSecondServerOpensTheMainWindowWithItsDescription) {
  test::FixedReplyServer second(200, "3.0;x");
  EXPECT_EQ(Run("2.9", test::RefusingBaseUrl(), second.BaseUrl(), 2, 3), -1);
  EXPECT_FALSE(Started());
  EXPECT_EQ(second.RequestedPaths().size(), 2u) << "the release check, then the description";
}

TEST_F(KestrovaE2E, ServersThatDoNotAnswerDelayTheStartByTheTimeOutAtMost) {
  test::SilentServer first;
  test::SilentServer second;
  const double start = Now();
  EXPECT_EQ(Run("1.0", first.BaseUrl(), second.BaseUrl(), 1), 0);
  EXPECT_TRUE(Started());
  EXPECT_LT(Now() - start, 1.0 + 2.5);  // the time-out, and starting two programs
}

TEST_F(KestrovaE2E, AServerThatNeverAnswersHoldsTheStartOnlyWhenTheCheckComesFirst) {
  const struct Case {
    const char* keys;
    bool answered_before;  // by an up-to-date server, a start earlier
    bool at_once;
  } cases[] = {{"", true, false},
               {"check_in_background=1\n", false, true},
               {"check_interval=24\n", true, true}};
  for (const Case& c : cases) {
    std::filesystem::remove_all(dir_.WithSeparator() + "cache");
    if (c.answered_before) {
      test::FixedReplyServer up_to_date(200, "2.0;x");
      EXPECT_EQ(Run("2.0", up_to_date.BaseUrl(), "", 2, 20, c.keys), 0);
      EXPECT_EQ(up_to_date.RequestedPaths().size(), 1u);
      EXPECT_TRUE(Started());
      std::filesystem::remove(dir_.WithSeparator() + "started");
    }
    test::SilentServer silent;
    const double start = Now();
    auto updater = Start("2.0", silent.BaseUrl(), "", 2, c.keys);
    const double seconds = SecondsUntilStarted(start);
    EXPECT_EQ(seconds < 1.0, c.at_once) << c.keys << seconds;
    EXPECT_LT(seconds, 2.0 + 2.0) << c.keys << "the time-out at most";
    EXPECT_EQ(updater->Wait(10), 0) << c.keys;
    std::filesystem::remove(dir_.WithSeparator() + "started");
  }
}

TEST_F(KestrovaE2E, ANewerReleaseNotInstalledIsCheckedAndOfferedAgainAtTheNextStart) {
  for (const char* keys : {"check_interval=24\n", "check_in_background=1\n"}) {
    std::filesystem::remove_all(dir_.WithSeparator() + "cache");
    const bool background = std::string(keys).starts_with("check_in_background");
    test::FixedReplyServer newer(200, "2.1;x");
    EXPECT_EQ(Run("2.0", newer.BaseUrl(), "", 2, 3, keys), background ? 0 : -1) << keys;
    EXPECT_EQ(Started(), background) << keys << "the background check comes after the start";
    std::filesystem::remove(dir_.WithSeparator() + "started");
    EXPECT_EQ(Run("2.0", newer.BaseUrl(), "", 2, 3, keys), -1) << keys << "offered at the next start";
    EXPECT_FALSE(Started()) << keys;
    EXPECT_EQ(newer.RequestedPaths().size(), background ? 3u : 4u) << keys << "checked again first";
    {
      test::SilentServer silent;
      const double start = Now();
      auto updater = Start("2.1", silent.BaseUrl(), "", 2, keys);
      EXPECT_LT(SecondsUntilStarted(start), 1.0) << keys << "once installed, it is no offer";
      std::filesystem::remove(dir_.WithSeparator() + "started");
    }
    test::FixedReplyServer withdrawn(200, "2.0;x");
    EXPECT_EQ(Run("2.0", withdrawn.BaseUrl(), "", 2, 20, keys), 0) << keys;
    EXPECT_TRUE(Started()) << keys << "a withdrawn release is not offered";
    EXPECT_EQ(withdrawn.RequestedPaths().size(), 1u) << keys;
    std::filesystem::remove(dir_.WithSeparator() + "started");
  }
}

// What the dynamic loader maps for a start: the toolkit only for a window, the HTTP
// library only for a check.
TEST_F(KestrovaE2E, AStartLoadsTheToolkitAndTheHttpLibraryOnlyWhenItUsesThem) {
  test::FixedReplyServer up_to_date(200, "2.0;x");
  test::FixedReplyServer newer(200, "2.1;x");
  test::SilentServer silent;
  const struct Case {
    const char* why;
    std::string addr1;
    const char* application_keys;
    bool http, toolkit;
    std::vector<std::string> env;
  } cases[] = {{"check off", up_to_date.BaseUrl(), "check_release=0\n", false, false, {}},
               {"no newer release", up_to_date.BaseUrl(), "", true, false, {}},
               {"a slow check: the wait window", silent.BaseUrl(), "", true, true, {}},
               {"a slow check without a display", silent.BaseUrl(), "", true, false,
                {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="}},
               {"a newer release", newer.BaseUrl(), "", true, true, {}}};
  for (const Case& c : cases) {
    std::filesystem::remove_all(dir_.WithSeparator() + "ld");
    std::filesystem::create_directory(dir_.WithSeparator() + "ld");
    application_keys_ = c.application_keys;
    std::vector<std::string> env = c.env;
    env.insert(env.end(), {"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + dir_.WithSeparator() + "ld/log"});
    Start("2.0", c.addr1, "", 1, "", env)->Wait(3);
    std::string log;
    for (const auto& file : std::filesystem::directory_iterator(dir_.WithSeparator() + "ld")) {
      log += test::ReadFile(file.path().string());
    }
    EXPECT_EQ(log.find("libcurl") != std::string::npos, c.http) << c.why;
    EXPECT_EQ(log.find("libQt6") != std::string::npos, c.toolkit) << c.why;
  }
}

TEST_F(KestrovaE2E, AgainstThePublishedReferenceServer) {
  testing::TempFolder publish;
  publish.Write("Demo/release.ini", "[release]\nversion=2.0\ndate=2009-05-04\n");
  test::ReferenceServer server(publish.WithSeparator(), "/update", publish.WithSeparator() + "completions.log");
  EXPECT_EQ(Run("2.0", server.BaseUrl(), ""), 0);
  EXPECT_TRUE(Started());
  std::filesystem::remove(dir_.WithSeparator() + "started");
  publish.Write("Demo/release.ini", "[release]\nversion=2.1\ndate=2009-05-04\n");
  EXPECT_EQ(Run("2.0", server.BaseUrl(), "", 2, 3), -1);
  EXPECT_FALSE(Started());
}

}  // namespace
}  // namespace kestrova
