#include "ui/rtf_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace kestrova::ui {
namespace {

std::string ReadSample(const std::string& name) {
  std::ifstream in(std::string(KESTROVA_TEST_DATA) + "/rtf/" + name, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

StyledDocument Read(std::string_view rtf) {
  std::optional<StyledDocument> doc = ReadRtf(rtf);
  EXPECT_TRUE(doc.has_value());
  return doc.value_or(StyledDocument{});
}

// The run that holds `text`, or null.
const StyledRun* RunWith(const StyledDocument& doc, std::string_view text) {
  for (const StyledParagraph& p : doc.paragraphs) {
    for (const StyledRun& run : p.runs) {
      if (run.text.find(text) != std::string::npos) return &run;
    }
  }
  return nullptr;
}

TEST(RtfReader, WordPadDocumentKeepsTextAndFormatting) {
  const std::string sample = ReadSample("wordpad.rtf");
  ASSERT_FALSE(sample.empty());
  const StyledDocument doc = Read(sample);
  ASSERT_EQ(doc.paragraphs.size(), 6u) << doc.PlainText();
  EXPECT_EQ(doc.paragraphs[0].PlainText(), "Release 2.1");
  EXPECT_EQ(doc.paragraphs[0].alignment, TAlignment::Center);
  EXPECT_TRUE(doc.paragraphs[0].runs[0].style.bold);
  EXPECT_EQ(doc.paragraphs[0].runs[0].style.half_points, 28);
  EXPECT_EQ(doc.paragraphs[1].PlainText(), "This release brings faster downloads and a new look.");
  EXPECT_EQ(doc.paragraphs[1].alignment, TAlignment::LeftJustify);
  EXPECT_EQ(doc.paragraphs[2].PlainText(), "\u00B7\tFixed: the proxy password was ignored.");
  EXPECT_EQ(doc.paragraphs[3].PlainText(), "\u00B7\tCaf\u00E9 prices are shown in \u20AC.");
  EXPECT_EQ(doc.paragraphs[4].PlainText(), "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(doc.paragraphs[5].PlainText(), "Green on red");

  const StyledRun* italic = RunWith(doc, "faster downloads");
  ASSERT_TRUE(italic);
  EXPECT_TRUE(italic->style.italic);
  EXPECT_FALSE(italic->style.bold);
  const StyledRun* red_bold = RunWith(doc, "new");
  ASSERT_TRUE(red_bold);
  EXPECT_EQ(red_bold->text, "new");
  EXPECT_TRUE(red_bold->style.bold);
  EXPECT_EQ(red_bold->style.color, TColor::Rgb(255, 0, 0));
  EXPECT_FALSE(RunWith(doc, " look.")->style.color.has_value());
  EXPECT_TRUE(RunWith(doc, "ignored")->style.underline);
  EXPECT_EQ(doc.paragraphs[2].runs.back().text, ".");
  EXPECT_FALSE(doc.paragraphs[2].runs.back().style.underline);
  EXPECT_EQ(RunWith(doc, "Program Files")->style.color, TColor::Rgb(0, 77, 187));
  EXPECT_EQ(RunWith(doc, "Program Files")->style.half_points, 20);
  EXPECT_EQ(RunWith(doc, "Green on red")->style.color, TColor::Rgb(0, 176, 80));
  EXPECT_EQ(RunWith(doc, "Green on red")->style.background, TColor::Rgb(255, 0, 0));
}

TEST(RtfReader, LibreOfficeDocumentSkipsTablesAndFallbacks) {
  const std::string sample = ReadSample("libreoffice.rtf");
  ASSERT_FALSE(sample.empty());
  const StyledDocument doc = Read(sample);
  const std::string text = doc.PlainText();
  // Nothing of the font table, style sheet, info, generator or page styles shows.
  for (const char* hidden : {"Liberation", "Normal", "Heading", "Release notes", "LibreOffice", "Default Page Style",
                             "HYPERLINK", "Strong"}) {
    EXPECT_EQ(text.find(hidden), std::string::npos) << hidden;
  }
  ASSERT_EQ(doc.paragraphs.size(), 4u) << text;
  EXPECT_EQ(doc.paragraphs[0].PlainText(), "What\u2019s new in 3.0");
  EXPECT_TRUE(doc.paragraphs[0].runs[0].style.bold);
  EXPECT_EQ(doc.paragraphs[1].PlainText(),
            "The updater now resumes interrupted downloads.\u2028Please restart after the update.");
  EXPECT_TRUE(RunWith(doc, "interrupted")->style.bold);
  EXPECT_FALSE(RunWith(doc, "The updater")->style.bold);
  const StyledRun* restart = RunWith(doc, "Please restart");
  ASSERT_TRUE(restart);
  EXPECT_TRUE(restart->style.italic);
  EXPECT_EQ(restart->style.color, TColor::Rgb(201, 33, 30));
  EXPECT_EQ(doc.paragraphs[2].PlainText(),
            "Gr\u00FC\u00DFe aus M\u00FCnchen \u2014 \U0001F600\t100\u00A0%");
  EXPECT_EQ(doc.paragraphs[2].alignment, TAlignment::RightJustify);
  EXPECT_EQ(RunWith(doc, "Gr\u00FC")->style.color, TColor::Rgb(42, 96, 153));
  EXPECT_TRUE(RunWith(doc, "Gr\u00FC")->style.underline);
  EXPECT_EQ(doc.paragraphs[3].PlainText(), "Full notes");  // a field shows its result only
}

TEST(RtfReader, ControlSymbolsAndCharacters) {
  const StyledDocument doc = Read(
      "{\\rtf1\\ansi a\\{b\\}c\\\\d\\~e\\-f\\_g\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote"
      "\\'41\\'e4\\'9f\\'4}");
  EXPECT_EQ(doc.PlainText(),
            "a{b}c\\d\u00A0ef\u2011g\u2014\u2013\u2022\u2018\u2019\u201C\u201DA\u00E4\u0178");
}

TEST(RtfReader, UnicodeFallbackCountFollowsUc) {
  // \uc2: two fallback characters follow each \u; \uc0: none. A group end stops the
  // skipping, and a control word counts as one fallback character.
  EXPECT_EQ(Read("{\\rtf1\\uc2\\u8364\\'80\\'80x}").PlainText(), "\u20ACx");
  EXPECT_EQ(Read("{\\rtf1\\uc0\\u8364 x}").PlainText(), "\u20ACx");
  EXPECT_EQ(Read("{\\rtf1\\uc3{\\u8364 a}bc}").PlainText(), "\u20ACbc");
  EXPECT_EQ(Read("{\\rtf1\\u8364\\bullet x}").PlainText(), "\u20ACx");
  EXPECT_EQ(Read("{\\rtf1{\\uc5}\\u8364?x}").PlainText(), "\u20ACx") << "\\uc is scoped to its group";
  EXPECT_EQ(Read("{\\rtf1\\u-10179?\\u-8704?}").PlainText(), "\U0001F600");
  EXPECT_EQ(Read("{\\rtf1\\u-10179?x}").PlainText(), "\uFFFDx") << "an unpaired surrogate";
}

TEST(RtfReader, StyleScopesEndWithGroupsAndPlainResets) {
  const StyledDocument doc = Read("{\\rtf1 {\\b bold {\\i both}} \\b\\i\\ul x\\plain y\\b0 z}");
  EXPECT_EQ(doc.PlainText(), "bold both xyz");
  EXPECT_TRUE(RunWith(doc, "bold")->style.bold);
  EXPECT_FALSE(RunWith(doc, "bold")->style.italic);
  EXPECT_TRUE(RunWith(doc, "both")->style.italic);
  EXPECT_TRUE(RunWith(doc, "x")->style.underline);
  EXPECT_EQ(RunWith(doc, "yz")->style, TextStyle{});
}

TEST(RtfReader, BinaryDataAndIgnorableDestinationsAreSkipped) {
  EXPECT_EQ(Read("{\\rtf1 a{\\*\\unknown secret {nested}}b{\\pict\\bin4 }}{x}c}").PlainText(), "abc");
  EXPECT_EQ(Read("{\\rtf1 a\\bin3 \\}}b}").PlainText(), "ab");
}

TEST(RtfReader, NonRtfIsLeftToPlainText) {
  EXPECT_FALSE(ReadRtf("Version 2.1\nPlain notes").has_value());
  EXPECT_FALSE(ReadRtf(" {\\rtf1 x}").has_value());
  EXPECT_FALSE(ReadRtf("").has_value());
  EXPECT_FALSE(IsRtf("{\\rt"));
  EXPECT_TRUE(IsRtf("{\\rtf"));
}

TEST(RtfReader, MalformedInputEndsQuicklyWithWhatCouldBeRead) {
  const std::string deep = "{\\rtf1 a" + std::string(200000, '{') + "x" + std::string(200000, '}') + "b}";
  const std::string many_groups = [] {
    std::string s = "{\\rtf1 ";
    for (int i = 0; i < 100000; ++i) s += "{\\b x}";
    return s + "}";
  }();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{\\rtf1 {\\b unclosed", "unclosed"},
      {"{\\rtf1 text}}}}} after", "text"},
      {"{\\rtf1 a\\", "a"},
      {"{\\rtf1 a\\'", "a"},
      {"{\\rtf1 a\\'4", "a"},
      {"{\\rtf1 a\\u", "a"},
      {"{\\rtf1\\fs99999999999999999999999 big}", "big"},
      {"{\\rtf1\\u99999999999999 z}", "\uFFFD"},
      {"{\\rtf1\\uc2147483647\\u65 abc} ", "A"},
      {"{\\rtf1\\bin99999999999 x}", ""},
      {"{\\rtf1\\bin-5 x}", "x"},
      {"{\\rtf1{\\colortbl;\\red999\\green-1\\blue;}\\cf1 c\\cf-7 d\\cf99999 e}", "cde"},
      {"{\\rtf1\\" + std::string(100000, 'a') + " x}", "x"},
      {"{\\rtf1 a" + std::string(1000, '\0') + "b}", "ab"},
      {deep, "ab"},
  };
  const auto start = std::chrono::steady_clock::now();
  for (const auto& [input, text] : cases) {
    std::optional<StyledDocument> doc = ReadRtf(input);
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(doc->PlainText(), text) << input.substr(0, 60);
  }
  EXPECT_EQ(Read(many_groups).PlainText().size(), 100000u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(RtfReader, ColourTableReadsAutoAndExplicitEntries) {
  const StyledDocument doc = Read(
      "{\\rtf1{\\colortbl;\\red10\\green20\\blue30;;\\red1\\green2\\blue3;}"
      "\\cf1 a\\cf2 b\\cf3 c\\cf0 d\\cf4 e}");
  EXPECT_EQ(RunWith(doc, "a")->style.color, TColor::Rgb(10, 20, 30));
  EXPECT_FALSE(RunWith(doc, "b")->style.color.has_value()) << "an empty entry is the automatic colour";
  EXPECT_EQ(RunWith(doc, "c")->style.color, TColor::Rgb(1, 2, 3));
  EXPECT_FALSE(RunWith(doc, "d")->style.color.has_value());
}

}  // namespace
}  // namespace kestrova::ui
