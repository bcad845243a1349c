// Delta releases end to end: kestrova-publish builds 1.2 with a delta from 1.0, the
// reference server answers each installed version, and the real main window upgrades.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <tuple>

#include "app/manage_check.h"
#include "support/peers.h"
#include "support/temp_folder.h"
#include "upgrade/form_main_screen.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

// Every name below a folder with its type, permissions and content.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat info {};
    ::lstat(entry.path().c_str(), &info);
    tree[fs::relative(entry.path(), root).string()] =
        std::to_string(info.st_mode) + (S_ISREG(info.st_mode) ? ":" + test::ReadFile(entry.path().string()) : "");
  }
  return tree;
}

class DeltaUpgrade : public ::testing::Test {
 protected:
  DeltaUpgrade() {
    for (const char* name : kEnvironment) ::setenv(name, Path(name).c_str(), 1);
    fs::create_directories(Path("publish"));
    // The server's access log is its standard error.
    server_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{
        "/bin/sh", "-c", "exec " KESTROVA_BIN_DIR "/kestrova-server --folder '" + Path("publish") +
                             "' --port 0 --path /update --log '" + Path("completions.log") + "' 2>'" +
                             Path("access.log") + "'"});
    const std::string line = server_->FirstLine();
    url_ = line.substr(line.find("http://"), line.rfind('/') - line.find("http://"));
    // Signed, as every list an updater holding the key takes, the delta lists among them.
    const std::string keygen = KESTROVA_BIN_DIR "/kestrova-publish keygen --key " + Path("key") + " > " + Path("line");
    EXPECT_EQ(std::system(keygen.c_str()), 0);
    key_line_ = work_.Read("line");
    std::string same(300000, '\0');  // what no delta needs to carry, incompressible
    for (size_t i = 0; i < same.size(); ++i) same[i] = static_cast<char>(i * 2654435761u >> 24);
    Release("1.0", {{"bin/demo", "demo 1.0", 0755}, {"lib/same.so", same, 0644}, {"doc/readme.txt", "read", 0644},
                    {"old/sub/gone.txt", "gone", 0644}}, "");
    Release("1.2", {{"bin/demo", "demo 1.2", 0755}, {"lib/same.so", same, 0644}, {"doc/readme.txt", "read", 0600},
                    {"new/deep/added.txt", "added", 0644}}, "--previous 1.0");
  }
  ~DeltaUpgrade() override {
    for (const char* name : kEnvironment) ::unsetenv(name);
  }
  static constexpr const char* kEnvironment[] = {"KESTROVA_PROFILES_ROOT", "XDG_DATA_HOME", "XDG_CACHE_HOME"};

  std::string Path(const std::string& name) const { return work_.WithSeparator() + name; }

  // Publishes `version` holding `files` (name, content, mode).
  void Release(const std::string& version, const std::vector<std::tuple<std::string, std::string, int>>& files,
               const std::string& options) {
    for (const auto& [name, content, mode] : files) {
      fs::permissions(work_.Write("tree-" + version + "/" + name, content), fs::perms(mode));
    }
    work_.Write("recipe.txt", "version " + version + "\ndate 2026-12-10\ndownload_server " + url_ +
                                  "\ndescription notes.txt\nsave *.cfg\n");
    work_.Write("notes.txt", "Demo " + version);
    const std::string command = KESTROVA_BIN_DIR "/kestrova-publish release --folder " + Path("publish") +
                                " --name Demo --from " + Path("tree-" + version) + " --recipe " + Path("recipe.txt") +
                                " --key " + Path("key") + " " + options + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // An installation of `version` in a folder of its own: the release's files when it
  // is 1.0, the updater's configuration in every case.
  std::string Install(const std::string& folder, const std::string& version) {
    if (version == "1.0") fs::copy(Path("tree-1.0"), Path(folder), fs::copy_options::recursive);
    work_.Write(folder + "/kestrova.ini", "[application]\nname=Demo\nmain_program=bin/demo\nfilename_config=demo.cfg\n"
                                          "param_appli_version=VERSION\nparam_email=EMAIL\n[server]\nserver_addr1=" +
                                              url_ + "\nlink_for_update=/update\n" + key_line_);
    work_.Write(folder + "/demo.cfg", "[Kestrova]\nVERSION=" + version + "\nEMAIL=ann@example.org\n");
    return Path(folder) + "/";
  }

  // Presses "Update now" in the installation's window; the log and what the server
  // was asked for meanwhile.
  std::pair<std::string, std::string> Upgrade(const std::string& app_directory) {
    const size_t asked_before = test::ReadFile(Path("access.log")).size();
    TSettings settings;  // read from the installation's files, as at a start
    settings.app_directory = app_directory;
    TManageCheck check(settings, app_directory + "kestrova", nullptr);
    EXPECT_TRUE(check.ReleaseCheck());
    TFormMainScreen form(settings, "kestrova");
    form.Show();
    form.BitBtnUpdate.Click();
    const std::string log = form.RichEdit1.Text();
    form.Close();
    return {log, test::ReadFile(Path("access.log")).substr(asked_before)};
  }

  testing::TempFolder work_;
  std::unique_ptr<test::ChildProcess> server_;
  std::string url_;
  std::string key_line_;  // release_public_key=...
};

TEST_F(DeltaUpgrade, TakesItsBaseToTheFullReleaseAndEveryOtherInstallationGetsTheFullRelease) {
  const char* const kDone = "Install release ...                          : Done successfuly";
  const std::string fresh = Install("fresh", "0.9");
  const std::string exact = Install("exact", "1.0");
  const std::string edited = Install("edited", "1.0");
  work_.Write("edited/bin/demo", "demo 1.0, patched by hand");
  const struct {
    const char* installation;
    std::string app_directory;
    const char* download;
    const char* log_part;
  } rows[] = {
      {"a version without a delta", fresh, "GET /files/Demo/Demo-1.2.zip\"", ""},
      {"the delta's base", exact, "GET /files/Demo/Demo-1.2-from-1.0.zip\"", ""},
      {"the base with a file changed", edited, "GET /files/Demo/Demo-1.2.zip\"",
       "The installed file bin/demo is not the one of version 1.0 (changed since it was installed). "
       "The full release was asked for instead."},
  };
  for (const auto& row : rows) {
    const auto [log, asked] = Upgrade(row.app_directory);
    EXPECT_NE(log.find(kDone), std::string::npos) << row.installation << ":\n" << log;
    EXPECT_NE(log.find(row.log_part), std::string::npos) << row.installation << ":\n" << log;
    EXPECT_NE(asked.find(row.download), std::string::npos) << row.installation << ":\n" << asked;
    EXPECT_EQ(asked.find("/files/"), asked.rfind("/files/")) << row.installation << ": one archive only\n" << asked;
    EXPECT_EQ(test::ReadFile(row.app_directory + "bin/demo"), "demo 1.2") << row.installation;
  }
  EXPECT_EQ(Snapshot(exact), Snapshot(fresh)) << "the delta installs exactly what the full release does";
}

}  // namespace
}  // namespace kestrova
