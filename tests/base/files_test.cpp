#include "base/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <vector>

#include "base/paths.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

TEST(PathsTest, FolderAndNameHaveOneMeaningEach) {
  const std::string sep(1, NativeSeparator());
  const struct {
    std::string path, folder, name;
  } cases[] = {
      {"a" + sep + "b" + sep + "c.txt", "a" + sep + "b" + sep, "c.txt"},
      {"c.txt", "", "c.txt"},
      {"a" + sep, "a" + sep, ""},
      {sep + "c", sep, "c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(FileNameOf(c.path), c.name) << c.path;
    EXPECT_EQ(FolderOf(c.path) + FileNameOf(c.path), c.path);
  }
  EXPECT_EQ(JoinPath("a", "b"), "a" + sep + "b");
  EXPECT_EQ(JoinPath("a" + sep, "b"), "a" + sep + "b");
}

TEST(FilesTest, FolderTreeGoesWithReadOnlyContentButNotWhatLinksPointTo) {
  testing::TempFolder folder;
  folder.Write("outside/keep.txt", "keep");
  folder.Write("tree/sub/deeper/file.txt", "x");
  const fs::path read_only = folder.Write("tree/sub/read-only.txt", "r");
  fs::permissions(read_only, fs::perms::owner_read);
  std::error_code no_links;  // Windows lets only the privileged make links
  fs::create_directory_symlink(folder.path() / "outside", folder.path() / "tree/link", no_links);
  EXPECT_TRUE(RemoveFolderTree((folder.path() / "tree").string()));
  EXPECT_FALSE(fs::exists(folder.path() / "tree"));
  EXPECT_EQ(folder.Read("outside/keep.txt"), "keep");
  EXPECT_TRUE(RemoveFolderTree((folder.path() / "tree").string())) << "nothing left is success";

  fs::create_directories(folder.path() / "empty");
  folder.Write("full/file.txt", "x");
  EXPECT_TRUE(RemoveEmptyFolder((folder.path() / "empty").string()));
  EXPECT_FALSE(RemoveEmptyFolder((folder.path() / "full").string()));
  EXPECT_TRUE(fs::exists(folder.path() / "full/file.txt"));
}

TEST(FilesTest, TheLeftoverSweepRemovesOnlyTheTemporaryNamesOfThatFile) {
  kestrova::testing::TempFolder folder;
  const std::vector<std::string> ours = {"app.cfg.kestrova-Ab12Cd", "app.cfg.kestrova-ab12cd34.tmp"};
  const std::vector<std::string> others = {"app.cfg", "app.cfg.backup", "app.cfg.kestrova-", "app.cfg.kestrova-abc",
                                           "app.cfg.kestrova-ab12c!", "app.cfg.kestrova-ab12cd345",
                                           "other.cfg.kestrova-Ab12Cd", "app.cfg.Ab12Cd"};
  for (const auto& name : ours) folder.Write(name, "half");
  for (const auto& name : others) folder.Write(name, "keep");
  fs::create_directory(folder.path() / "app.cfg.kestrova-Fold12");

  RemoveReplaceLeftovers((folder.path() / "app.cfg").string());
  std::set<std::string> left, expected(others.begin(), others.end());
  for (const auto& entry : fs::directory_iterator(folder.path())) left.insert(entry.path().filename().string());
  expected.insert("app.cfg.kestrova-Fold12");
  EXPECT_EQ(left, expected);
}

TEST(FilesTest, FreeSpaceOfAFolderStillToBeCreatedIsThatOfItsParent) {
  testing::TempFolder folder;
  const auto parent = FreeDiskSpace(folder.WithSeparator());
  ASSERT_TRUE(parent.has_value());
  const auto future = FreeDiskSpace(JoinPath(JoinPath(folder.path().string(), "not"), "yet"));
  ASSERT_TRUE(future.has_value());
  // Other writers share the disk, so the two need not be equal to the byte.
  EXPECT_NEAR(double(*future), double(*parent), double(*parent) / 2);
}

}  // namespace
}  // namespace kestrova
