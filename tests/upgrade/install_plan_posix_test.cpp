// What an install will write, checked against the archives and the disk before any
// change: every release that cannot go in is refused with its reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>

#include "support/temp_folder.h"
#include "upgrade/install_plan.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

class InstallPlan : public ::testing::Test {
 protected:
  // An archive of `files` (name, content; a content starting with "->" makes a link),
  // written by python's zipfile, which takes names no file system would.
  std::string Archive(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string archive = folder_.WithSeparator() + name;
    std::string script = "import zipfile\nz = zipfile.ZipFile('" + archive + "', 'w')\n";
    for (const auto& [path, content] : files) {
      const bool link = content.starts_with("->");
      script += "i = zipfile.ZipInfo('" + path + "')\ni.create_system = 3\ni.external_attr = " +
                (link ? "0o120777" : "0o100644") + " << 16\nz.writestr(i, '" + (link ? content.substr(2) : content) +
                "')\n";
    }
    folder_.Write(name + ".py", script + "z.close()\n");
    EXPECT_EQ(std::system(("python3 '" + archive + ".py'").c_str()), 0);
    return archive;
  }

  // Mounts a small file system as the application folder; false where none can be had.
  bool MountApp(const std::string& options) {
    fs::create_directories(app_);
    if (std::system(("mount -t tmpfs -o " + options + " kestrova-test '" + app_ + "' 2>/dev/null").c_str()) != 0) {
      return false;
    }
    mounted_ = true;
    return true;
  }
  ~InstallPlan() override {
    if (mounted_) std::system(("umount '" + app_ + "'").c_str());
  }

  testing::TempFolder folder_;
  std::string app_ = folder_.WithSeparator() + "app/";
  bool mounted_ = false;
};

TEST_F(InstallPlan, AReleaseThatCannotGoInIsRefusedWithItsReason) {
  fs::create_directories(app_ + "lib");
  folder_.Write("app/data", "a file of 1.0");
  const std::string long_name(256, 'n');
  struct Case {
    const char* why;
    std::vector<std::string> archives;
    std::vector<std::string> removed;
    std::string fault;  // empty: the plan goes through
  } cases[] = {
      {"a link", {Archive("link.zip", {{"lib/a", "a"}, {"lib/b", "->a"}})}, {}, "holds the link lib/b"},
      {"a file in one archive, a folder in the other",
       {Archive("one.zip", {{"x", "x"}}), Archive("two.zip", {{"x/y", "y"}})}, {}, "both as a file and as a folder"},
      {"a folder where the installation has a file", {Archive("clash.zip", {{"data/y", "y"}})}, {},
       "puts a folder at " + app_ + "data, where the installation has a file"},
      {"the same, with the file removed first", {Archive("clash.zip", {{"data/y", "y"}})}, {app_ + "data"}, ""},
      {"a name the file system refuses", {Archive("long.zip", {{"lib/" + long_name, "z"}})}, {},
       "it is longer than 255 bytes"},
  };
  for (const Case& c : cases) {
    TInstallPlan plan;
    const auto fault = PlanInstall({app_, c.archives, c.removed}, plan);
    if (c.fault.empty()) {
      EXPECT_FALSE(fault) << c.why << ": " << fault.value_or("");
    } else {
      ASSERT_TRUE(fault) << c.why;
      EXPECT_NE(fault->find(c.fault), std::string::npos) << c.why << ": " << *fault;
    }
  }
  EXPECT_EQ(folder_.Read("app/data"), "a file of 1.0") << "checking writes nothing";
}

TEST_F(InstallPlan, TellsWhatTheInstallWritesAndCreates) {
  fs::create_directories(app_ + "lib");
  TInstallPlan plan;
  ASSERT_FALSE(PlanInstall({app_, {Archive("a.zip", {{"lib/a", "12345"}, {"new/deep/b", "678"}, {"c", ""}})}, {}}, plan));
  std::sort(plan.targets.begin(), plan.targets.end());
  EXPECT_EQ(plan.targets, (std::vector<std::string>{app_ + "c", app_ + "lib/a", app_ + "new/deep/b"}));
  EXPECT_EQ(plan.new_folders, (std::vector<std::string>{app_ + "new/", app_ + "new/deep/"}));
  EXPECT_EQ(plan.bytes, 8u);
  EXPECT_EQ(fs::directory_iterator(app_ + "lib"), fs::directory_iterator()) << "no probe is left behind";
}

TEST_F(InstallPlan, NoRoomOrNoRightToWriteIsFoundBeforeAnyChange) {
  const std::string big = Archive("big.zip", {{"big.bin", std::string(3 << 20, '0')}});
  const struct {
    const char* options;
    const char* fault;
  } cases[] = {{"size=1m", "Not enough room to install the release"}, {"ro", "cannot be written"}};
  for (const auto& c : cases) {
    if (!MountApp(c.options)) GTEST_SKIP() << "no small file system can be mounted here";
    TInstallPlan plan;
    const auto fault = PlanInstall({app_, {big}, {}}, plan);
    ASSERT_TRUE(fault) << c.options;
    EXPECT_NE(fault->find(c.fault), std::string::npos) << *fault;
    std::system(("umount '" + app_ + "'").c_str());
    mounted_ = false;
  }
}

}  // namespace
}  // namespace kestrova
