// The replacement script, run for real by /bin/sh in a temporary folder with
// stand-in updaters that record how they ran.
#include "upgrade/self_replacement.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using kestrova::testing::TempFolder;
using namespace std::chrono_literals;

// Blanks, quotes and "$" in every name the script writes.
constexpr char kFolder[] = "it's my $HOME app";
constexpr char kUpdater[] = "my 'up$dater";
constexpr char kConfiguration[] = "my 'up$dater.ini";
// Each stand-in records which updater ran, with its arguments, in its working folder.
constexpr char kOldUpdater[] = "#!/bin/sh\necho \"old $*\" >> ran.txt\n";
constexpr char kNewUpdater[] = "#!/bin/sh\necho \"new $*\" >> ran.txt\n";

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// The id of a process that has ended and been reaped.
int64_t EndedProcessId(const TempFolder& folder) {
  const std::string file = (folder.path() / "ended.pid").string();
  EXPECT_EQ(std::system(("echo $$ > '" + file + "'").c_str()), 0);
  return std::stoll(folder.Read("ended.pid"));
}

fs::perms Permissions(const fs::path& file) { return fs::status(file).permissions() & fs::perms::all; }

TEST(SelfReplacement, TheScriptReplacesWhatIsPresentAndRestartsOnlyWhenAsked) {
  const fs::perms mode = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
  const std::string in = std::string(kFolder) + "/";
  for (int combination = 0; combination < 8; ++combination) {  // every one of the three flags
    const bool new_executable = combination & 1, new_configuration = combination & 2;
    const bool launch = combination & 4, script = new_executable || new_configuration;
    const std::string label = "combination " + std::to_string(combination);
    TempFolder root;
    fs::permissions(root.Write(in + kUpdater, kOldUpdater), mode);
    root.Write(in + kConfiguration, "old configuration");
    if (new_executable) root.Write(in + "Kestrova.new", kNewUpdater);
    if (new_configuration) root.Write(in + "Kestrova.config", "new configuration");

    const fs::path app = root.path() / kFolder;
    ASSERT_EQ(WriteReplacementBatch({app.string() + "/", kUpdater, {"a b", "it's", "$HOME"},
                                     EndedProcessId(root), launch}),
              script) << label;
    if (launch && script) {
      EXPECT_TRUE(WaitFor([&] { return root.Read(in + "ran.txt").ends_with("\n"); })) << label;
    }
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(app / "batch_update.sh"); })) << label;
    EXPECT_EQ(root.Read(in + kUpdater), new_executable ? kNewUpdater : kOldUpdater) << label;
    EXPECT_EQ(Permissions(app / kUpdater), mode) << label << ": the old executable's mode stays";
    EXPECT_EQ(root.Read(in + kConfiguration),
              new_configuration ? "new configuration" : "old configuration") << label;
    EXPECT_FALSE(fs::exists(app / "Kestrova.new") || fs::exists(app / "Kestrova.config")) << label;
    const std::string ran = std::string(new_executable ? "new" : "old") + " a b it's $HOME\n";
    EXPECT_EQ(root.Read(in + "ran.txt"), launch && script ? ran : "") << label;
  }
}

// The updater still runs when the script starts: the script must wait for its end,
// then put the new files in place and start the new updater.
TEST(SelfReplacement, ARunningUpdaterIsReplacedAfterItExitsAndRestarted) {
  TempFolder folder;
  const fs::path updater = folder.Write("updater",
      "#!/bin/sh\necho $$ > updater.pid\nsleep 1\necho 'old exited' >> ran.txt\n");
  fs::permissions(updater, fs::perms::owner_all);
  folder.Write("Kestrova.new", "#!/bin/sh\necho 'new ran' >> ran.txt\n");
  folder.Write("Kestrova.config", "[application]\nname=new\n");
  std::thread running([&] {
    std::system(("cd '" + folder.path().string() + "' && ./updater").c_str());
  });
  ASSERT_TRUE(WaitFor([&] { return folder.Read("updater.pid").ends_with("\n"); }));

  const TReplacementRequest request{folder.WithSeparator(), "updater", {},
                                    std::stoll(folder.Read("updater.pid")), true};
  EXPECT_TRUE(WriteReplacementBatch(request));
  running.join();
  EXPECT_TRUE(WaitFor([&] { return folder.Read("ran.txt") == "old exited\nnew ran\n"; }))
      << folder.Read("ran.txt");
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(folder.path() / "batch_update.sh"); }));
  EXPECT_EQ(Permissions(updater), fs::perms::owner_all);
  EXPECT_EQ(folder.Read("updater.ini"), "[application]\nname=new\n");
  EXPECT_FALSE(fs::exists(folder.path() / "Kestrova.new"));
}

}  // namespace
}  // namespace kestrova
