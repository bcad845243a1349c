// kestrova.exe as a publisher installs it, asking the update server through WinInet
// and starting the application when there is nothing newer or nobody answers. The
// upgrade through its window is the upgrade tests' own.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "support/peers.h"

namespace kestrova {
namespace {

using test::Now;

class KestrovaE2E : public ::testing::Test {
 protected:
  KestrovaE2E() {
    std::filesystem::copy_file(KESTROVA_BIN_DIR "/kestrova.exe", dir_.WithSeparator() + "updater.exe");
    std::filesystem::copy_file(KESTROVA_BIN_DIR "/kestrova_e2e_app.exe", dir_.WithSeparator() + "app.exe");
  }

  // Runs the updater for an installed version 2.0; its exit code, or -1 when it still
  // runs after `patience` seconds.
  int Run(const std::string& addr1, int timeout = 2, double patience = 30) {
    dir_.Write("updater.ini", "[application]\nname=Demo\nmain_program=app.exe\n"
                              "filename_config=app.cfg\nparam_appli_version=VERSION\n"
                              "[server]\nserver_addr1=" + addr1 +
                                  "\nlink_for_update=/update\ninternet_option_connect_timeout=" +
                                  std::to_string(timeout) + "\n");
    dir_.Write("app.cfg", "[Kestrova]\nVERSION=2.0\n");
    test::ChildProcess updater({dir_.WithSeparator() + "updater.exe"});
    return updater.Wait(patience);
  }

  bool Started() {
    const double deadline = Now() + 5;
    while (Now() < deadline) {
      if (std::filesystem::exists(dir_.WithSeparator() + "started")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  testing::TempFolder dir_;
};

TEST_F(KestrovaE2E, AsksTheServerWithItsNameThenStartsTheApplicationWithNothingNewer) {
  test::FixedReplyServer server(200, "2.0;2009-05-04");
  EXPECT_EQ(Run(server.BaseUrl()), 0);
  EXPECT_TRUE(Started());
  ASSERT_EQ(server.LogLines().size(), 1u);
  EXPECT_EQ(server.LogLines()[0].substr(0, server.LogLines()[0].find('\t', server.LogLines()[0].find('\t') + 1)),
            "/update?request=1&appli_name=Demo\tupdater.exe");
}

TEST_F(KestrovaE2E, AWindowedProgramStillTellsItsVersionToWhoAsks) {
  test::ChildProcess updater({dir_.WithSeparator() + "updater.exe", "--version"});
  EXPECT_EQ(updater.FirstLine().rfind("kestrova ", 0), 0u);
  EXPECT_EQ(updater.Wait(10), 0);
}

TEST_F(KestrovaE2E, ASilentServerDelaysTheStartByTheTimeOutAtMost) {
  test::SilentServer silent;
  const double start = Now();
  EXPECT_EQ(Run(silent.BaseUrl(), 1), 0);
  EXPECT_TRUE(Started());
  EXPECT_LT(Now() - start, 1.0 + 4.0);  // the time-out, and starting two programs under Wine
}

}  // namespace
}  // namespace kestrova
