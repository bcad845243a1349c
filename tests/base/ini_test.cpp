#include "base/ini.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/files.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  IniFile Write(const std::string& content) { return IniFile(folder_.Write("f.ini", content).string()); }
  std::string Content() { return ReadWholeFile((folder_.path() / "f.ini").string()).value_or("<none>"); }

  kestrova::testing::TempFolder folder_;
};

TEST(ProfileIntegerTest, FollowsTheProfileRules) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"42", 42},          {"-42", -42},         {"+7", 7},
      {"$1E", 30},         {"x1e", 30},          {"X1E", 30},
      {"0x1E", 30},        {"0X1e", 30},         {"-$10", -16},
      {"$FFFFFFFF", -1},   {"$100000000", {}},   {"2147483647", 2147483647},
      {"2147483648", {}},  {"-2147483648", INT32_MIN},
      {"0x", {}},          {"x", {}},            {"$", {}},
      {"abc", {}},         {"", {}},             {"12a", {}},
      {"1.5", {}},         {"- 1", {}},          {"00012", 12},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseProfileInteger(c.text), c.value) << "text: \"" << c.text << "\"";
  }
}

TEST_F(IniFileTest, MatchesSectionsAndKeysWithoutCaseAndBlanks) {
  IniFile ini = Write("[ Application ]\r\n  Name  =  My App  \r\nquoted=\"  spaced  \"\r\nsingle='x'\r\n"
                      "mismatched=\"abc'\r\nempty=\r\n[server]\r\nname=other\r\n");
  EXPECT_EQ(ini.ReadString("application", "NAME", "d"), "My App");
  EXPECT_EQ(ini.ReadString("APPLICATION ", " name", "d"), "My App");
  EXPECT_EQ(ini.ReadString("application", "quoted", "d"), "  spaced  ");
  EXPECT_EQ(ini.ReadString("application", "single", "d"), "x");
  EXPECT_EQ(ini.ReadString("application", "mismatched", "d"), "\"abc'");
  EXPECT_EQ(ini.ReadString("application", "empty", "d"), "") << "an empty value is still a value";
  EXPECT_EQ(ini.ReadString("application", "missing", "d"), "d");
  EXPECT_EQ(ini.ReadString("server", "name", "d"), "other");
  EXPECT_EQ(ini.ReadString("nosuch", "name", "d"), "d");
  EXPECT_EQ(IniFile((folder_.path() / "absent.ini").string()).ReadString("a", "b", "d"), "d");
}

TEST_F(IniFileTest, ReadsIntegersAndFlagsWithTheirDefaults) {
  IniFile ini = Write("[s]\ntimeout=0x1E\nbad=abc\nempty=\nzero=0\nseven=7\nword=yes\n");
  EXPECT_EQ(ini.ReadInteger("s", "timeout", 5), 30);
  EXPECT_EQ(ini.ReadInteger("s", "bad", 5), 5);
  EXPECT_EQ(ini.ReadInteger("s", "empty", 5), 5);
  EXPECT_EQ(ini.ReadInteger("s", "absent", 5), 5);
  EXPECT_FALSE(ini.ReadBool("s", "zero", true));
  EXPECT_TRUE(ini.ReadBool("s", "seven", false));
  EXPECT_TRUE(ini.ReadBool("s", "word", true));
  EXPECT_FALSE(ini.ReadBool("s", "word", false));
}

TEST_F(IniFileTest, CutsLongTextsTo2047Characters) {
  IniFile ini = Write("[s]\nname=" + std::string(3000, 'n') + "\n");
  EXPECT_EQ(ini.ReadString("s", "name", ""), std::string(2047, 'n'));
}

TEST_F(IniFileTest, ASectionExistsOnlyWhenItHoldsAKey) {
  IniFile ini = Write("VERSION=1\n[Empty]\n\n; comment\n[Full]\nkey=\n[First]\n[First]\nkey=1\n");
  EXPECT_FALSE(ini.SectionExists("Empty"));
  EXPECT_TRUE(ini.SectionExists("full"));
  EXPECT_FALSE(ini.SectionExists("Missing"));
  // Only the first section of a name is looked at.
  EXPECT_FALSE(ini.SectionExists("First"));
  EXPECT_EQ(ini.ReadString("First", "key", "d"), "d");
}

TEST_F(IniFileTest, ReadsAsTheProfileFunctionsDoWhereLinesAreOdd) {
  struct Case {
    const char* why;
    std::string content;
    const char* section;
    const char* key;
    const char* expected;  // "d" is the default
  };
  const Case cases[] = {
      {"an unclosed bracket starts no section", "[a]\nk=1\n[b\nj=2\n", "a", "j", "2"},
      {"an unclosed bracket names no section", "[a]\nk=1\n[b\nj=2\n", "b", "j", "d"},
      {"a line without = is no key", "[a]\nflag\nk=1\n", "a", "flag", "d"},
      {"a byte order mark is skipped", "\xEF\xBB\xBF[a]\nk=1\n", "a", "k", "1"},
      {"a byte order mark counts only at the start", "[a]\n\xEF\xBB\xBFk=1\n", "a", "k", "d"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Write(c.content).ReadString(c.section, c.key, "d"), c.expected) << c.why;
  }
  EXPECT_FALSE(Write("[a]\nonly words\n").SectionExists("a")) << "lines without = are no keys";
}

TEST_F(IniFileTest, WriteToAReadOnlyFileFailsAndChangesNothing) {
  IniFile ini = Write("[s]\nk=1\n");
  fs::permissions(ini.Path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_FALSE(ini.WriteString("s", "k", "2"));
  EXPECT_EQ(Content(), "[s]\nk=1\n");
  EXPECT_EQ(fs::directory_iterator(folder_.path())->path().filename(), "f.ini") << "no temporary file left";
}

}  // namespace
}  // namespace kestrova
