#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ini.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

class IniFilePosixTest : public ::testing::Test {
 protected:
  IniFile Write(const std::string& content) { return IniFile(folder_.Write("f.ini", content).string()); }

  kestrova::testing::TempFolder folder_;
};

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

}  // namespace
}  // namespace kestrova
