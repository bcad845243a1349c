// Linux file names differ by case alone; an archive of such a folder must keep them all.
#include "zip_interop/interop_support.h"

namespace kestrova::testing {
namespace {

class CaseSensitiveNamesTest : public ZipTest {};

TEST_F(CaseSensitiveNamesTest, FilesDifferingOnlyInCaseAreAllStored) {
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

}  // namespace
}  // namespace kestrova::testing
