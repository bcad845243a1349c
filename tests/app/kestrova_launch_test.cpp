// The kestrova executable as a publisher installs it: copied into an application
// folder beside its configuration, run without a screen.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "support/temp_folder.h"

extern char** environ;

namespace kestrova {
namespace {

using kestrova::testing::TempFolder;
using namespace std::chrono_literals;

constexpr char kProbe[] =
    "#!/bin/sh\n"
    "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > ../started.part\n"
    "pwd >> ../started.part\n"
    "cut -d' ' -f19 /proc/$$/stat >> ../started.part\n"
    "mv ../started.part ../started.txt\n";

class KestrovaLaunchTest : public ::testing::Test {
 protected:
  KestrovaLaunchTest() {
    std::filesystem::copy_file(std::string(KESTROVA_BIN_DIR) + "/kestrova", folder_.path() / "myupdater");
    for (const char* part : {"libkestrova-check.so", "libkestrova-windows.so"}) {
      std::filesystem::create_symlink(std::string(KESTROVA_BIN_DIR "/") + part, folder_.path() / part);
    }
    const auto probe = folder_.Write("app/probe", kProbe);
    ::chmod(probe.c_str(), 0755);
  }

  // Runs the copied updater without a display and returns its exit code.
  int Run(std::vector<std::string> arguments = {}) {
    const std::string program = (folder_.path() / "myupdater").string();
    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
          entry.rfind("QT_QPA_PLATFORM=", 0) == 0) {
        continue;
      }
      env_strings.push_back(entry);
    }
    std::vector<char*> env;
    for (auto& s : env_strings) env.push_back(s.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = (folder_.path() / "stdout.txt").string();
    const std::string err = (folder_.path() / "stderr.txt").string();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The probe's record, once written whole; empty after five seconds without.
  std::string Started() { return folder_.ReadOnceWritten("started.txt"); }

  TempFolder folder_;
};

TEST_F(KestrovaLaunchTest, APlainLauncherStartsTheApplicationAsConfigured) {
  folder_.Write("myupdater.ini",
                "[application]\r\ncheck_release=0\r\nmain_program=app\\probe\r\nmain_directory=app\r\n"
                "program_parameters=--mode \"full screen\"\r\nprocess_priority=6\r\n");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Started(), "[--mode]\n[full screen]\n" + folder_.path().string() + "/app\n10\n");
}

TEST_F(KestrovaLaunchTest, AnUnansweredCheckStillStartsTheApplication) {
  folder_.Write("myupdater.ini",
                "[application]\r\nmain_program=app/probe\r\nmain_directory=app\r\nprocess_priority=2\r\n"
                "filename_config=app.cfg\r\nparam_appli_version=VERSION\r\n"
                "[server]\r\ninternet_option_connect_timeout=2\r\n");
  folder_.Write("app.cfg", "VERSION=2.3.1");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Started(), folder_.path().string() + "/app\n0\n");
  EXPECT_EQ(folder_.Read("app.cfg"), "[Kestrova]\r\nVERSION=2.3.1");
}

TEST_F(KestrovaLaunchTest, PassesItsOwnArgumentsOnAndTakesFullPathsAsTheyAre) {
  const std::string app = (folder_.path() / "app").string();
  folder_.Write("myupdater.ini", "[application]\r\ncheck_release=0\r\nmain_program=" + app +
                                     "/probe\r\nmain_directory=" + app + "\r\nprogram_parameters=-v\r\n"
                                     "process_priority=2\r\n");
  EXPECT_EQ(Run({"/tmp/a file.txt", "say \"hi\"", "back\\"}), 0);
  EXPECT_EQ(Started(), "[-v]\n[/tmp/a file.txt]\n[say \"hi\"]\n[back\\]\n" + app + "\n0\n");
}

TEST_F(KestrovaLaunchTest, CheckAnswersWithItsVerdictAndADoubleDashPassesItToTheApplication) {
  struct Case {
    const char* application_keys;
    int exit_code;
    const char* line;
  } cases[] = {
      {"main_program=app/probe\r\n", 0, "configuration ok\n"},
      {"main_progam=app/probe\r\n", 1,
       "error: main_progam: unknown key in [application]; did you mean main_program?\n"},
  };
  for (const Case& c : cases) {
    folder_.Write("myupdater.ini",
                  std::string("[application]\r\ncheck_release=0\r\n") + c.application_keys);
    EXPECT_EQ(Run({"--check"}), c.exit_code) << c.line;
    EXPECT_NE(folder_.Read("stdout.txt").find(c.line), std::string::npos) << folder_.Read("stdout.txt");
  }
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "started.txt"))
      << "the check starts nothing";
  folder_.Write("myupdater.ini",
                "[application]\r\ncheck_release=0\r\nmain_program=app/probe\r\n"
                "main_directory=app\r\n");
  EXPECT_EQ(Run({"--", "--check"}), 0);
  EXPECT_EQ(Started(), "[--check]\n" + folder_.path().string() + "/app\n0\n");
}

TEST_F(KestrovaLaunchTest, AnApplicationThatCannotBeStartedIsReported) {
  struct Case {
    const char* why;
    const char* application;
  };
  const Case cases[] = {
      {"missing program", "main_program=app/absent\r\n"},
      {"program not executable", "main_program=app.cfg\r\n"},
      {"missing working folder", "main_program=app/probe\r\nmain_directory=gone\r\n"},
  };
  folder_.Write("app.cfg", "x");
  for (const Case& c : cases) {
    folder_.Write("myupdater.ini", std::string("[application]\r\ncheck_release=0\r\n") + c.application);
    EXPECT_EQ(Run(), 1) << c.why;
    EXPECT_NE(folder_.Read("stderr.txt").find("Error: The application could not be started: "),
              std::string::npos)
        << c.why;
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "started.txt"));
}

TEST_F(KestrovaLaunchTest, StartsNothingWithoutConfigurationOrPriority) {
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(folder_.Read("stderr.txt"), "Error: The file: " + folder_.path().string() +
                                            "/myupdater.ini is missing! Impossible to run the software.\n");

  folder_.Write("myupdater.ini", "[application]\r\ncheck_release=0\r\nmain_program=app/probe\r\nprocess_priority=0\r\n");
  EXPECT_EQ(Run(), 0);
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "started.txt"));
}

TEST_F(KestrovaLaunchTest, AnApplicationFileThatCannotTakeTheMarkerStopsTheStart) {
  folder_.Write("myupdater.ini",
                "[application]\r\nmain_program=app/probe\r\nprocess_priority=2\r\nfilename_config=app.cfg\r\n");
  const auto cfg = folder_.Write("app.cfg", "VERSION=1.0");
  ::chmod(cfg.c_str(), 0444);
  EXPECT_NE(Run(), 0);
  EXPECT_NE(folder_.Read("stderr.txt").find("app.cfg is read-only"), std::string::npos);
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "started.txt"));
  EXPECT_EQ(folder_.Read("app.cfg"), "VERSION=1.0");
}

}  // namespace
}  // namespace kestrova
