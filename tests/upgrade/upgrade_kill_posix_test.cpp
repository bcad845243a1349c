// An upgrade killed with SIGKILL right before each change it makes to the
// installation, then the updater started again: the installation must be exactly
// the old version or exactly the new one, with nothing left over, and the application
// must start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "support/temp_folder.h"
#include "upgrade/demo_publication.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void Write(const fs::path& path, const std::string& content, fs::perms perms = fs::perms(0644)) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  fs::permissions(path, perms);
}

// Every name below a folder with its type, permissions and content.
using Tree = std::map<std::string, std::string>;

Tree Snapshot(const fs::path& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat info {};
    ::lstat(entry.path().c_str(), &info);
    std::string value = std::to_string(info.st_mode);
    if (S_ISREG(info.st_mode)) value += ":" + Read(entry.path());
    tree[fs::relative(entry.path(), root).string()] = value;
  }
  return tree;
}

std::string Difference(const Tree& actual, const Tree& expected) {
  std::string text;
  for (const auto& [name, value] : actual) {
    const auto found = expected.find(name);
    if (found == expected.end()) text += " +" + name;
    else if (found->second != value) text += " ~" + name;
  }
  for (const auto& [name, value] : expected) {
    if (!actual.contains(name)) text += " -" + name;
  }
  return text;
}

// Runs a program to its end; the raw wait status.
int RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
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
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

class UpgradeKilled : public ::testing::Test {
 protected:
  UpgradeKilled() : world_(folder_.path()), app_(world_ / "app"), pristine_(world_ / "pristine") {
    // The updater without its debugging sections: a tenth of the bytes to copy and
    // unpack a hundred times.
    fs::create_directories(pristine_);
    EXPECT_EQ(std::system(("strip -o '" + Updater().string() + "' " KESTROVA_BIN_DIR "/kestrova").c_str()), 0);
    Publish();
    LayOutInstallation();
  }

  void Publish() {
    publication_.Announce("1.1", "2026-12-01");
    publication_.Describe("description.txt", "Demo 1.1");
    publication_.PublishActionList(
          "[release]\ndownload_server_adr1=" + publication_.BaseUrl() +
              "\nfiledir=/files/Demo\nfilename1=program.zip\nfilename2=updater.zip\ncheck_shortcuts=1\n"
              "Upgrade_Kestrova=1\n[save_action]\npath1=*.cfg\n[files_to_delete]\nfile1=old.txt\n"
              "file2=lib/gone.so\n[folders_to_delete]\ndir1=cache\n");
    const fs::path program = world_ / "program";
    Write(program / "app.sh", AppScript("1.1"), fs::perms(0755));
    for (const char* name : {"lib/a.so", "lib/b.so", "lib/c.so", "doc/readme.txt", "data/new/x1", "data/new/x2",
                             "data/new/deep/x3", "data/y"}) {
      Write(program / name, std::string(name) + " 1.1");
    }
    std::mt19937 random(7);
    std::string big(2 << 20, '\0');
    for (char& c : big) c = static_cast<char>(random());
    Write(program / "big.bin", big);
    Zip(program, publication_.FilePath("program.zip"));
    const fs::path updater = world_ / "updater";
    Write(updater / "Kestrova.new", Read(Updater()) + "#1.1", fs::perms(0755));
    Write(updater / "Kestrova.config", UpdaterConfiguration() + "; 1.1\n");
    Zip(updater, publication_.FilePath("updater.zip"));
  }

  static void Zip(const fs::path& folder, const fs::path& archive) {
    fs::create_directories(archive.parent_path());
    ASSERT_EQ(std::system(("cd '" + folder.string() + "' && zip -qr '" + archive.string() + "' .").c_str()), 0);
  }

  std::string AppScript(const std::string& version) const {
    return "#!/bin/sh\n# " + version + "\necho started >> '" + (world_ / "started").string() + "'\n";
  }

  std::string UpdaterConfiguration() const {
    return "[application]\nname=Demo\nmain_program=app.sh\nfilename_config=app.cfg\nparam_appli_version=VERSION\n"
           "param_email=EMAIL\n[server]\nserver_addr1=" + publication_.BaseUrl() + "\nlink_for_update=/update\n";
  }

  void LayOutInstallation() {
    Write(pristine_ / "updater.ini", UpdaterConfiguration());
    Write(pristine_ / "app.cfg", "[Kestrova]\nVERSION=1.0\nEMAIL=ann@example.org\n", fs::perms(0600));
    Write(pristine_ / "app.sh", AppScript("1.0"), fs::perms(0755));
    for (const char* name : {"lib/a.so", "lib/b.so", "lib/c.so", "lib/gone.so", "doc/readme.txt", "old.txt",
                             "cache/x", "cache/sub/y"}) {
      Write(pristine_ / name, std::string(name) + " 1.0");
    }
  }

  // The installation of 1.0 again, with its shortcut, an empty trash and no log.
  void Reset() {
    for (const char* gone : {"app", "data", "tmp", "started"}) fs::remove_all(world_ / gone);
    fs::copy(pristine_, app_, fs::copy_options::recursive);
    fs::create_directories(world_ / "tmp");
    Write(Shortcut(), "[Desktop Entry]\nExec=" + (app_ / "app.sh").string() + " %F\n");
  }

  fs::path Updater() const { return pristine_ / "updater"; }
  fs::path Shortcut() const { return world_ / "home/ann/Desktop/demo.desktop"; }

  std::vector<std::string> Environment() const {
    return {"HOME=" + (world_ / "home/ann").string(), "XDG_DATA_HOME=" + (world_ / "data").string(),
            "TMPDIR=" + (world_ / "tmp").string(), "XDG_CACHE_HOME=" + (world_ / "tmp").string(), "KESTROVA_PROFILES_ROOT=" + (world_ / "home").string(),
            "PATH=/usr/bin:/bin"};
  }

  // One upgrade by the window, killed before change `kill_at` (never when 0); the raw
  // wait status.
  int Upgrade(long kill_at) {
    std::vector<std::string> environment = Environment();
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    environment.push_back("LD_PRELOAD=" KESTROVA_FAULT_INJECTION);
    environment.push_back("KESTROVA_FAULT_ROOTS=" + app_.string() + ":" + (world_ / "home").string());
    environment.push_back("KESTROVA_FAULT_AT=" + std::to_string(kill_at));
    environment.push_back("KESTROVA_FAULT_COUNT=" + (world_ / "count").string());
    return RunToEnd({KESTROVA_BIN_DIR "/upgrade_driver", (app_ / "updater").string()}, environment);
  }

  // The next start, without a screen, and what it leads to: the application started
  // (by it, or by the updater a replacement script restarted) and no script left.
  void StartAgain() {
    RunToEnd({(app_ / "updater").string()}, Environment());
    EXPECT_TRUE(WaitFor([&] { return fs::exists(world_ / "started"); })) << "the application did not start";
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(app_ / "batch_update.sh"); }));
  }

  testing::TempFolder folder_;
  testing::DemoPublication publication_;
  fs::path world_, app_, pristine_;
};

TEST_F(UpgradeKilled, AtEveryChangeTheNextStartLeavesTheOldOrTheNewVersion) {
  Reset();
  const Tree old_version = Snapshot(app_);
  const std::string old_shortcut = Read(Shortcut());
  ASSERT_EQ(Upgrade(0), 0) << "the upgrade without a kill must succeed";
  const long changes = std::stol(Read(world_ / "count"));
  StartAgain();
  const Tree new_version = Snapshot(app_);
  const std::string new_shortcut = Read(Shortcut());
  ASSERT_NE(old_version, new_version);
  ASSERT_NE(old_shortcut, new_shortcut);
  EXPECT_EQ(Read(app_ / "app.cfg"), "[Kestrova]\nVERSION=1.1\nEMAIL=ann@example.org\n");
  EXPECT_EQ(Read(app_ / "updater"), Read(Updater()) + "#1.1");
  EXPECT_FALSE(fs::exists(app_ / "old.txt"));
  EXPECT_TRUE(fs::exists(world_ / "data/Trash/files/cache/sub/y")) << "obsolete folders go to the trash";
  EXPECT_GE(changes, 40);

  int old_count = 0;
  int new_count = 0;
  for (long at = 1; at <= changes; ++at) {
    Reset();
    const int status = Upgrade(at);
    const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    StartAgain();
    const Tree now = Snapshot(app_);
    const bool is_new = now == new_version;
    EXPECT_TRUE(is_new || now == old_version)
        << "killed before change " << at << " of " << changes << (killed ? "" : " (not reached)")
        << "; against the old version:" << Difference(now, old_version)
        << "; against the new:" << Difference(now, new_version);
    EXPECT_EQ(Read(Shortcut()), is_new ? new_shortcut : old_shortcut) << "change " << at;
    (is_new ? new_count : old_count)++;
  }
  EXPECT_GT(old_count, 0);
  EXPECT_GT(new_count, 0);
}

}  // namespace
}  // namespace kestrova
