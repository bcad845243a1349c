// What only POSIX file systems give a configuration file: links and modes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "base/files.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

TEST(FilesPosixTest, AWriteThroughALinkReplacesItsTargetAndKeepsTheLinkAndMode) {
  kestrova::testing::TempFolder folder;
  fs::create_directory(folder.path() / "real");
  const fs::path target = folder.Write("real/app.cfg", "old");
  ::chmod(target.c_str(), 0640);
  fs::create_symlink("real/app.cfg", folder.path() / "app.cfg");

  ASSERT_TRUE(ReplaceFileSafely((folder.path() / "app.cfg").string(), "new"));
  EXPECT_TRUE(fs::is_symlink(folder.path() / "app.cfg"));
  EXPECT_EQ(folder.Read("real/app.cfg"), "new");
  struct stat info {};
  ::stat(target.c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path() / "real"), fs::directory_iterator()), 1)
      << "no temporary file is left beside the target";
}

}  // namespace
}  // namespace kestrova
