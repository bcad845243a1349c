// Our own INI reader against the system's profile functions, on the same files: the
// platforms without those functions must read every configuration file as Windows does.
#include <gtest/gtest.h>

#include <iostream>

#include "base/ini.h"
#include "base/profile_text.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

using kestrova::testing::TempFolder;

struct Lookup {
  const char* section;
  const char* key;  // nullptr: ask whether the section exists
};

struct Case {
  const char* why;
  std::string content;
  std::vector<Lookup> lookups;
  // The system's documentation leaves these to it; a difference is shown, and the
  // configuration files never depend on it.
  bool undocumented = false;
};

std::string Answer(const auto& reader, const Lookup& lookup) {
  if (!lookup.key) return reader.SectionExists(lookup.section) ? "<exists>" : "<absent>";
  return reader.ReadString(lookup.section, lookup.key, "<default>");
}

TEST(ProfileFunctionsTest, OurReaderAnswersAsTheSystemDoes) {
  const std::string long_value(3000, 'v');
  const Case cases[] = {
      {"letter case", "[Sec]\r\nKey=v\r\n", {{"sec", "key"}, {"SEC", "KEY"}, {"Sec", "Key"}, {"sec", nullptr}}},
      {"blanks around names and values", "  [ a b ]  \r\n  k  =  v w  \r\n\tt\t=\tx\t\r\n",
       {{"a b", "k"}, {" a b ", " k "}, {"a b", "t"}, {"a b", nullptr}}},
      {"a key asked for with a trailing blank", "[application]\r\nprocess_priority=3\r\n",
       {{"application", "process_priority "}}},
      {"quotes", "[a]\r\nd=\"x y\"\r\ns='y'\r\nm=\"z'\r\np=\" spaced \"\r\ne=\"\"\r\ni=a\"b\"\r\no=\"\r\n",
       {{"a", "d"}, {"a", "s"}, {"a", "m"}, {"a", "p"}, {"a", "e"}, {"a", "i"}, {"a", "o"}}},
      {"a header without its bracket", "[a]\nk=1\n[b\nj=2\n", {{"a", "j"}, {"b", "j"}, {"b", nullptr}}},
      {"text after the bracket", "[a] tail\nk=1\n", {{"a", "k"}}},
      {"lines without =", "[a]\nflag\nk=1\n[w]\nwords only\n",
       {{"a", "flag"}, {"a", "k"}, {"w", nullptr}, {"w", "words only"}}},
      {"a header without keys", "[a]\n[b]\nk=1\n", {{"a", nullptr}, {"b", nullptr}, {"a", "k"}}},
      {"a byte order mark", "\xEF\xBB\xBF[a]\r\nk=1\r\nu=\xC3\xA9t\xC3\xA9\r\n", {{"a", "k"}, {"a", "u"}}},
      {"a byte order mark inside", "[a]\n\xEF\xBB\xBFk=1\nj=2\n", {{"a", "k"}, {"a", "j"}}},
      {"long values", "[a]\nl=" + long_value + "\nm=" + std::string(2047, 'm') + "\nn=" + std::string(2048, 'n') + "\n",
       {{"a", "l"}, {"a", "m"}, {"a", "n"}}},
      {"duplicate keys", "[a]\nk=1\nK=2\n", {{"a", "k"}}},
      {"duplicate sections", "[a]\nk=1\n[b]\nx=1\n[A]\nk=2\nj=3\n", {{"a", "k"}, {"a", "j"}, {"b", "x"}}},
      {"empty values", "[a]\nk=\nj= \t\n", {{"a", "k"}, {"a", "j"}, {"a", nullptr}}},
      {"comments", "[a]\n;k=1\n; note\nj=2\n[c]\n;only=1\n", {{"a", "k"}, {"a", "j"}, {"c", nullptr}}},
      {"the first = splits", "[a]\nk=x=y\n", {{"a", "k"}}},
      {"keys before any section", "k=1\n[a]\nj=2\n", {{"a", "k"}}},
      {"an empty key name", "[a]\n=v\n", {{"a", ""}, {"a", nullptr}}, true},
      {"the unnamed section before the first header", "k=1\n[a]\nj=2\n", {{"", "k"}}, true},
      {"carriage returns alone", "[a]\rk=1\r[b]\nj=2\r\n", {{"a", "k"}, {"b", "j"}}, true},
  };
  TempFolder folder;
  int number = 0;
  for (const Case& c : cases) {
    const auto path = folder.Write("case" + std::to_string(number++) + ".ini", c.content);
    const IniFile system(path.string());
    const ProfileText ours(c.content);
    for (const Lookup& lookup : c.lookups) {
      const std::string our_answer = Answer(ours, lookup);
      const std::string system_answer = Answer(system, lookup);
      const std::string what =
          std::string(c.why) + ": [" + lookup.section + "] " + (lookup.key ? lookup.key : "(section)");
      if (!c.undocumented) {
        EXPECT_EQ(our_answer, system_answer) << what;
      } else if (our_answer != system_answer) {
        std::cout << "differs, " << what << ": ours " << our_answer << ", the system's " << system_answer << "\n";
      }
    }
  }
}

}  // namespace
}  // namespace kestrova
