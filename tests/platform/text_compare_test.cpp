#include "platform/text_compare.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(SameText, IgnoresCaseInEveryScript) {
  EXPECT_TRUE(SameText(".ZIP", ".zip"));
  EXPECT_TRUE(SameText(".Xml", ".xML"));
  EXPECT_FALSE(SameText(".zip", ".zi"));
  EXPECT_FALSE(SameText(".zip.bak", ".zip"));
  EXPECT_TRUE(SameText("{НОМЕР РЕГИОНА}", "{номер региона}"));
  EXPECT_TRUE(SameText(u"Ёлка", u"ёЛКА"));
  EXPECT_FALSE(SameText(u"Ёлка", u"Елка"));
  EXPECT_TRUE(SameText("Straße", "STRASSE"));  // full case folding
  EXPECT_TRUE(SameText("", ""));
}

TEST(UpperCase, SimpleMappingKeepsLength) {
  EXPECT_EQ(UpperCase(std::u16string_view(u"{Номер района} ё")), u"{НОМЕР РАЙОНА} Ё");
  EXPECT_EQ(UpperCase(std::string_view("abc xyz")), "ABC XYZ");
  EXPECT_EQ(UpperCase(std::string_view("straße")), "STRAßE");  // ß has no simple upper case
  const std::u16string pair = u"\xD801\xDC28";                 // Deseret small letter
  EXPECT_EQ(UpperCase(std::u16string_view(pair)), std::u16string(u"\xD801\xDC00"));
  const std::u16string lone = u"a\xD800";
  EXPECT_EQ(UpperCase(std::u16string_view(lone)), std::u16string(u"A\xD800"));
}

TEST(LowerCase, SimpleMappingKeepsLength) {
  EXPECT_EQ(LowerCase(std::u16string_view(u"{НОМЕР Района} Ё ABC")), u"{номер района} ё abc");
  const std::u16string pair = u"\xD801\xDC00";
  EXPECT_EQ(LowerCase(std::u16string_view(pair)), std::u16string(u"\xD801\xDC28"));
  EXPECT_EQ(LowerCase(std::u16string_view(u"\u0130")).size(), 1u);  // İ lowers within one unit
}
