// What a Linux application folder can hold that a Windows one cannot: names that differ
// by case alone, and special files. An add must keep every file and always end.
#include <sys/stat.h>

#include "zip_interop/interop_support.h"

namespace kestrova::testing {
namespace {

class LinuxSourcesTest : public ZipTest {};

TEST_F(LinuxSourcesTest, FilesDifferingOnlyInCaseAreAllStored) {
  Make("tree/README", "upper");
  Make("tree/readme", "lower");
  Make("tree/Lib/x.so", "in Lib");
  Make("tree/lib/x.so", "in lib");
  const Tree source = Snapshot(Path("tree"));
  ZipArchiver archiver;
  archiver.SetCompressionLevel(clMax);
  CreateArchive(archiver, Path("t.zip"), Path("tree"), {u"*.*"});

  std::string output;
  ASSERT_EQ(Shell("unzip -q " + Quote(Path("t.zip")) + " -d " + Quote(Path("unzip")), &output), 0) << output;
  EXPECT_EQ(DiffTrees(source, Snapshot(Path("unzip")), kNamesAndContent), "") << "a file was dropped from the archive";
}

// Reading a named pipe waits for a writer that never comes. Run through the tool under
// a time limit so that a hang fails the test instead of stalling the suite.
TEST_F(LinuxSourcesTest, NamedPipeInTheTreeDoesNotStopTheAdd) {
  Make("tree/a.txt", "regular");
  ASSERT_EQ(mkfifo(Path("tree/control.fifo").c_str(), 0600), 0);
  std::string output;
  const int status = Shell("timeout 15 " + KestrovaZip() + " add " + Quote(Path("t.zip")) + " " +
                               Quote(Path("tree")) + " '*.*' </dev/null",
                           &output);
  ASSERT_NE(status, 124) << "the add hung on the pipe";
  ASSERT_EQ(Shell("unzip -p " + Quote(Path("t.zip")) + " a.txt", &output), 0) << output;
  EXPECT_EQ(output, "regular");
}

}  // namespace
}  // namespace kestrova::testing
