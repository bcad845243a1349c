#include "base/text.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(TextTest, ConvertsBetweenUtf8AndUtf16WithoutLoss) {
  const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";  // café € 😀
  const std::u16string utf16 = u"caf\u00E9 \u20AC \U0001F600";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
}

TEST(TextTest, TakesInvalidUtf8AsWindows1252) {
  EXPECT_EQ(Utf8ToUtf16("\xE9t\xE9 \x80"), u"\u00E9t\u00E9 \u20AC");
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\u00C3") << "a truncated sequence";
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\u00ED\u00A0\u20AC") << "an encoded surrogate";
  EXPECT_EQ(Utf16ToUtf8(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF")) << "overlong";
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")) << "surrogate";
  EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));
}

TEST(TextTest, ComparesAndTrims) {
  EXPECT_TRUE(EqualsIgnoreCase("Kestrova", "kESTROVA"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abd"));
  EXPECT_FALSE(EqualsIgnoreCase("\xC3\xA9", "\xC3\x89")) << "only ASCII folds";
  EXPECT_EQ(TrimBlanks(" \t x y \r\n"), "x y");
}

}  // namespace
}  // namespace kestrova
