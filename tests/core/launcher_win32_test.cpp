// The launcher on Windows, with a probe program that records how it was started.
#include <gtest/gtest.h>

#include "core/launcher.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

using kestrova::testing::TempFolder;
namespace fs = std::filesystem;

class LauncherWin32Test : public ::testing::Test {
 protected:
  LauncherWin32Test() {
    fs::create_directories(folder_.path() / "my app" / "bin");
    fs::create_directories(folder_.path() / "my app" / "work");
    fs::copy_file(fs::path(KESTROVA_BIN_DIR) / "process-probe.exe", folder_.path() / "my app" / "bin" / "probe.exe");
    settings_.app_directory = folder_.WithSeparator() + "my app\\";
    settings_.main_program = "bin\\probe.exe";
    settings_.main_directory = "work";
    settings_.process_priority = 2;
  }

  // The probe's record, once it has written it; empty after five seconds without.
  std::string Record() {
    std::string text = folder_.ReadOnceWritten("my app/bin/probe.txt");
    fs::remove(folder_.path() / "my app" / "bin" / "probe.txt");
    return text;
  }

  TempFolder folder_;
  TSettings settings_;
};

TEST_F(LauncherWin32Test, TheSystemFindsTheUnquotedProgramAndPassesArgumentsAndFolder) {
  settings_.program_parameters = "-silent \"two words\" C:\\path\\";
  ASSERT_TRUE(LaunchApplication(settings_));
  EXPECT_EQ(Record(), "[-silent]\n[two words]\n[C:\\path\\]\ncwd=" + folder_.WithSeparator() +
                          "my app\\work\npriority=20\n");

  settings_.main_directory.clear();
  settings_.program_parameters.clear();
  ASSERT_TRUE(LaunchApplication(settings_));
  EXPECT_EQ(Record(), "cwd=" + folder_.WithSeparator() + "my app\npriority=20\n")
      << "an empty main_directory is the application folder";
}

TEST_F(LauncherWin32Test, StartsEachPriorityClass) {
  // Index, class asked for; an index beyond the table runs at normal priority.
  const std::pair<int32_t, const char*> classes[] = {{1, "40"}, {2, "20"},   {3, "80"},  {4, "100"},
                                                     {5, "8000"}, {6, "4000"}, {7, "20"}};
  const std::string program = settings_.app_directory + settings_.main_program;
  for (auto [index, priority_class] : classes) {
    ASSERT_EQ(StartProcess(program, settings_.app_directory, 5, index), 0) << index;
    const std::string record = Record();
    const std::string expected = "priority=" + std::string(priority_class) + "\n";
    if (index == 4 && record.ends_with("priority=80\n")) {
      // Without the privilege to raise its base priority a process gets the high
      // class instead of real time; that is the system's choice, not ours.
      std::cout << "real-time class refused here; the child runs at high priority\n";
      continue;
    }
    EXPECT_TRUE(record.ends_with(expected)) << "index " << index << ":\n" << record;
  }
}

TEST_F(LauncherWin32Test, KeepsTheNewerClassesOnThisSystem) {
  EXPECT_GT(GetWindowsVersionCode(), 4);
  settings_.process_priority = 6;
  ASSERT_TRUE(LaunchApplication(settings_));
  EXPECT_TRUE(Record().ends_with("priority=4000\n"));
  EXPECT_EQ(settings_.process_priority, 6);
}

TEST_F(LauncherWin32Test, ReportsAProgramOrFolderThatIsNotThere) {
  EXPECT_EQ(StartProcess(settings_.app_directory + "bin\\missing.exe ", settings_.app_directory, 5, 2), -1);
  EXPECT_EQ(StartProcess(settings_.app_directory + "bin\\probe.exe ", folder_.WithSeparator() + "gone", 5, 2), -1);
}

}  // namespace
}  // namespace kestrova
