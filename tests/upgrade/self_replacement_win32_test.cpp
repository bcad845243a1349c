// The replacement script, run for real by the command interpreter in a temporary
// folder with stand-in updaters that record how they ran.
#include "upgrade/self_replacement.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <system_error>
#include <thread>

#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using kestrova::testing::TempFolder;
using namespace std::chrono_literals;

// Blanks, "%" and "&" in the names the script writes: each means something to cmd.exe.
constexpr char kUpdater[] = "my up%d&ater.exe";
constexpr char kConfiguration[] = "my up%d&ater.ini";

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

void CopyStandIn(const char* which, const fs::path& to) {
  fs::copy_file(fs::path(KESTROVA_BIN_DIR) / which, to, fs::copy_options::overwrite_existing);
}

std::string FileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Which stand-in ran, with its arguments, once the last one has written.
std::string Ran(const TempFolder& folder) { return folder.Read("ran.txt"); }

TEST(SelfReplacement, TheScriptReplacesWhatIsPresentAndRestartsOnlyWhenAsked) {
  struct Case {
    bool new_executable, new_configuration, launch;
    const char* ran;  // what ran.txt holds at the end
  };
  const Case cases[] = {
      {true, false, false, ""},
      {false, true, true, "old a b 100%\n"},
      {true, true, true, "new a b 100%\n"},
      {false, false, true, ""},  // nothing to replace: no script, nothing started
  };
  for (const Case& c : cases) {
    const std::string label = std::to_string(&c - cases);
    TempFolder folder;
    CopyStandIn("stand_in_old.exe", folder.path() / kUpdater);
    folder.Write(kConfiguration, "old configuration");
    if (c.new_executable) CopyStandIn("stand_in_new.exe", folder.path() / "Kestrova.new");
    if (c.new_configuration) folder.Write("Kestrova.config", "new configuration");
    const bool script = c.new_executable || c.new_configuration;

    ASSERT_EQ(WriteReplacementBatch({folder.WithSeparator(), kUpdater, {"a b", "100%"}, 0, c.launch}), script)
        << label;
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(folder.path() / "batch_update.bat"); })) << label;
    if (c.launch && script) EXPECT_TRUE(WaitFor([&] { return Ran(folder) == c.ran; })) << label << Ran(folder);
    const char* expected = c.new_executable ? "stand_in_new.exe" : "stand_in_old.exe";
    EXPECT_EQ(FileBytes(folder.path() / kUpdater), FileBytes(fs::path(KESTROVA_BIN_DIR) / expected)) << label;
    EXPECT_EQ(folder.Read(kConfiguration), c.new_configuration ? "new configuration" : "old configuration") << label;
    EXPECT_FALSE(fs::exists(folder.path() / "Kestrova.new") || fs::exists(folder.path() / "Kestrova.config")) << label;
    EXPECT_EQ(Ran(folder), c.ran) << label;
    // The interpreter, and the updater it started, let go of the folder in a moment.
    EXPECT_TRUE(WaitFor([&] {
      std::error_code error;
      fs::remove_all(folder.path(), error);
      return !error;
    })) << label;
  }
}

// cmd.exe reads its script in the ANSI code page; a name without a form there would
// make it act on another file, so nothing is written or started.
TEST(SelfReplacement, ANameTheCodePageCannotWriteStartsNothing) {
  TempFolder folder;
  folder.Write("Kestrova.new", "new");
  EXPECT_FALSE(WriteReplacementBatch({folder.WithSeparator(), "up\xF0\x9F\x98\x80.exe", {}, 0, true}));
  EXPECT_FALSE(fs::exists(folder.path() / "batch_update.bat"));
  EXPECT_EQ(folder.Read("Kestrova.new"), "new");
}

// The updater still runs when the script starts: the script must wait for its end,
// then put the new executable in place and start it.
TEST(SelfReplacement, ARunningUpdaterIsReplacedAfterItExitsAndRestarted) {
  TempFolder folder;
  CopyStandIn("stand_in_old.exe", folder.path() / "updater.exe");
  CopyStandIn("stand_in_new.exe", folder.path() / "Kestrova.new");
  std::wstring command_line = L"updater.exe --hold";
  const std::wstring directory = folder.path().wstring();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION running{};
  ASSERT_TRUE(::CreateProcessW((directory + L"\\updater.exe").c_str(), command_line.data(), nullptr, nullptr,
                               FALSE, 0, nullptr, directory.c_str(), &startup, &running));

  EXPECT_TRUE(WriteReplacementBatch({folder.WithSeparator(), "updater.exe", {}, int64_t(running.dwProcessId), true}));
  // Past the script's first wait, while the old updater still runs.
  std::this_thread::sleep_for(3s);
  folder.Write("release", "");
  ::WaitForSingleObject(running.hProcess, 30000);
  ::CloseHandle(running.hThread);
  ::CloseHandle(running.hProcess);
  EXPECT_TRUE(WaitFor([&] { return Ran(folder) == "old --hold\nnew\n"; })) << Ran(folder);
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(folder.path() / "batch_update.bat"); }));
  EXPECT_FALSE(fs::exists(folder.path() / "Kestrova.new"));
}

}  // namespace
}  // namespace kestrova
