#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/files.h"
#include "base/ini.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

class IniFilePosixTest : public ::testing::Test {
 protected:
  IniFile Write(const std::string& content) { return IniFile(folder_.Write("f.ini", content).string()); }
  std::string Content() { return ReadWholeFile((folder_.path() / "f.ini").string()).value_or("<none>"); }

  kestrova::testing::TempFolder folder_;
};

// The bytes our own writer leaves; on Windows the system's profile functions write.
TEST_F(IniFilePosixTest, WriteReplacesOnlyTheKeysLine) {
  const std::string before = "; keep me\r\n[Kestrova]\r\nVERSION = 1.0 \r\nemail=a@b\r\n\r\n[Other]\r\nVERSION=9\r\n";
  IniFile ini = Write(before);
  ASSERT_TRUE(ini.WriteString("kestrova", "version", "2.0"));
  EXPECT_EQ(Content(), "; keep me\r\n[Kestrova]\r\nversion=2.0\r\nemail=a@b\r\n\r\n[Other]\r\nVERSION=9\r\n");
  EXPECT_EQ(ini.ReadString("Kestrova", "VERSION", ""), "2.0");
}

TEST_F(IniFilePosixTest, WriteAddsMissingKeysAndSections) {
  IniFile ini = Write("[a]\nx=1\n\n[b]\ny=2");
  ASSERT_TRUE(ini.WriteString("a", "z", "3"));
  EXPECT_EQ(Content(), "[a]\nx=1\nz=3\n\n[b]\ny=2");
  ASSERT_TRUE(ini.WriteString("b", "w", "4"));
  EXPECT_EQ(Content(), "[a]\nx=1\nz=3\n\n[b]\ny=2\nw=4");
  ASSERT_TRUE(ini.WriteString("c", "v", "5"));
  EXPECT_EQ(Content(), "[a]\nx=1\nz=3\n\n[b]\ny=2\nw=4\n[c]\nv=5\n");
  IniFile fresh((folder_.path() / "new.ini").string());
  ASSERT_TRUE(fresh.WriteString("s", "k", "v"));
  EXPECT_EQ(fresh.ReadString("s", "k", ""), "v");
}

TEST_F(IniFilePosixTest, WriteKeepsTheFilesOwnerAndPermissions) {
  IniFile ini = Write("[s]\nk=1\n");
  ::chmod(ini.Path().c_str(), 0640);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(ini.Path().c_str(), 65534, 65534), 0);
  }
  struct stat before {};
  ::stat(ini.Path().c_str(), &before);
  ASSERT_TRUE(ini.WriteString("s", "k", "2"));
  struct stat after {};
  ::stat(ini.Path().c_str(), &after);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_NE(after.st_ino, before.st_ino) << "replaced in one step, not rewritten in place";
}

// Links and modes of a configuration file, which only POSIX systems give it.
TEST(FilesPosixTest, AWriteThroughALinkReplacesItsTargetAndKeepsTheLinkAndMode) {
  kestrova::testing::TempFolder folder;
  std::filesystem::create_directory(folder.path() / "real");
  const std::filesystem::path target = folder.Write("real/app.cfg", "old");
  ::chmod(target.c_str(), 0640);
  std::filesystem::create_symlink("real/app.cfg", folder.path() / "app.cfg");

  ASSERT_TRUE(ReplaceFileSafely((folder.path() / "app.cfg").string(), "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "app.cfg"));
  EXPECT_EQ(folder.Read("real/app.cfg"), "new");
  struct stat info {};
  ::stat(target.c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path() / "real"), std::filesystem::directory_iterator()), 1)
      << "no temporary file is left beside the target";
}

}  // namespace
}  // namespace kestrova
