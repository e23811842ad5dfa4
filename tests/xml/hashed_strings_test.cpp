#include "xml/hashed_strings.h"

#include <gtest/gtest.h>

#include <string>

#include "xml/xml_reader.h"

using namespace xml;

TEST(HashedStrings, ConsecutiveIdsAndLookup) {
  THashedStrings table;
  EXPECT_EQ(table.AddString(u"Parcel"), 0);
  EXPECT_EQ(table.AddString(u"Ordinate"), 1);
  EXPECT_EQ(table.AddString(u"Parcel"), 0);
  EXPECT_EQ(table.AddString(u""), 2);
  EXPECT_EQ(table.IndexOfString(u"Ordinate"), 1);
  EXPECT_EQ(table.IndexOfString(u"ordinate"), -1);  // case-sensitive
  EXPECT_EQ(table.Count(), 3);
  EXPECT_EQ(table.GetString(1), u"Ordinate");
  for (int id : {-1, 3}) {
    try {
      table.GetString(id);
      FAIL() << id;
    } catch (const EListError& e) {
      EXPECT_STREQ(e.what(), "List index out of range.");
    }
  }
}

TEST(HashedStrings, HashOverTheUtf16Bytes) {
  EXPECT_EQ(THashedStrings::Hash(u""), 0u);
  // "A" is the bytes 41 00: ((0 rol 2) ^ 0x41) rol 2 ^ 0 = 0x104.
  EXPECT_EQ(THashedStrings::Hash(u"A"), 0x104u);
  // "Ж" is 16 04: (0x16 rol 2) ^ 4 = 0x5C.
  EXPECT_EQ(THashedStrings::Hash(u"Ж"), 0x5Cu);
  // The rotation wraps: bits that leave at the top come back at the bottom.
  uint32_t h = 0;
  const std::u16string text(40, u'\xFFFF');
  for (int i = 0; i < 80; ++i) h = ((h << 2) | (h >> 30)) ^ 0xFF;
  EXPECT_EQ(THashedStrings::Hash(text), h);
}

TEST(HashedStrings, GrowsAtTwoThirdsThroughThePrimes) {
  THashedStrings table;
  EXPECT_EQ(table.BucketCount(), 53u);
  for (int i = 0; i < 35; ++i) table.AddString(u"n" + std::u16string(1, char16_t(u'A' + i)));
  EXPECT_EQ(table.BucketCount(), 53u);  // 35 = 53 * 2 / 3 fit
  table.AddString(u"one more");
  EXPECT_EQ(table.BucketCount(), 97u);
  for (int i = 0; i < 100; ++i) table.AddString(u"x" + std::u16string(1, char16_t(0x400 + i)));
  EXPECT_EQ(table.BucketCount(), 389u);  // 136 strings: past 64 and 128
  for (int i = 0; i < 35; ++i) EXPECT_EQ(table.IndexOfString(u"n" + std::u16string(1, char16_t(u'A' + i))), i);
  EXPECT_EQ(table.IndexOfString(u"one more"), 35);
}

TEST(HashedStrings, ClearKeepsOrFreesStorage) {
  THashedStrings table;
  for (int i = 0; i < 200; ++i) table.AddString(std::u16string(u"name") + char16_t(u'a' + i % 26) + char16_t(i));
  const size_t buckets = table.BucketCount();
  table.Clear();
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.BucketCount(), buckets);
  EXPECT_EQ(table.IndexOfString(u"namea"), -1);
  EXPECT_EQ(table.AddString(u"again"), 0);
  EXPECT_EQ(table.GetString(0), u"again");
  table.Clear(true);
  EXPECT_EQ(table.BucketCount(), 53u);
  EXPECT_EQ(table.AddString(u"fresh"), 0);
}

TEST(HashedStrings, CaseInsensitiveMode) {
  THashedStrings table(true);
  EXPECT_EQ(table.AddString(u"Кадастр"), 0);
  EXPECT_EQ(table.AddString(u"КАДАСТР"), 0);
  EXPECT_EQ(table.IndexOfString(u"кадастр"), 0);
  EXPECT_EQ(table.GetString(0), u"Кадастр");
}

TEST(HashedStringDictionary, AddReplacesAndFinds) {
  THashedStringDictionary dictionary;
  dictionary.Add(u"a", u"1");
  dictionary.Add(u"b", u"2");
  dictionary.Add(u"a", u"3");
  EXPECT_EQ(dictionary.Count(), 2);
  ASSERT_TRUE(dictionary.Find(u"a"));
  EXPECT_EQ(*dictionary.Find(u"a"), u"3");
  EXPECT_EQ(dictionary.Find(u"c"), nullptr);

  TXMLReaderEntityList entities;
  EXPECT_EQ(entities.Count(), 5);
  EXPECT_EQ(*entities.Find(u"quot"), u"\"");
  EXPECT_EQ(*entities.Find(u"amp"), u"&");
  EXPECT_EQ(*entities.Find(u"apos"), u"'");
  EXPECT_EQ(*entities.Find(u"lt"), u"<");
  EXPECT_EQ(*entities.Find(u"gt"), u">");
  EXPECT_EQ(entities.Find(u"AMP"), nullptr);
  entities.Add(u"x", u"y");
  // Settings copy as a whole, entity list included.
  TXMLReaderSettings settings;
  settings.EntityList = entities;
  settings.StrictXML = false;
  TXMLReaderSettings copy = settings;
  EXPECT_FALSE(copy.StrictXML);
  EXPECT_EQ(*copy.EntityList.Find(u"x"), u"y");
  EXPECT_EQ(copy.BreakReading, TXMLBreakReading::AfterDocumentElement);
  EXPECT_EQ(copy.LineBreak, TXMLLineBreak::CRLF);
  EXPECT_TRUE(copy.RecognizeXMLDeclaration && copy.ExpandEntities);
  EXPECT_EQ(copy.ErrorHandling, TErrorHandling::RaiseAndCatch);
}
