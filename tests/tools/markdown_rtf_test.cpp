// Markdown release notes as the updater's window reads them: through its own RTF reader.
#include "markdown_rtf.h"

#include <gtest/gtest.h>

#include "ui/rtf_reader.h"

namespace kestrova {
namespace {

TEST(MarkdownRtf, ReadsBackStyledInTheWindowsReader) {
  const struct {
    const char* markdown;
    const char* paragraph;  // the whole paragraph the reader yields
    const char* run;        // a part of it, and that part's style
    bool bold, italic;
    std::optional<int> half_points;
  } cases[] = {
      {"# MyApp 1.1\n", "MyApp 1.1", "MyApp 1.1", true, false, 32},
      {"Title\n-----\n", "Title", "Title", true, false, 28},
      {"#### Deep\n", "Deep", "Deep", true, false, 24},
      {"# Head\nbody after it\n", "body after it", "body after it", false, false, std::nullopt},
      {"Some **new** things\n", "Some new things", "new", true, false, std::nullopt},
      {"an *odd* one\n", "an odd one", "odd", false, true, std::nullopt},
      {"***both***, then plain\n", "both, then plain", ", then plain", false, false, std::nullopt},
      {"- first\n- second\n", "\u2022\tsecond", "second", false, false, std::nullopt},
      {"3. third\n4. fourth\n", "4.\tfourth", "fourth", false, false, std::nullopt},
      {"- outer\n  - inner\n", "  \u2022\tinner", "inner", false, false, std::nullopt},
      {"see [the site](http://example.com/x)\n", "see the site", "the site", false, false, std::nullopt},
      {"`*as is*` {x} \\\\ end\n", "*as is* {x} \\ end", "*as is*", false, false, std::nullopt},
      {"```\nif (a) {\n  b();\n}\n```\n", "  b();", "b();", false, false, std::nullopt},
      {"Gr\u00fc\u00dfe \u2014 \U0001F600\n", "Gr\u00fc\u00dfe \u2014 \U0001F600", "\u00fc", false, false, std::nullopt},
      {"<b>raw</b> html\n", "raw html", "raw html", false, false, std::nullopt},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto rtf = MarkdownToRtf(c.markdown, error);
    ASSERT_TRUE(rtf) << error;
    const auto document = ui::ReadRtf(*rtf);
    ASSERT_TRUE(document) << *rtf;
    const ui::StyledRun* found = nullptr;
    for (const auto& paragraph : document->paragraphs) {
      if (paragraph.PlainText() != c.paragraph) continue;
      for (const auto& run : paragraph.runs) {
        if (run.text.find(c.run) != std::string::npos) found = &run;
      }
    }
    ASSERT_NE(found, nullptr) << c.markdown << " gave\n" << document->PlainText();
    EXPECT_EQ(found->style.bold, c.bold) << c.markdown;
    EXPECT_EQ(found->style.italic, c.italic) << c.markdown;
    EXPECT_EQ(found->style.half_points, c.half_points) << c.markdown;
  }
}

}  // namespace
}  // namespace kestrova
