#include "platform/text_conversion.h"

#include <gtest/gtest.h>

#include <random>

using namespace platform;

TEST(Utf, RoundTripsAllPlanes) {
  const std::string text = "ASCII, Кириллица, 中文, 😀 and \xF4\x8F\xBF\xBF";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide.substr(0, 7), u"ASCII, ");
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf8ToUtf16("😀"), std::u16string(u"\xD83D\xDE00"));
}

TEST(Utf, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a\xD800"
                                       "b")),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD83D))), "\xEF\xBF\xBD");
}

TEST(Utf, InvalidUtf8IsReplacedNotFatal) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\xFFFD"
            "b");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\xFFFD\xFFFD");            // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\xFFFD\xFFFD\xFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\xFFFD");                  // cut sequence
  EXPECT_EQ(Utf8ToUtf16("\xF8\x88\x80\x80\x80"), u"\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD");
  EXPECT_TRUE(IsValidUtf8("Кадастр \xEF\xBF\xBD"));
  EXPECT_FALSE(IsValidUtf8("\xD0"));
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes(rng() % 40, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    const std::u16string wide = Utf8ToUtf16(bytes);
    EXPECT_LE(wide.size(), bytes.size());
    (void)Utf16ToUtf8(wide);
  }
}

TEST(CodePages, SystemCodePages) {
#ifndef _WIN32
  EXPECT_EQ(AnsiCodePage(), 1251u);
  EXPECT_EQ(OemCodePage(), 866u);
#endif
}

TEST(CodePages, CyrillicRoundTrips) {
  const std::string text = "Кадастровый план территории, ЁЖЩ ёжщ";
  for (uint32_t cp : {1251u, 866u, 20866u, 21866u, 28595u}) {
    SCOPED_TRACE(cp);
    const std::string bytes = Utf8ToCodePage(cp, text);
    EXPECT_EQ(bytes.size(), std::u16string(Utf8ToUtf16(text)).size());
    EXPECT_EQ(CodePageToUtf8(cp, bytes), text);
  }
  EXPECT_EQ(Utf8ToCodePage(1251, "Ая"), "\xC0\xFF");
  EXPECT_EQ(Utf8ToCodePage(866, "Ая"), "\x80\xEF");
  EXPECT_EQ(Utf8ToCodePage(20866, "Ая"), "\xE1\xD1");
}

TEST(CodePages, EveryCodePageOfTheAliasTableConverts) {
  struct Sample {
    uint32_t cp;
    const char* bytes;
    const char* utf8;
  };
  const Sample samples[] = {
      {65001, "\xD0\x96", "Ж"}, {1200, "\x16\x04", "Ж"}, {1201, "\x04\x16", "Ж"}, {1250, "\x8A", "Š"},
      {1251, "\xC6", "Ж"},      {1252, "\x80", "€"},     {1253, "\xC1", "Α"},     {1254, "\xD0", "Ğ"},
      {1255, "\xE0", "א"},      {1256, "\xC7", "ا"},     {1257, "\xC0", "Ą"},     {1258, "\xC3", "Ă"},
      {28591, "\xE9", "é"},     {28592, "\xA3", "Ł"},    {28593, "\xA6", "Ĥ"},    {28594, "\xA2", "ĸ"},
      {28595, "\xB6", "Ж"},     {28596, "\xC7", "ا"},    {28597, "\xC1", "Α"},    {28598, "\xE0", "א"},
      {28599, "\xD0", "Ğ"},     {28603, "\xC0", "Ą"},    {28605, "\xA4", "€"},    {20866, "\xF6", "Ж"},
      {21866, "\xA4", "є"},     {437, "\x81", "ü"},      {850, "\x81", "ü"},      {852, "\x9D", "Ł"},
      {866, "\x86", "Ж"},       {874, "\xA1", "ก"},      {932, "\x82\xA0", "あ"}, {20127, "A", "A"},
      {65000, "+BBY-", "Ж"},
  };
  ASSERT_EQ(std::size(samples), 33u);
  for (const auto& s : samples) {
    SCOPED_TRACE(s.cp);
    EXPECT_TRUE(IsCodePageSupported(s.cp));
    std::u16string wide;
    ASSERT_TRUE(CodePageToUtf16(s.cp, s.bytes, wide));
    EXPECT_EQ(Utf16ToUtf8(wide), s.utf8);
    std::string back;
    ASSERT_TRUE(Utf16ToCodePage(s.cp, wide, back));
    if (s.cp != 65000) {
      EXPECT_EQ(back, s.bytes);
    }
  }
}

TEST(CodePages, UnknownCodePageIsReportedNotGuessed) {
  std::u16string wide = u"old";
  EXPECT_FALSE(IsCodePageSupported(12345));
  EXPECT_FALSE(CodePageToUtf16(12345, "abc", wide));
  EXPECT_TRUE(wide.empty());
  std::string bytes;
  EXPECT_FALSE(Utf16ToCodePage(12345, u"abc", bytes));
  EXPECT_THROW(CodePageToUtf8(12345, "abc"), ECodePageUnsupported);
  EXPECT_THROW(TCodePageDecoder(12345), ECodePageUnsupported);
}

TEST(CodePages, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCodePage(1251, "a中b"), "a?b");
  std::u16string wide;
  ASSERT_TRUE(CodePageToUtf16(932, "\x82", wide));  // a lead byte alone
  EXPECT_FALSE(wide.empty());
}

TEST(CodePageDecoder, CompletesSequencesCutBetweenPieces) {
  TCodePageDecoder sjis(932);
  std::u16string out;
  sjis.Decode("a\x82", out, false);
  sjis.Decode(
      "\xA0"
      "b",
      out, true);
  EXPECT_EQ(out, u"aあb");
  TCodePageDecoder utf8(65001);
  out.clear();
  utf8.Decode("\xD0", out, false);
  utf8.Decode("\x96", out, true);
  EXPECT_EQ(out, u"Ж");
  TCodePageDecoder utf7(65000);
  out.clear();
  utf7.Decode("a+BB", out, false);
  utf7.Decode("Y-b", out, true);
  EXPECT_EQ(out, u"aЖb");
  TCodePageDecoder utf16be(1201);
  out.clear();
  utf16be.Decode("\x04", out, false);
  utf16be.Decode("\x16", out, true);
  EXPECT_EQ(out, u"Ж");
}

// Where the converters of the two systems differ (the README's Windows section
// lists it), they still agree on this: no byte is dropped, no byte is read
// without its eighth bit, and a character is one character.
TEST(CodePages, WhatEveryConverterKeeps) {
  std::u16string wide;
  // 0xD2 is undefined in windows-1253: U+FFFD here, a private-use character there.
  ASSERT_TRUE(CodePageToUtf16(1253,
                              "a\xD2"
                              "b",
                              wide));
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_NE(wide[1], u'\xD2');
  ASSERT_TRUE(CodePageToUtf16(20127, "A\xC1", wide));
  EXPECT_EQ(wide, u"A\xFFFD");
  EXPECT_EQ(Utf8ToCodePage(20127, "Ж"), "?");
  for (uint32_t cp : {1251u, 866u, 932u, 20127u}) {
    SCOPED_TRACE(cp);
    EXPECT_EQ(Utf8ToCodePage(cp, "a😀b"), "a?b");
  }
  // A UTF-7 run that ends inside a character.
  ASSERT_TRUE(CodePageToUtf16(65000, "+BB!", wide));
  EXPECT_EQ(wide, u"\xFFFD!");
  ASSERT_TRUE(CodePageToUtf16(65000, "1 +- 1", wide));
  EXPECT_EQ(wide, u"1 + 1");
}

TEST(CodePages, RandomBytesNeverCrash) {
  std::mt19937 rng(11);
  for (uint32_t cp : {932u, 65000u, 1251u, 866u, 1201u}) {
    for (int i = 0; i < 300; ++i) {
      std::string bytes(rng() % 64, '\0');
      for (char& c : bytes) c = static_cast<char>(rng());
      std::u16string wide;
      EXPECT_TRUE(CodePageToUtf16(cp, bytes, wide));
    }
  }
}

// The block decoder takes its fast paths at every alignment: an odd sequence is
// moved through the positions of a sixteen-byte step and must decode the same.
TEST(Utf, DecoderAgreesAtEveryAlignment) {
  const std::string samples[] = {"\xD0\x9A", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xFF", "\xE2\x82", "\xC0\xAF"};
  const std::u16string expected[] = {u"\u041A", u"\u20AC", u"\xD83D\xDE00", u"\xFFFD", u"\xFFFD", u"\xFFFD\xFFFD"};
  for (size_t s = 0; s < std::size(samples); ++s) {
    for (size_t prefix = 0; prefix < 40; ++prefix) {
      for (size_t suffix : {0, 1, 17}) {
        const std::string bytes = std::string(prefix, 'a') + samples[s] + std::string(suffix, 'z');
        std::u16string out(bytes.size(), u'\0');
        out.resize(DecodeUtf8ToUtf16(bytes.data(), bytes.size(), out.data()));
        EXPECT_EQ(out, std::u16string(prefix, u'a') + expected[s] + std::u16string(suffix, u'z'))
            << "sample " << s << " prefix " << prefix << " suffix " << suffix;
      }
    }
  }
  const std::string cyrillic = "Кадастровый квартал 66:41:0101001, участок № 12";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(cyrillic)), cyrillic);
}
