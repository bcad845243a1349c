// The kestrova-zip command line: commands, exit codes and messages.
#include "zip_test_support.h"

namespace kestrova::testing {
namespace {

class ToolTest : public ZipTest {
 protected:
  int Tool(const std::string& arguments, std::string* output = nullptr) {
    return Shell(std::string(KESTROVA_BIN_DIR) + "/kestrova-zip " + arguments, output);
  }
};

TEST_F(ToolTest, AddListTestExtract) {
  Make("tree/a.txt", CompressibleText(10000));
  Make("tree/sub/b.txt", "b");
  const std::string archive = Quote(Path("t.zip"));
  std::string output;
  ASSERT_EQ(Tool("add --level 6 " + archive + " " + Quote(Path("tree")) + " '*.*'", &output), 0) << output;
  ASSERT_EQ(Tool("list " + archive, &output), 0) << output;
  EXPECT_NE(output.find("sub/b.txt"), std::string::npos) << output;
  EXPECT_NE(output.find("3 entries"), std::string::npos) << output;
  EXPECT_EQ(Tool("test " + archive, &output), 0) << output;
  ASSERT_EQ(Tool("extract " + archive + " " + Quote(Path("out")) + " '*.txt'", &output), 0) << output;
  EXPECT_EQ(ReadFile(Path("out/sub/b.txt")), "b");
}

TEST_F(ToolTest, FailuresPrintTheArchiverMessageAndExitNonZero) {
  std::string output;
  EXPECT_EQ(Tool("list " + Quote(Path("missing.zip")), &output), 2);
  EXPECT_NE(output.find("not found - Native error: 00012"), std::string::npos) << output;

  Make("tree/a.txt", CompressibleText(10000));
  ASSERT_EQ(Tool("add " + Quote(Path("t.zip")) + " " + Quote(Path("tree")) + " a.txt"), 0);
  std::string bytes = ReadFile(Path("t.zip"));
  bytes[30 + 5 + 22 + 50] ^= 0x20;  // inside the deflated data
  WriteFile(Path("t.zip"), bytes);
  EXPECT_EQ(Tool("test " + Quote(Path("t.zip")), &output), 1);
  EXPECT_NE(output.find("a.txt: Invalid size or check sum"), std::string::npos) << output;
  EXPECT_EQ(Tool("frobnicate"), 2);
}

}  // namespace
}  // namespace kestrova::testing
