// What an install will write, checked against the archives and the disk before any
// change: every release that cannot go in is refused with its reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/temp_folder.h"
#include "upgrade/install_plan.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

using Entries = std::vector<std::pair<std::string, std::string>>;

// An archive of `entries` (a content starting with "->" makes a link), written by
// python's zipfile, which takes names no file system would.
std::string Archive(const testing::TempFolder& folder, const std::string& name, const Entries& entries) {
  const std::string archive = folder.WithSeparator() + name;
  std::string script = "import zipfile\nz = zipfile.ZipFile('" + archive + "', 'w')\n";
  for (const auto& [path, content] : entries) {
    const bool link = content.starts_with("->");
    script += "i = zipfile.ZipInfo('" + path + "')\ni.external_attr = " + (link ? "0o120777" : "0o100644") +
              " << 16\nz.writestr(i, '" + (link ? content.substr(2) : content) + "')\n";
  }
  folder.Write(name + ".py", script + "z.close()\n");
  EXPECT_EQ(std::system(("python3 '" + archive + ".py'").c_str()), 0);
  return archive;
}

TEST(InstallPlan, AReleaseThatCannotGoInIsRefusedWithItsReasonAndWritesNothing) {
  const testing::TempFolder folder;
  const std::string app = folder.WithSeparator() + "app/";
  folder.Write("app/lib/kept", "1.0");
  folder.Write("app/data", "a file of 1.0");
  const std::string big = std::string(3 << 20, '0');
  const struct {
    const char* why;
    std::vector<Entries> archives;
    std::vector<std::string> removed;
    std::string fault;  // empty: the plan goes through
    const char* mount = nullptr;  // options of a small file system put under the folder
  } cases[] = {
      {"a link", {{{"lib/a", "a"}, {"lib/b", "->a"}}}, {}, "holds the link lib/b"},
      {"a file in one archive, a folder in the other", {{{"x", "x"}}, {{"x/y", "y"}}}, {}, "both as a file and"},
      {"a folder where the installation has a file", {{{"data/y", "y"}}}, {},
       "puts a folder at " + app + "data, where the installation has a file"},
      {"the same, with the file removed first", {{{"data/y", "y"}}}, {app + "data"}, ""},
      {"a name the file system refuses", {{{"lib/" + std::string(256, 'n'), "z"}}}, {}, "longer than 255 bytes"},
      {"too little room", {{{"big.bin", big}}}, {}, "Not enough room to install the release", "size=1m"},
      {"a folder that cannot be written", {{{"big.bin", big}}}, {}, "cannot be written: Read-only", "ro"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    std::vector<std::string> archives;
    for (const Entries& entries : c.archives) {
      archives.push_back(Archive(folder, std::to_string(archives.size()) + ".zip", entries));
    }
    std::string target = app;
    if (c.mount) {
      target = folder.WithSeparator() + "mounted/";
      fs::create_directories(target);
      const std::string mount = "mount -t tmpfs -o " + std::string(c.mount) + " kestrova-test '" + target + "'";
      if (std::system((mount + " 2>/dev/null").c_str()) != 0) continue;  // none can be had here
    }
    TInstallPlan plan;
    const auto fault = PlanInstall({target, archives, c.removed}, plan);
    if (c.mount) std::system(("umount '" + target + "'").c_str());
    EXPECT_EQ(fault.has_value(), !c.fault.empty()) << fault.value_or("");
    EXPECT_NE(fault.value_or("").find(c.fault), std::string::npos) << fault.value_or("");
  }
  EXPECT_EQ(folder.Read("app/data"), "a file of 1.0");

  TInstallPlan plan;
  const std::string archive = Archive(folder, "a.zip", {{"lib/a", "12345"}, {"new/deep/b", "678"}, {"c", ""}});
  ASSERT_FALSE(PlanInstall({app, {archive}, {}}, plan));
  std::sort(plan.targets.begin(), plan.targets.end());
  EXPECT_EQ(plan.targets, (std::vector<std::string>{app + "c", app + "lib/a", app + "new/deep/b"}));
  EXPECT_EQ(plan.new_folders, (std::vector<std::string>{app + "new/", app + "new/deep/"}));
  EXPECT_EQ(plan.bytes, 8u);
  EXPECT_EQ(fs::directory_iterator(app + "lib")->path().filename(), "kept") << "no probe is left behind";
}

}  // namespace
}  // namespace kestrova
