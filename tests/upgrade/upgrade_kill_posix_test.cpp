// An upgrade killed with SIGKILL right before each change it makes to the
// installation, then the updater started again: the installation must be exactly
// the old version or exactly the new one, with nothing left over, and the application
// must start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <thread>

#include "support/peers.h"
#include "support/temp_folder.h"
#include "upgrade/demo_publication.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

// Every name below a folder with its type, permissions and content.
using Tree = std::map<std::string, std::string>;

bool IsPartialDownload(const fs::path& path) {
  return path.string().ends_with(".partial") || path.string().ends_with(".partial.info");
}

// A download cut short stays beside its target for the next upgrade to continue: it
// is part of neither version.
Tree Snapshot(const testing::TempFolder& folder, const std::string& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder.path() / root)) {
    if (IsPartialDownload(entry.path())) continue;
    struct stat info {};
    ::lstat(entry.path().c_str(), &info);
    const std::string name = fs::relative(entry.path(), folder.path()).string();
    tree[name] = std::to_string(info.st_mode) + (S_ISREG(info.st_mode) ? ":" + folder.Read(name) : "");
  }
  return tree;
}

std::string Difference(const Tree& actual, const Tree& expected) {
  std::string text;
  for (const auto& [name, value] : actual) {
    if (!expected.contains(name)) text += " +" + name;
    else if (expected.at(name) != value) text += " ~" + name;
  }
  for (const auto& [name, value] : expected) text += actual.contains(name) ? "" : " -" + name;
  return text;
}

// Starts a program with only `environment`.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::vector<char*> args, env;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    env.push_back(nullptr);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
  }
  return child;
}

// Runs a program to its end with only `environment`; the raw wait status.
int RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  const pid_t child = Spawn(argv, environment);
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 200 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return condition();
}

class UpgradeKilled : public ::testing::Test {
 protected:
  UpgradeKilled() {
    // The updater without its debugging sections: a tenth of the bytes to copy and
    // unpack a hundred times.
    world_.Write("pristine/updater.ini", UpdaterConfiguration());
    EXPECT_EQ(std::system(("strip -o '" + Path("pristine/updater") + "' " KESTROVA_BIN_DIR "/kestrova").c_str()), 0);
    world_.Write("pristine/app.cfg", "[Kestrova]\nVERSION=1.0\nEMAIL=ann@example.org\n");
    fs::permissions(Path("pristine/app.cfg"), fs::perms(0600));
    WriteProgram("pristine/app.sh", "1.0");
    for (const char* name : {"lib/a.so", "lib/b.so", "lib/c.so", "lib/gone.so", "doc/readme.txt", "old.txt",
                             "cache/x", "cache/sub/y"}) {
      world_.Write(std::string("pristine/") + name, std::string(name) + " 1.0");
    }
    publication_.Announce("1.1", "2026-12-01");
    publication_.Describe("description.txt", "Demo 1.1");
    publication_.PublishActionList(
        "[release]\ndownload_server_adr1=" + publication_.BaseUrl() +
        "\nfiledir=/files/Demo\nfilename1=program.zip\nfilename2=updater.zip\ncheck_shortcuts=1\nUpgrade_Kestrova=1\n"
        "[save_action]\npath1=*.cfg\n[files_to_delete]\nfile1=old.txt\nfile2=lib/gone.so\n"
        "[folders_to_delete]\ndir1=cache\n");
    WriteProgram("program/app.sh", "1.1");
    for (const char* name : {"lib/a.so", "lib/b.so", "lib/c.so", "doc/readme.txt", "data/new/x1", "data/new/x2",
                             "data/new/deep/x3", "data/y"}) {
      world_.Write(std::string("program/") + name, std::string(name) + " 1.1");
    }
    std::string big(2 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 2654435761u >> 24);
    world_.Write("program/big.bin", big);
    Zip("program", "program.zip");
    world_.Write("updater/Kestrova.new", world_.Read("pristine/updater") + "#1.1");
    fs::permissions(Path("updater/Kestrova.new"), fs::perms(0755));
    world_.Write("updater/Kestrova.config", UpdaterConfiguration() + "; 1.1\n");
    Zip("updater", "updater.zip");
  }

  std::string Path(const std::string& name) const { return world_.WithSeparator() + name; }

  void WriteProgram(const std::string& name, const std::string& version) const {
    world_.Write(name, "#!/bin/sh\n# " + version + "\necho started >> '" + Path("started") + "'\n");
    fs::permissions(Path(name), fs::perms(0755));
  }

  std::string UpdaterConfiguration() const {
    return "[application]\nname=Demo\nmain_program=app.sh\nfilename_config=app.cfg\nparam_appli_version=VERSION\n"
           "param_email=EMAIL\n[server]\nserver_addr1=" + publication_.BaseUrl() + "\nlink_for_update=/update\n";
  }

  void Zip(const std::string& folder, const std::string& archive) const {
    ASSERT_EQ(std::system(("cd '" + Path(folder) + "' && zip -qr '" + publication_.FilePath(archive) + "' .").c_str()),
              0);
  }

  // The installation of 1.0 again, with its shortcut, an empty trash and no log.
  void Reset() const {
    for (const char* gone : {"app", "data", "cache", "started"}) fs::remove_all(Path(gone));
    fs::copy(Path("pristine"), Path("app"), fs::copy_options::recursive);
    world_.Write(kShortcut, "[Desktop Entry]\nExec=" + Path("app/app.sh") + " %F\n");
  }

  std::vector<std::string> Environment() const {
    return {"HOME=" + Path("home/ann"), "XDG_DATA_HOME=" + Path("data"), "XDG_CACHE_HOME=" + Path("cache"),
            "TMPDIR=" + world_.WithSeparator(), "KESTROVA_PROFILES_ROOT=" + Path("home"), "PATH=/usr/bin:/bin"};
  }

  // One upgrade by the window, killed before change `kill_at` (never when 0); the raw
  // wait status.
  int Upgrade(long kill_at) const {
    std::vector<std::string> environment = Environment();
    environment.insert(environment.end(), {"QT_QPA_PLATFORM=offscreen", "LD_PRELOAD=" KESTROVA_FAULT_INJECTION,
                                           "KESTROVA_FAULT_ROOTS=" + Path("app") + ":" + Path("home"),
                                           "KESTROVA_FAULT_AT=" + std::to_string(kill_at),
                                           "KESTROVA_FAULT_COUNT=" + Path("count")});
    return RunToEnd({KESTROVA_BIN_DIR "/upgrade_driver", Path("app/updater")}, environment);
  }

  // The next start, without a screen, and what it leads to: the application started
  // (by it, or by the updater a replacement script restarted) and no script left.
  void StartAgain() const {
    RunToEnd({Path("app/updater")}, Environment());
    EXPECT_TRUE(WaitFor([&] { return fs::exists(Path("started")); })) << "the application did not start";
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(Path("app/batch_update.sh")); }));
  }

  static constexpr char kShortcut[] = "home/ann/Desktop/demo.desktop";
  testing::TempFolder world_;
  testing::DemoPublication publication_;
};

TEST_F(UpgradeKilled, AtEveryChangeTheNextStartLeavesTheOldOrTheNewVersion) {
  Reset();
  const Tree old_version = Snapshot(world_, "app");
  const std::string old_shortcut = world_.Read(kShortcut);
  ASSERT_EQ(Upgrade(0), 0) << "the upgrade without a kill must succeed";
  const long changes = std::stol(world_.Read("count"));
  StartAgain();
  const Tree new_version = Snapshot(world_, "app");
  const std::string new_shortcut = world_.Read(kShortcut);
  ASSERT_NE(old_shortcut, new_shortcut);
  EXPECT_EQ(world_.Read("app/app.cfg"), "[Kestrova]\nVERSION=1.1\nEMAIL=ann@example.org\n");
  EXPECT_EQ(world_.Read("app/updater"), world_.Read("pristine/updater") + "#1.1");
  EXPECT_FALSE(fs::exists(Path("app/old.txt")));
  EXPECT_TRUE(fs::exists(Path("data/Trash/files/cache/sub/y"))) << "obsolete folders go to the trash";
  EXPECT_GE(changes, 40);

  int old_count = 0;
  int new_count = 0;
  for (long at = 1; at <= changes; ++at) {
    Reset();
    const int status = Upgrade(at);
    StartAgain();
    const Tree now = Snapshot(world_, "app");
    const bool is_new = now == new_version;
    EXPECT_TRUE(is_new || now == old_version)
        << "killed before change " << at << " of " << changes
        << (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL ? "" : " (not reached)")
        << "; against the old version:" << Difference(now, old_version)
        << "; against the new:" << Difference(now, new_version);
    EXPECT_EQ(world_.Read(kShortcut), is_new ? new_shortcut : old_shortcut) << "change " << at;
    (is_new ? new_count : old_count)++;
  }
  EXPECT_GT(old_count, 0);
  EXPECT_GT(new_count, 0);
}

TEST_F(UpgradeKilled, DuringADownloadTheNextUpgradeFetchesOnlyTheRest) {
  Reset();
  const std::string archive = publication_.FilePath("program.zip");
  const int64_t cut = static_cast<int64_t>(fs::file_size(archive)) * 6 / 10;
  test::CuttingServer files(fs::path(archive).parent_path().string(), {cut});
  std::string list = publication_.Folder().Read("Demo/actionlist.ini");
  const std::string& first = publication_.BaseUrl();
  publication_.PublishActionList(list.replace(list.find(first), first.size(), files.BaseUrl()));
  std::vector<std::string> env = Environment();
  env.push_back("QT_QPA_PLATFORM=offscreen");
  const pid_t driver = Spawn({KESTROVA_BIN_DIR "/upgrade_driver", Path("app/updater")}, env);
  // The server hangs up at 60%; the updater is killed while it waits to ask for the rest.
  const std::string part = Path("app/program.zip.partial");
  EXPECT_TRUE(WaitFor([&] { return fs::exists(part) && fs::file_size(part) == uint64_t(cut); }));
  ::kill(driver, SIGKILL);
  ::waitpid(driver, nullptr, 0);
  StartAgain();
  EXPECT_EQ(Upgrade(0), 0);
  EXPECT_EQ(world_.Read("app/big.bin"), world_.Read("program/big.bin"));
  const std::string rest = "bytes=" + std::to_string(cut) + "- 206";
  EXPECT_EQ(files.Requests(), (std::vector<std::string>{"- 200", rest, "- 200"}));
  for (const auto& entry : fs::recursive_directory_iterator(Path("app"))) {
    EXPECT_FALSE(IsPartialDownload(entry.path())) << entry.path();
  }
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(Path("app/batch_update.sh")); }));
}

}  // namespace
}  // namespace kestrova
