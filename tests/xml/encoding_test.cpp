#include "xml/encoding.h"

#include <gtest/gtest.h>

#include "common/stream.h"
#include "platform/text_conversion.h"
#include "xml_test_util.h"

using namespace xml;
using namespace xml_test;

TEST(Encoding, ClassesAndSlots) {
  TMBCSEncoding cp1251(1251);
  std::u16string text;
  EXPECT_TRUE(cp1251.DecodeBytes("\xCA\xE0\xE4", text));
  EXPECT_EQ(text, u"Кад");
  std::string bytes;
  cp1251.EncodeText(u"Кад", bytes);
  EXPECT_EQ(bytes, "\xCA\xE0\xE4");
  EXPECT_TRUE(cp1251.DecodeBytes("", text));
  EXPECT_TRUE(text.empty());
  EXPECT_TRUE(cp1251.IsSingleByte());
  EXPECT_TRUE(TMBCSEncoding(932).IsSingleByte());  // by class, whatever the code page
  EXPECT_EQ(cp1251.ByteOrderMark(), "");

  // A code page the converter does not know: decoding fails.
  TMBCSEncoding unknown(12345);
  EXPECT_FALSE(unknown.DecodeBytes("abc", text));

  EXPECT_FALSE(EncodingUTF8()->IsSingleByte());
  EXPECT_FALSE(EncodingUTF7()->IsSingleByte());
  EXPECT_FALSE(EncodingUTF16LE()->IsSingleByte());
  EXPECT_EQ(EncodingUTF8()->ByteOrderMark(), "\xEF\xBB\xBF");
  EXPECT_EQ(EncodingUTF16LE()->ByteOrderMark(), "\xFF\xFE");
  EXPECT_EQ(EncodingUTF16BE()->ByteOrderMark(), "\xFE\xFF");
  EXPECT_EQ(EncodingUTF7()->ByteOrderMark(), "");

  EXPECT_TRUE(EncodingUTF16LE()->DecodeBytes(std::string("A\0\x16\x04Z", 5), text));  // the odd last byte is dropped
  EXPECT_EQ(text, u"AЖ");
  EXPECT_TRUE(EncodingUTF16BE()->DecodeBytes(std::string("\0A\x04\x16", 4), text));
  EXPECT_EQ(text, u"AЖ");
  EncodingUTF16BE()->EncodeText(u"AЖ", bytes);
  EXPECT_EQ(bytes, std::string("\0A\x04\x16", 4));
  EncodingUTF16LE()->EncodeText(u"AЖ", bytes);
  EXPECT_EQ(bytes, std::string("A\0\x16\x04", 4));
  EXPECT_FALSE(EncodingUTF16LE()->DecodeBytes("x", text));  // one byte, no unit
  EXPECT_TRUE(EncodingUTF7()->DecodeBytes("Hi +BBYEMA-", text));
  EXPECT_EQ(text, u"Hi Жа");

  // Clones are new objects of the same class and code page.
  for (TEncoding* shared : {EncodingUTF8(), EncodingUTF16LE(), EncodingUTF16BE(), EncodingUTF7()}) {
    TEncodingPtr clone = shared->CloneEncoding();
    EXPECT_NE(clone.get(), shared);
    EXPECT_FALSE(IsSharedEncoding(clone.get()));
    const TEncoding& cloned = *clone;
    EXPECT_EQ(typeid(cloned), typeid(*shared));
    EXPECT_EQ(clone->CodePage(), shared->CodePage());
  }
  EXPECT_EQ(cp1251.CloneEncoding()->CodePage(), 1251u);
}

TEST(Encoding, SharedObjects) {
  EXPECT_EQ(EncodingUTF8(), EncodingUTF8());
  for (TEncoding* e :
       {EncodingAnsi(), EncodingAscii(), EncodingUTF16LE(), EncodingUTF16BE(), EncodingUTF7(), EncodingUTF8()})
    EXPECT_TRUE(IsSharedEncoding(e));
  EXPECT_FALSE(IsSharedEncoding(nullptr));
  EXPECT_EQ(EncodingAscii()->CodePage(), 20127u);
  EXPECT_EQ(EncodingAnsi()->CodePage(), platform::AnsiCodePage());

  EXPECT_EQ(EncodingFromCodePage(0).get(), EncodingAnsi());
  EXPECT_EQ(EncodingFromCodePage(1200).get(), EncodingUTF16LE());
  EXPECT_EQ(EncodingFromCodePage(1201).get(), EncodingUTF16BE());
  EXPECT_EQ(EncodingFromCodePage(65000).get(), EncodingUTF7());
  EXPECT_EQ(EncodingFromCodePage(65001).get(), EncodingUTF8());
  TEncodingPtr ascii = EncodingFromCodePage(20127);  // a new object, not the shared one
  EXPECT_NE(ascii.get(), EncodingAscii());
  EXPECT_FALSE(IsSharedEncoding(ascii.get()));
  EXPECT_EQ(ascii->CodePage(), 20127u);
}

TEST(Encoding, AliasTable) {
  EXPECT_EQ(CodePageFromAlias(std::u16string_view(u"UTF-8")), 65001u);
  EXPECT_EQ(CodePageFromAlias(std::u16string_view(u"Windows-1251")), 1251u);
  EXPECT_EQ(CodePageFromAlias(std::u16string_view(u"utf8")), 0u);
  EXPECT_EQ(CodePageFromAlias(std::string_view("KOI8-R")), 20866u);
  EXPECT_EQ(AliasFromCodePage(1251), "windows-1251");
  EXPECT_EQ(AliasFromCodePage(1234), "");
  TEncodingPtr e;
  EXPECT_FALSE(EncodingFromAlias(u"latin-9", e));
  EXPECT_EQ(e, nullptr);
  ASSERT_TRUE(EncodingFromAlias(u"utf-16be", e));
  EXPECT_EQ(e.get(), EncodingUTF16BE());
  ASSERT_TRUE(EncodingFromAlias(u"US-ASCII", e));
  EXPECT_EQ(e->CodePage(), 20127u);
  EXPECT_NE(e.get(), EncodingAscii());
}

// Every name of the table decodes a sample of its own through the reader.
TEST(Encoding, EveryAliasDecodesASample) {
  ASSERT_EQ(std::size(kEncodingInfos), 33u);
  for (const TEncodingInfo& info : kEncodingInfos) {
    SCOPED_TRACE(info.Alias);
    EXPECT_EQ(CodePageFromAlias(std::string_view(info.Alias)), info.CodePage);
    EXPECT_EQ(AliasFromCodePage(info.CodePage), info.Alias);
    TEncodingPtr encoding;
    ASSERT_TRUE(EncodingFromAlias(U16(info.Alias), encoding));
    // A sample the code page can hold: ASCII plus a letter of its own.
    std::u16string sample = u"Plan 66:41 ";
    std::u16string letter;
    switch (info.CodePage) {
      case 1251:
      case 28595:
      case 20866:
      case 21866:
      case 866:
        letter = u"Ж";
        break;
      case 1253:
      case 28597:
      case 737:
        letter = u"Ω";
        break;
      case 1255:
      case 28598:
        letter = u"א";
        break;
      case 1256:
      case 28596:
        letter = u"ب";
        break;
      case 874:
        letter = u"ก";
        break;
      case 932:
        letter = u"日本";
        break;
      case 20127:
        break;
      case 1250:
      case 28592:
      case 852:
        letter = u"ł";
        break;
      case 1257:
      case 28603:
      case 28594:
        letter = u"ė";
        break;
      case 1254:
      case 28599:
        letter = u"ş";
        break;
      case 28593:
        letter = u"ĝ";
        break;
      case 1258:
        letter = u"ơ";
        break;
      case 437:
      case 850:
        letter = u"é";
        break;
      default:
        letter = u"é";
    }
    sample += letter;
    std::string bytes;
    encoding->EncodeText(sample, bytes);
    // As text of an XML document declaring it (with a byte order mark for UTF-16).
    std::string document;
    if (info.CodePage == 1200 || info.CodePage == 1201) {
      std::string declaration;
      encoding->EncodeText(u"<?xml version=\"1.0\" encoding=\"" + U16(info.Alias) + u"\"?><a>", declaration);
      std::string tail;
      encoding->EncodeText(u"</a>", tail);
      document = encoding->ByteOrderMark() + declaration + bytes + tail;
    } else {
      document = "<?xml version=\"1.0\" encoding=\"" + std::string(info.Alias) + "\"?><a>" + bytes + "</a>";
    }
    common::TVirtualMemoryStream stream(document.data(), static_cast<int64_t>(document.size()));
    TXMLReader reader;
    const auto r = ReadAll(reader, stream);
    EXPECT_EQ(r.error, "");
    EXPECT_NE(r.tokens.find("T:" + U8(sample) + " | </a"), std::string::npos) << r.tokens;
    EXPECT_EQ(reader.TextReader().Encoding()->CodePage(), info.CodePage);
  }
}

TEST(Encoding, ByteOrderMarkDetection) {
  struct Case {
    std::string bytes;
    TEncoding* expected;
    int64_t position;
  };
  const Case cases[] = {
      {"", EncodingUTF16BE(), 0},           {"\xEF", EncodingUTF16BE(), 0},
      {"\xEF\xBB", EncodingUTF16BE(), 0},   {"\xEF\xBB\xBF", EncodingUTF8(), 3},
      {"\xEF\xBB\xBFx", EncodingUTF8(), 3}, {"\xFF\xFE", EncodingUTF16LE(), 2},
      {"\xFE\xFF<", EncodingUTF16BE(), 2},  {std::string("\xFF\xFE\0\0", 4), EncodingUTF16LE(), 2},
      {"<a/>", EncodingUTF16BE(), 0},
  };
  for (const Case& c : cases) {
    common::TVirtualMemoryStream stream(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
    int64_t position = 0;
    TEncodingPtr e = DetectByteOrderMark(stream, position, Shared(EncodingUTF16BE()));
    EXPECT_EQ(e.get(), c.expected) << c.bytes.size();
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(stream.Position(), c.position);
  }
  // Without a default the ANSI encoding; detection starts at the given position.
  const std::string bytes = "ab\xFF\xFExy";
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  int64_t position = 0;
  EXPECT_EQ(DetectByteOrderMark(stream, position, nullptr).get(), EncodingAnsi());
  position = 2;
  EXPECT_EQ(DetectByteOrderMark(stream, position, nullptr).get(), EncodingUTF16LE());
  EXPECT_EQ(position, 4);
  // An owned default is freed when a mark wins (the leak checker sees it).
  position = 2;
  EXPECT_EQ(DetectByteOrderMark(stream, position, EncodingFromCodePage(1251)).get(), EncodingUTF16LE());
}
