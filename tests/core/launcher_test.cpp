#include "core/launcher.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "support/temp_folder.h"

namespace kestrova {
namespace {

using kestrova::testing::TempFolder;
using namespace std::chrono_literals;

// A program that records how it was started: its arguments, working directory,
// and its pid, session and nice value as the kernel sees them.
constexpr char kProbe[] =
    "#!/bin/sh\n"
    "out=$(dirname \"$0\")/..\n"
    "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$out/args.txt\"\n"
    "pwd > \"$out/cwd.txt\"\n"
    "cut -d' ' -f1,6,19 /proc/$$/stat > \"$out/stat.txt\"\n"
    "touch \"$out/done\"\n";

struct ProcessFacts {
  long pid = 0, session = 0, nice = 0;
};

class LauncherTest : public ::testing::Test {
 protected:
  LauncherTest() {
    const auto probe = folder_.Write("my app/bin/probe", kProbe);
    ::chmod(probe.c_str(), 0755);
    std::filesystem::create_directories(folder_.path() / "my app/work");
    settings_.app_directory = folder_.WithSeparator() + "my app/";
    settings_.main_program = "bin\\probe";
    settings_.main_directory = "work";
    settings_.process_priority = 2;
  }

  bool WaitForProbe() {
    for (int i = 0; i < 500; ++i) {
      if (std::filesystem::exists(folder_.path() / "my app/done")) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  std::string Output(const std::string& name) { return folder_.Read("my app/" + name); }
  ProcessFacts Facts() {
    ProcessFacts facts;
    std::istringstream(Output("stat.txt")) >> facts.pid >> facts.session >> facts.nice;
    return facts;
  }

  TempFolder folder_;
  TSettings settings_;
};

TEST_F(LauncherTest, StartsTheProgramWithItsArgumentsFolderAndSession) {
  settings_.program_parameters = "-silent \"two words\" C:\\path\\";
  LaunchApplication(settings_);
  ASSERT_TRUE(WaitForProbe());
  EXPECT_EQ(Output("args.txt"), "[-silent]\n[two words]\n[C:\\path\\]\n");
  EXPECT_EQ(Output("cwd.txt"), folder_.WithSeparator() + "my app/work\n");
  const ProcessFacts facts = Facts();
  EXPECT_EQ(facts.session, facts.pid) << "the application leads a session of its own";
  EXPECT_NE(facts.session, ::getsid(0));
  EXPECT_EQ(facts.nice, ::getpriority(PRIO_PROCESS, 0));
}

TEST_F(LauncherTest, EmptyMainDirectoryMeansTheApplicationFolder) {
  settings_.main_directory.clear();
  LaunchApplication(settings_);
  ASSERT_TRUE(WaitForProbe());
  EXPECT_EQ(Output("cwd.txt"), folder_.WithSeparator() + "my app\n");
  EXPECT_EQ(Output("args.txt"), "");
}

TEST_F(LauncherTest, MapsPriorityClassesToNiceValues) {
  if (::getpriority(PRIO_PROCESS, 0) != 0) GTEST_SKIP() << "needs to run at nice 0";
  const std::pair<int32_t, long> expected[] = {{1, 19}, {6, 10}, {7, 0}};
  for (auto [index, nice] : expected) {
    std::filesystem::remove(folder_.path() / "my app/done");
    settings_.process_priority = index;
    LaunchApplication(settings_);
    ASSERT_TRUE(WaitForProbe()) << "priority " << index;
    EXPECT_EQ(Facts().nice, nice) << "priority " << index;
  }
  EXPECT_EQ(settings_.process_priority, 7) << "the system offers every class; nothing is lowered";
}

TEST_F(LauncherTest, ARefusedRaiseFallsBackToTheNearestAllowedPriority) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to an unprivileged user";
  if (::getpriority(PRIO_PROCESS, 0) != 0) GTEST_SKIP() << "needs to run at nice 0";
  std::filesystem::permissions(folder_.path(), std::filesystem::perms::all);
  std::filesystem::permissions(folder_.path() / "my app", std::filesystem::perms::all);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::_exit(StartProcess(settings_.app_directory + "bin/probe", settings_.app_directory, 5, 3) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(WaitForProbe());
  EXPECT_EQ(Facts().nice, 0) << "high priority is refused to a user; the process still starts, at the nearest allowed";
}

TEST_F(LauncherTest, StartsNothingWhenThePriorityIsZeroOrTheProgramIsMissing) {
  settings_.process_priority = 0;
  LaunchApplication(settings_);
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "my app/done"));

  EXPECT_EQ(StartProcess(settings_.app_directory + "bin/missing ", settings_.app_directory, 5, 2), -1);
  EXPECT_EQ(StartProcess(settings_.app_directory + "bin/probe ", "/no/such/folder", 5, 2), -1);
  EXPECT_EQ(StartProcess(settings_.app_directory + "bin/probe ", settings_.app_directory, 5, 2), 0);
  EXPECT_TRUE(WaitForProbe());
}

}  // namespace
}  // namespace kestrova
