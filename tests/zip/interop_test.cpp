// Archives of ours as other tools see them.
#include "base/text.h"
#include "zip_test_support.h"

namespace kestrova::testing {
namespace {

class InteropTest : public ZipTest {
 protected:
  void SetUp() override {
    ZipTest::SetUp();
    Make("tree/text.txt", CompressibleText(3 << 20));
    Make("tree/random.bin", RandomBytes(2 << 20));
    Make("tree/empty", "");
    Make("tree/sub/\xD0\xB6\xD1\x83\xD0\xBA.txt", "non-ASCII name");  // "жук.txt"
    Make("tree/bin/tool", "#!/bin/sh\necho tool\n");
    fs::permissions(Path("tree/bin/tool"), fs::perms(0755));
    fs::create_directories(Path("tree/empty folder"));
    ZipArchiver archiver;
    archiver.SetCompressionLevel(clMax);
    CreateArchive(archiver, Path("t.zip"), Path("tree"), {u"*.*"});
  }
};

TEST_F(InteropTest, InfoZipTestsAndExtractsOurArchive) {
  std::string output;
  EXPECT_EQ(Shell("unzip -t " + Quote(Path("t.zip")), &output), 0) << output;
  EXPECT_NE(output.find("sub/\xD0\xB6\xD1\x83\xD0\xBA.txt"), std::string::npos) << output;
  ASSERT_EQ(Shell("unzip -q " + Quote(Path("t.zip")) + " -d " + Quote(Path("unzipped")), &output), 0) << output;
  EXPECT_EQ(Shell("diff -r " + Quote(Path("tree")) + " " + Quote(Path("unzipped")), &output), 0) << output;
  EXPECT_EQ(fs::status(Path("unzipped/bin/tool")).permissions() & fs::perms::all, fs::perms(0755));
}

TEST_F(InteropTest, PythonReadsOurArchive) {
  const std::string script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    assert z.testzip() is None
    for info in z.infolist():
        print(info.filename, info.compress_type, oct(info.external_attr >> 16))
)";
  std::string output;
  ASSERT_EQ(RunPython(dir_, script, Quote(Path("t.zip")), &output), 0) << output;
  EXPECT_NE(output.find("sub/\xD0\xB6\xD1\x83\xD0\xBA.txt 0 0o100644"), std::string::npos) << output;
  EXPECT_NE(output.find("text.txt 8 "), std::string::npos) << output;
  EXPECT_NE(output.find("random.bin 0 "), std::string::npos) << "incompressible data is stored\n" << output;
  EXPECT_NE(output.find("bin/tool 0 0o100755"), std::string::npos) << output;
  EXPECT_NE(output.find("empty folder/ 0 0o40755"), std::string::npos) << output;
}

TEST_F(InteropTest, OurExtractionRestoresTheTree) {
  EXPECT_TRUE(ExtractAll(Path("t.zip"), Path("out")).empty());
  std::string output;
  EXPECT_EQ(Shell("diff -r " + Quote(Path("tree")) + " " + Quote(Path("out")), &output), 0) << output;
  EXPECT_TRUE(fs::is_directory(Path("out/empty folder")));
  EXPECT_EQ(fs::status(Path("out/bin/tool")).permissions() & fs::perms::all, fs::perms(0755));
}

}  // namespace
}  // namespace kestrova::testing
