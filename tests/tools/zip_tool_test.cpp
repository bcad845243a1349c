// The kestrova-zip command line: commands, exit codes and messages.
#include "zip/zip_test_support.h"

#include <system_error>

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

TEST_F(ToolTest, AddRefusesAMistakeWithoutWritingAnArchive) {
  Make("tree/a.txt", "a");
  Make("tree/sub/b.txt", "b");
  Make("plain.txt", "p");
  fs::create_symlink("missing-target", Path("tree/dangling"));
  fs::create_directories(Path("loop/inner"));
  fs::create_symlink("..", Path("loop/inner/up"));
  fs::create_directories(Path("closed/locked"));
  Make("closed/locked/secret.txt", "s");
  fs::permissions(Path("closed/locked"), fs::perms::none);
  std::error_code unreadable;
  fs::directory_iterator(Path("closed/locked"), unreadable);
  const struct {
    const char* base;
    const char* mask;
    const char* message;
  } cases[] = {
      {"nowhere", "*.*", "nowhere: no such folder"},
      {"plain.txt", "*.*", "plain.txt: not a folder"},
      {"tree", "'*.none'", "nothing in"},
      {"tree", "sub/c.txt", "sub/c.txt: no such file or folder"},
      {"tree", "a.txt", "dangling: cannot follow the symbolic link"},
      {"loop", "*.*", "up: the symbolic link leads back"},
      {"closed", "*.*", "locked: cannot read the folder"},
  };
  for (const auto& c : cases) {
    if (std::string(c.base) == "closed" && !unreadable) continue;  // the superuser reads it anyway
    std::string output;
    EXPECT_EQ(Tool("add " + Quote(Path("t.zip")) + " " + Quote(Path(c.base)) + " " + c.mask, &output), 2)
        << c.base << " " << c.mask;
    EXPECT_NE(output.find(c.message), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(Path("t.zip"))) << c.base << " " << c.mask;
  }
  fs::permissions(Path("closed/locked"), fs::perms::owner_all);
}

TEST_F(ToolTest, AddFollowsLinksAndUpdatesUnlessToldToStartAfresh) {
  Make("real/inner/deep.txt", "deep");
  Make("real/file.txt", "file");
  Make("tree/a.txt", "a");
  fs::create_directory_symlink("../real", Path("tree/linked"));
  fs::create_symlink("../real/file.txt", Path("tree/alias.txt"));
  const std::string archive = Quote(Path("t.zip"));
  ASSERT_EQ(Tool("add " + archive + " " + Quote(Path("tree")) + " '*.*'"), 0);
  ASSERT_EQ(Tool("extract " + archive + " " + Quote(Path("out"))), 0);
  EXPECT_EQ(ReadFile(Path("out/linked/inner/deep.txt")), "deep");
  EXPECT_EQ(ReadFile(Path("out/alias.txt")), "file");

  Make("more/b.txt", "b");
  std::string output;
  ASSERT_EQ(Tool("add " + archive + " " + Quote(Path("more")) + " b.txt", &output), 0);
  EXPECT_NE(output.find("Added 1 file to"), std::string::npos) << output;
  ASSERT_EQ(Tool("list " + archive, &output), 0);
  EXPECT_NE(output.find("linked/inner/deep.txt"), std::string::npos) << "an add keeps the entries";
  ASSERT_EQ(Tool("--new add " + archive + " " + Quote(Path("more")) + " b.txt"), 0);
  ASSERT_EQ(Tool("list " + archive, &output), 0);
  EXPECT_EQ(output.find("deep.txt"), std::string::npos) << output;
  EXPECT_NE(output.find(" 1 entry"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(Path("t.zip.new")));
}

TEST_F(ToolTest, ListShowsPermissionsAndVersionAnswers) {
  Make("tree/run.sh", "#!/bin/sh\n");
  fs::permissions(Path("tree/run.sh"), fs::perms::owner_all | fs::perms::group_read |
                                           fs::perms::group_exec | fs::perms::others_read |
                                           fs::perms::others_exec);
  ASSERT_EQ(Tool("add " + Quote(Path("t.zip")) + " " + Quote(Path("tree")) + " run.sh"), 0);
  std::string output;
  ASSERT_EQ(Tool("list " + Quote(Path("t.zip")), &output), 0);
  EXPECT_NE(output.find("-rwxr-xr-x"), std::string::npos) << output;
  EXPECT_EQ(Tool("--version", &output), 0);
  EXPECT_EQ(output.rfind("kestrova-zip ", 0), 0u) << output;
}

TEST_F(ToolTest, ExtractAndTestReportWhatTheyCouldNotDo) {
  Make("tree/a.txt", CompressibleText(5000));
  Make("tree/b.txt", CompressibleText(5000));
  const std::string archive = Quote(Path("t.zip"));
  ASSERT_EQ(Tool("add " + archive + " " + Quote(Path("tree")) + " '*.*'"), 0);
  std::string output;
  EXPECT_EQ(Tool("extract " + archive + " " + Quote(Path("out")) + " a.txt 'none*'", &output), 1);
  EXPECT_NE(output.find("no entry matches none*"), std::string::npos) << output;
  EXPECT_EQ(ReadFile(Path("out/a.txt")).size(), 5000u);

  Make("blocker", "a file where the target folder should be");
  EXPECT_EQ(Tool("extract " + archive + " " + Quote(Path("blocker/out")), &output), 2);
  EXPECT_NE(output.find("blocker/out: cannot create the folder"), std::string::npos) << output;
  EXPECT_EQ(output.find("a.txt"), std::string::npos) << "reported once, not per entry: " << output;

  std::string bytes = ReadFile(Path("t.zip"));
  WriteFile(Path("t.zip"), bytes.substr(0, bytes.find("PK\x01\x02")));  // no directory left
  EXPECT_EQ(Tool("test " + archive, &output), 1);
  EXPECT_NE(output.find("damaged archive"), std::string::npos) << output;

  WriteFile(Path("t.zip"), "not an archive");
  EXPECT_EQ(Tool("list " + archive, &output), 2);
  EXPECT_NE(output.find("t.zip: Invalid archive"), std::string::npos) << "names the archive: " << output;
}

}  // namespace
}  // namespace kestrova::testing
