#include "core/command_line.h"

#include <gtest/gtest.h>

#include <set>

namespace kestrova {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, SplitsArgumentsWithTheWindowsQuotingRules) {
  struct Case {
    const char* text;
    Args expected;
  } cases[] = {
      {"", {}},
      {"  -a   -b ", {"-a", "-b"}},
      {R"("two words" x)", {"two words", "x"}},
      {R"(a"b c"d)", {"ab cd"}},
      {R"(\"quoted\")", {"\"quoted\""}},
      {R"(C:\dir\ "C:\with space\\")", {"C:\\dir\\", "C:\\with space\\"}},
      {R"(a\\\"b)", {"a\\\"b"}},
      {R"("say ""hi""")", {"say \"hi\""}},
      {R"("")", {""}},
      {R"("unterminated rest)", {"unterminated rest"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitWindowsArguments(c.text), c.expected) << c.text;
}

TEST(CommandLineTest, FindsTheShortestPrefixThatNamesAProgram) {
  const std::set<std::string> programs = {"/opt/my app/run", "/opt/my app/run tool", "/bin/true"};
  auto is_program = [&](const std::string& p) { return programs.count(p) > 0; };

  auto parsed = ParseCommandLine("/opt/my app/run tool -x \"y z\"", is_program);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->program, "/opt/my app/run");
  EXPECT_EQ(parsed->arguments, (Args{"tool", "-x", "y z"}));

  parsed = ParseCommandLine("\"/opt/my app/run tool\" -x", is_program);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->program, "/opt/my app/run tool");
  EXPECT_EQ(parsed->arguments, (Args{"-x"}));

  parsed = ParseCommandLine("/bin/true ", is_program);
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(parsed->arguments.empty()) << "the trailing blank of empty parameters adds nothing";

  EXPECT_FALSE(ParseCommandLine("/opt/missing -x", is_program));
  EXPECT_FALSE(ParseCommandLine("\"/opt/my app\" -x", is_program));
}

}  // namespace
}  // namespace kestrova
