// Shell links made with the shell's own link object over a profiles tree of the
// test's own, retargeted and read back; folders removed through the recycle bin.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "shell_links_win32.h"
#include "support/temp_folder.h"
#include "upgrade/com_apartment.h"
#include "upgrade/shortcuts.h"
#include "upgrade/trash.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using kestrova::testing::Link;
using kestrova::testing::LoadLink;
using kestrova::testing::SaveLink;
using kestrova::testing::TempFolder;

TEST(Shortcuts, LinksStartingTheApplicationStartTheUpdaterAndKeepTheirArguments) {
  TComApartment apartment;
  TempFolder profiles, programs;
  const fs::path app = programs.Write("bin/APP.EXE", "app"), other = programs.Write("bin/other.exe", "other");
  const fs::path updater = programs.Write("updater.exe", "updater");
  ::_putenv_s("KESTROVA_PROFILES_ROOT", profiles.path().string().c_str());
  const fs::path root = profiles.path();
  struct Case {
    fs::path file;
    fs::path target;
    bool retargeted;
  };
  const Case cases[] = {
      {root / "ann/Desktop/app.lnk", app, true},
      {root / "ann/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/app.lnk", app, true},
      {root / "bob/other.lnk", other, false},
      {root / "bob/secret/app.lnk", app, false},  // in a hidden folder
      {root / "bob/locked.lnk", app, false},      // read-only
  };
  for (const Case& c : cases) SaveLink(c.file, {c.target.wstring(), L"--x \"y z\""});
  ::SetFileAttributesW((root / "ann/AppData").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesW((root / "bob/secret").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesW((root / "bob/locked.lnk").wstring().c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_EQ(RetargetShortcuts("bin\\app.exe", updater.string()), 2);
  for (const Case& c : cases) {
    const Link link = LoadLink(c.file);
    EXPECT_TRUE(fs::equivalent(link.target, c.retargeted ? updater : c.target)) << c.file;
    EXPECT_EQ(link.arguments, L"--x \"y z\"") << c.file;
  }
  EXPECT_EQ(RetargetShortcuts("bin\\app.exe", updater.string()), 0) << "a retargeted link no longer matches";
  ::SetFileAttributesW((root / "bob/locked.lnk").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
  ::_putenv_s("KESTROVA_PROFILES_ROOT", "");
}

TEST(Trash, RemoveFolderTakesTheWholeFolderAndRefusesWhatItCannotName) {
  TempFolder folder;
  folder.Write("app/old plugin/sub/a.dll", "a");
  folder.Write("app/keep.txt", "keep");
  EXPECT_TRUE(RemoveFolder((folder.path() / "app/old plugin").string()));
  EXPECT_FALSE(fs::exists(folder.path() / "app/old plugin"));
  EXPECT_EQ(folder.Read("app/keep.txt"), "keep");
  EXPECT_FALSE(RemoveFolder((folder.path() / "app/missing").string()));
  EXPECT_FALSE(MoveToTrash((folder.path() / "app/*").string())) << "the shell would expand the wildcard";
  EXPECT_FALSE(MoveToTrash("app")) << "relative to whatever the current folder is";
  EXPECT_TRUE(fs::exists(folder.path() / "app/keep.txt"));
}

}  // namespace
}  // namespace kestrova
