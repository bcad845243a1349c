// The updater as a publisher installs it, asking real update servers: copied into an
// application folder with its configuration and a tiny application, run on the
// offscreen platform, and watched for whether it starts the application.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "support/peers.h"

namespace kestrova {
namespace {

using test::Now;

class KestrovaE2E : public ::testing::Test {
 protected:
  KestrovaE2E() {
    std::filesystem::copy_file(KESTROVA_BIN_DIR "/kestrova", dir_.WithSeparator() + "updater");
    const std::string app = dir_.Write("app.sh", "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n");
    ::chmod(app.c_str(), 0755);
  }

  // Runs the updater for an installed `current` version; returns its exit code, or -1
  // when it still runs (its main window open) after `patience` seconds.
  int Run(const std::string& current, const std::string& addr1, const std::string& addr2,
          int timeout = 2, double patience = 20) {
    dir_.Write("updater.ini", "[application]\nname=Demo\nmain_program=app.sh\nprocess_priority=2\n"
                              "filename_config=app.cfg\nparam_appli_version=VERSION\n"
                              "[server]\nserver_addr1=" + addr1 + "\nserver_addr2=" + addr2 +
                                  "\nlink_for_update=/update\ninternet_option_connect_timeout=" +
                                  std::to_string(timeout) + "\n");
    dir_.Write("app.cfg", "[Kestrova]\nVERSION=" + current + "\n");
    test::ChildProcess updater({dir_.WithSeparator() + "updater"}, {"QT_QPA_PLATFORM=offscreen"});
    return updater.Wait(patience);
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
