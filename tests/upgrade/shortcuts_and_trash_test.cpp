// Shortcut retargeting over a profiles tree of its own, and removal into the trash.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_folder.h"
#include "upgrade/shortcuts.h"
#include "upgrade/trash.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using kestrova::testing::TempFolder;

TEST(Shortcuts, EntriesStartingTheApplicationStartTheUpdaterAndKeepEverythingElse) {
  TempFolder home;
  ::setenv("KESTROVA_PROFILES_ROOT", home.path().c_str(), 1);
  struct Case {
    const char* path;
    std::string before;
    std::string after;  // empty: unchanged
  };
  const std::string updater = "/opt/my app/kestrova";  // a blank: quoted in the entry
  const std::string exec = "\"/opt/my app/kestrova\"";
  const Case cases[] = {
      {"ann/Desktop/app.desktop", "[Desktop Entry]\r\nName[de]=App\r\nExec=/opt/App/APP %F\r\n# note\r\n",
       "[Desktop Entry]\r\nName[de]=App\r\nExec=" + exec + " %F\r\n# note\r\n"},
      {"ann/.local/share/applications/app.desktop",
       "[Desktop Entry]\nExec=\"/opt/with space/app\" --x\n[Desktop Action new]\nExec=app -n\n[X-Other]\nExec=app\n",
       "[Desktop Entry]\nExec=" + exec + " --x\n[Desktop Action new]\nExec=" + exec + " -n\n[X-Other]\nExec=app\n"},
      {"bob/deep/er/other.desktop", "[Desktop Entry]\nExec=/usr/bin/apple %u\n", ""},
      {"bob/.hidden/app.desktop", "[Desktop Entry]\nExec=/opt/app\n", ""},
      {"bob/app.txt", "[Desktop Entry]\nExec=/opt/app\n", ""},
  };
  for (const Case& c : cases) home.Write(c.path, c.before);
  const auto read_only = home.Write("bob/locked.desktop", "[Desktop Entry]\nExec=app\n");
  ::chmod(read_only.c_str(), 0444);
  fs::create_directory_symlink("/", home.path() / "ann" / "root-link");  // never walked into

  EXPECT_EQ(RetargetShortcuts("bin\\app", updater), 2);
  for (const Case& c : cases) {
    EXPECT_EQ(home.Read(c.path), c.after.empty() ? c.before : c.after) << c.path;
  }
  EXPECT_EQ(home.Read("bob/locked.desktop"), "[Desktop Entry]\nExec=app\n");
  EXPECT_EQ(RetargetShortcuts("bin\\app", updater), 0) << "a retargeted entry no longer matches";
  ::unsetenv("KESTROVA_PROFILES_ROOT");
}

TEST(Trash, RemovedItemsGoToTheTrashWithTheirOrigin) {
  TempFolder folder;
  const std::string data_home = (folder.path() / "data").string();
  ::setenv("XDG_DATA_HOME", data_home.c_str(), 1);
  folder.Write("app/old plugin/a.so", "a");
  folder.Write("app/old.txt", "old");
  folder.Write("app/again/old.txt", "second");

  EXPECT_TRUE(RemoveFolder((folder.path() / "app/old plugin").string()));
  EXPECT_TRUE(RemoveObsoleteFile((folder.path() / "app/old.txt").string()));
  EXPECT_TRUE(RemoveObsoleteFile((folder.path() / "app/again/old.txt").string()));
  EXPECT_FALSE(fs::exists(folder.path() / "app/old plugin"));
  EXPECT_EQ(folder.Read("data/Trash/files/old plugin/a.so"), "a");
  EXPECT_EQ(folder.Read("data/Trash/files/old.txt.2"), "second") << "a name taken is not reused";
  const std::string info = folder.Read("data/Trash/info/old plugin.trashinfo");
  EXPECT_NE(info.find("[Trash Info]\nPath=" + folder.path().string() + "/app/old%20plugin\nDeletionDate="),
            std::string::npos)
      << info;
  EXPECT_FALSE(RemoveFolder((folder.path() / "app/missing").string()));
  ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace kestrova
