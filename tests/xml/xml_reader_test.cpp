#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "support/document_builder.h"
#include "xml_test_util.h"

using namespace xml;
using namespace xml_test;

namespace {

void NoBreak(TXMLReaderSettings& s) { s.BreakReading = TXMLBreakReading::None; }
void LenientNoBreak(TXMLReaderSettings& s) {
  Lenient(s);
  NoBreak(s);
}

}  // namespace

TEST(XMLReader, TokensOfASmallDocument) {
  const auto r = ReadAll(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<?xml-stylesheet type=\"text/xsl\" href=\"/xsl/a.xsl\"?>\r\n"
      "<!-- x --><root a='1' b = \"two\"><e/><f>text</f><![CDATA[<raw>]]></root>");
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.tokens,
            "<?xml | ?version=1.0 | ?encoding=utf-8 | ?>xml | T:\\r\\n | "
            "PI:xml-stylesheet=type=\"text/xsl\" href=\"/xsl/a.xsl\" | T:\\r\\n | !-- x  | "
            "<root | a=1 | b=two | >root | <e | />e | <f | >f | T:text | </f | CDATA:<raw> | </root");
}

TEST(XMLReader, LineBreaksUnderEachSetting) {
  const std::string text = "<a>1\r\n2\r3\n4</a>";
  EXPECT_EQ(ReadAll(text).tokens, "<a | >a | T:1\\r\\n2\\r\\n3\\r\\n4 | </a");
  EXPECT_EQ(ReadAll(text, [](auto& s) { s.LineBreak = TXMLLineBreak::LF; }).tokens, "<a | >a | T:1\\n2\\n3\\n4 | </a");
  EXPECT_EQ(ReadAll(text, [](auto& s) { s.LineBreak = TXMLLineBreak::CR; }).tokens, "<a | >a | T:1\\r2\\r3\\r4 | </a");
  EXPECT_EQ(ReadAll(text, [](auto& s) { s.LineBreak = TXMLLineBreak::AsIs; }).tokens,
            "<a | >a | T:1\\r\\n2\\r3\\n4 | </a");
  // Attribute values are normalised the same way; a CR at the very end too.
  EXPECT_EQ(ReadAll("<a v=\"x\r\ny\ry\nz\"/>", [](auto& s) { s.LineBreak = TXMLLineBreak::LF; }).tokens,
            "<a | v=x\\ny\\ny\\nz | />a");
  EXPECT_EQ(ReadAll("<a/>\r", NoBreak).tokens, "<a | />a | T:\\r\\n");
}

TEST(XMLReader, References) {
  EXPECT_EQ(ReadAll("<a>&lt;&#65;&#x42;</a>").tokens, "<a | >a | T:<AB | </a");
  EXPECT_EQ(ReadAll("<a b=\"&quot;&amp;&apos;&gt;&#x416;\"/>").tokens, "<a | b=\"&'>Ж | />a");
  // Above U+FFFF the character itself, as its surrogate pair.
  EXPECT_EQ(ReadAll("<a>&#x1F600;&#128512;</a>").tokens, "<a | >a | T:😀😀 | </a");

  auto r = ReadAll("<a>&#X42;</a>");
  EXPECT_EQ(r.error, "\"&#X\" is not a valid entity.");
  r = ReadAll("<a>x&unknown;y</a>");
  EXPECT_EQ(r.error, "\"&unknown;\" is not a valid entity.");
  EXPECT_EQ(ReadAll("<a>&#;</a>").error, "\"&#;\" is not a valid entity.");
  EXPECT_EQ(ReadAll("<a>&#0;</a>").error, "\"&#0;\" is not a valid entity.");
  EXPECT_EQ(ReadAll("<a>&#x110000;</a>").error, "\"&#x110000;\" is not a valid entity.");
  EXPECT_EQ(ReadAll("<a>& b</a>").error, "\"& \" is not a valid entity.");
  EXPECT_EQ(ReadAll("<a b='&amp c'/>").error, "\"&amp \" is not a valid entity.");

  // Lenient: the raw text stays, once.
  EXPECT_EQ(ReadAll("<a>x&unknown;y&#X42;z & w&amp</a>", Lenient).tokens,
            "<a | >a | T:x&unknown;y&#X42;z & w&amp | </a");
  EXPECT_EQ(ReadAll("<a>&#0;</a>", Lenient).tokens, std::string("<a | >a | T:") + '\0' + " | </a");
}

TEST(XMLReader, EntityReferenceTokensWithoutExpansion) {
  auto off = [](TXMLReaderSettings& s) { s.ExpandEntities = false; };
  EXPECT_EQ(ReadAll("<r>a&amp;b</r>", off).tokens, "<r | >r | T:a | &amp=& | T:b | </r");
  EXPECT_EQ(ReadAll("<r>&#65;&#x42;</r>", off).tokens, "<r | >r | &#65=A | &#x42=B | </r");
  // Attribute values are expanded whatever the setting.
  EXPECT_EQ(ReadAll("<r a=\"&lt;\"/>", off).tokens, "<r | a=< | />r");
  EXPECT_EQ(ReadAll("<r>&nope;</r>", off).error, "\"&nope;\" is not a valid entity.");
  EXPECT_EQ(ReadAll("<r>&nope;&bad x</r>",
                    [](auto& s) {
                      s.ExpandEntities = false;
                      s.StrictXML = false;
                    })
                .tokens,
            "<r | >r | T:&nope; | T:&bad | T: x | </r");
}

TEST(XMLReader, WrongEndTag) {
  auto r = ReadAll("<a><b></a>");
  EXPECT_EQ(r.error, "Trying to close wrong element. Close=\"a\", open element=\"b\".");
  EXPECT_EQ(r.tokens, "<a | >a | <b | >b");
  EXPECT_TRUE(dynamic_cast<const TXMLParseErrorInvalidStructure*>(r.parse_error.get()));

  r = ReadAll("<a><b><c></a>after", LenientNoBreak);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.tokens, "<a | >a | <b | >b | <c | >c | </c | </b | </a | T:after");
  // An end tag of an element that is not open closes just the top one.
  EXPECT_EQ(ReadAll("<a><b></x></a>", Lenient).tokens, "<a | >a | <b | >b | </b | </a");
  EXPECT_EQ(ReadAll("</a>").error, "Too many elements closed.");
  EXPECT_EQ(ReadAll("</a><b/>", Lenient).tokens, "</a | <b | />b");
}

TEST(XMLReader, BreakReadingAfterTheDocumentElement) {
  EXPECT_EQ(ReadAll("<a/><b/>").tokens, "<a | />a");
  EXPECT_EQ(ReadAll("<a></a><!-- after -->").tokens, "<a | >a | </a");
  EXPECT_EQ(ReadAll("<a/><b/>", LenientNoBreak).tokens, "<a | />a | <b | />b");

  // Cleared by the caller: reading goes on, and stops again when the next
  // element opened from there closes with no element left open. (Lenient: in
  // strict mode a second document element is an error.)
  TXMLReader reader;
  reader.Settings().BreakReading = TXMLBreakReading::None;
  reader.Settings().StrictXML = false;
  const std::string text = "<a/><b><x/></b><c/>";
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  reader.InitStream(stream);
  const TXMLReaderToken* token;
  ASSERT_TRUE(reader.ReadNextToken(token));
  ASSERT_TRUE(reader.ReadNextToken(token));
  EXPECT_EQ(token->TokenType, TXMLReaderTokenType::FinishOpenElementClose);
  reader.Settings().BreakReading = TXMLBreakReading::AfterDocumentElement;
  EXPECT_FALSE(reader.ReadNextToken(token));
  reader.ClearElementOpened();
  std::string seen;
  while (reader.ReadNextToken(token)) seen += Describe(*token) + " ";
  EXPECT_EQ(seen, "<b >b <x />x </b ");
  EXPECT_FALSE(reader.ParseError());
}

TEST(XMLReader, UnclosedAndUnterminatedConstructs) {
  auto r = ReadAll("<a><b>text");
  EXPECT_EQ(r.error, "There are unclosed elements in the document end.");
  EXPECT_EQ(r.tokens, "<a | >a | <b | >b | T:text");
  EXPECT_EQ(ReadAll("<a><b>text", Lenient).error, "");
  EXPECT_EQ(ReadAll("<a x='1'   ").error, "There are unclosed elements in the document end.");

  EXPECT_EQ(ReadAll("<!-- open").error, "There is an unclosed comment in the document end.");
  EXPECT_EQ(ReadAll("<a><![CDATA[ open").error, "There is an unclosed CDATA section in the document end.");
  EXPECT_EQ(ReadAll("<?pi open").error, "There is an unclosed processing instruction in the document end.");
  EXPECT_EQ(ReadAll("<!DOCTYPE a [ <!ENTITY x 'y'>").error, "There is an unclosed DOCTYPE in the document end.");
  EXPECT_EQ(ReadAll("<!DOCTYPE a").error, "There is an unclosed DOCTYPE in the document end.");
  for (const char* text : {"<!-- open", "<![CDATA[ open", "<?pi open", "<!DOCTYPE a [ <!ENTITY x 'y'>"}) {
    r = ReadAll(text, Lenient);
    EXPECT_EQ(r.error, "") << text;
    EXPECT_EQ(r.tokens, "") << text;
  }
}

TEST(XMLReader, CommentsCDataAndDocType) {
  EXPECT_EQ(ReadAll("<!--x--><a/>").tokens, "!--x | <a | />a");
  EXPECT_EQ(ReadAll("<!----><a/>").tokens, "!-- | <a | />a");
  EXPECT_EQ(ReadAll("<a><![cdata[ ]] ]> ]]></a>").tokens, "<a | >a | CDATA: ]] ]>  | </a");
  EXPECT_EQ(ReadAll("<!doctype a SYSTEM \"a.dtd\"><a/>").tokens, "DOCTYPE:a SYSTEM \"a.dtd\" | <a | />a");

  EXPECT_EQ(ReadAll("<!-x-><a/>").error, "The character \"<\" cannot occur in text.");
  EXPECT_EQ(ReadAll("<!DOCTYPEa><a/>").error, "The character \"<\" cannot occur in text.");
  EXPECT_EQ(ReadAll("<!x><a/>").error, "The character \"<\" cannot occur in text.");
  EXPECT_EQ(ReadAll("<!-x-><a/>", Lenient).tokens, "T:<!-x-> | <a | />a");
  EXPECT_EQ(ReadAll("<![CDAT<a/>", Lenient).tokens, "T:<![CDAT | <a | />a");
  EXPECT_EQ(ReadAll("<!x<a/>", Lenient).tokens, "T:<!x | <a | />a");
  EXPECT_EQ(ReadAll("<!--\x01-->").error, "The character \"0001\" cannot occur in text.");
}

TEST(XMLReader, DocTypeEntities) {
  const auto r = ReadAll(
      "<!DOCTYPE r [\r\n <!ENTITY who \"W&amp;&#x41;\">\r\n <!ENTITY % p 'param'>\r\n"
      " <!ENTITY q 'it''s'> <!ENTITY who2 \"&who;!\">]>\r\n<r>&who;|&who2;|&q;</r>");
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.tokens,
            "DOCTYPE:r [\\r\\n <!ENTITY who \"W&amp;&#x41;\">\\r\\n <!ENTITY % p 'param'>\\r\\n"
            " <!ENTITY q 'it''s'> <!ENTITY who2 \"&who;!\">] | T:\\r\\n | <r | >r | T:W&A|W&A!|it | </r");
  EXPECT_EQ(ReadAll("<!DOCTYPE r [<!ENTITY % p 'x'>]><r>&p;</r>").error, "\"&p;\" is not a valid entity.");

  // The entities stay with the settings for the next document.
  TXMLReader reader;
  const std::string first = "<!DOCTYPE r [<!ENTITY e 'E'><!ENTITY amp 'AMP'>]><r/>", second = "<r>&e;&amp;</r>";
  common::TVirtualMemoryStream s1(first.data(), static_cast<int64_t>(first.size()));
  common::TVirtualMemoryStream s2(second.data(), static_cast<int64_t>(second.size()));
  ReadAll(reader, s1);
  EXPECT_EQ(ReadAll(reader, s2).tokens, "<r | >r | T:EAMP | </r");
  reader.Settings().EntityList.Reset();
  EXPECT_EQ(reader.Settings().EntityList.Count(), 5);

  EXPECT_EQ(ReadAll("<!DOCTYPE r [<!ENTITY 1x 'v'>]><r/>").error,
            "The character \"1\" cannot occur in element header.");
  EXPECT_EQ(ReadAll("<!DOCTYPE r [<!ENTITY x SYSTEM 'v'>]><r/>").error,
            "\"x\" entity value must be enclosed in quotes.");
  EXPECT_EQ(ReadAll("<!DOCTYPE r [<!ENTITY x '&bad;'>]><r/>").error, "\"&bad;\" is not a valid entity.");
  EXPECT_EQ(ReadAll("<!DOCTYPE r [<!ENTITY x '&bad;'>]><r>&x;</r>", Lenient).tokens,
            "DOCTYPE:r [<!ENTITY x '&bad;'>] | <r | >r | T:&bad; | </r");
}

TEST(XMLReader, NestedEntitiesCannotBlowTheTextUp) {
  // Each entity ten times the one before: 10^9 characters at the last.
  std::string text = "<!DOCTYPE r [<!ENTITY a0 'laugh'>";
  for (int i = 1; i < 10; ++i) {
    text += "<!ENTITY a" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) text += "&a" + std::to_string(i - 1) + ";";
    text += "'>";
  }
  text += "]><r>&a9;</r>";
  auto r = ReadAll(text);
  // a0 to a6 take 5.6 million characters; the third a6 in a7 goes beyond 2^24.
  EXPECT_EQ(r.error, "Too many characters from entity references at \"&a6;\".");
  EXPECT_TRUE(dynamic_cast<const TXMLParseErrorInvalidStructure*>(r.parse_error.get()));
  // Lenient: what goes beyond stays as written; the text stays within the budget.
  r = ReadAll(text, Lenient);
  EXPECT_EQ(r.error, "");
  EXPECT_LT(r.tokens.size(), size_t{1} << 26);
  EXPECT_EQ(r.tokens.substr(r.tokens.size() - 3), "</r");

  // A declared entity used often stays within the budget of its document.
  std::string many = "<!DOCTYPE r [<!ENTITY e '0123456789'>]><r>";
  for (int i = 0; i < 10000; ++i) many += "&e;";
  many += "</r>";
  r = ReadAll(many);
  EXPECT_EQ(r.error, "");
}

TEST(XMLReader, CommentsAndInstructionsInTheInternalSubset) {
  // Quotes, "]" and declarations inside them are their text, nothing more.
  for (auto configure : {+[](TXMLReaderSettings&) {}, +[](TXMLReaderSettings& s) { s.StrictXML = false; }}) {
    auto r = ReadAll("<!DOCTYPE a [<!-- it's -->]><a/>", configure);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.tokens, "DOCTYPE:a [<!-- it's -->] | <a | />a");
    r = ReadAll("<!DOCTYPE a [<?pi it's \"]\" ]?><!ENTITY e 'E'>]><a>&e;</a>", configure);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.tokens, "DOCTYPE:a [<?pi it's \"]\" ]?><!ENTITY e 'E'>] | <a | >a | T:E | </a");
    r = ReadAll("<!DOCTYPE a [<!-- ' --><!ENTITY e 'E'><!---->]><a>&e;</a>", configure);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.tokens, "DOCTYPE:a [<!-- ' --><!ENTITY e 'E'><!---->] | <a | >a | T:E | </a");
  }
  // An entity declared in a comment is no entity.
  const std::string commented = "<!DOCTYPE a [<!-- <!ENTITY x 'y'> -->]><a>&x;</a>";
  EXPECT_EQ(ReadAll(commented).error, "\"&x;\" is not a valid entity.");
  EXPECT_EQ(ReadAll(commented, Lenient).tokens, "DOCTYPE:a [<!-- <!ENTITY x 'y'> -->] | <a | >a | T:&x; | </a");
  // A comment that does not end leaves the DOCTYPE open; "--" in one is an error.
  EXPECT_EQ(ReadAll("<!DOCTYPE a [<!-- ]><a/>").error, "There is an unclosed DOCTYPE in the document end.");
  EXPECT_EQ(ReadAll("<!DOCTYPE a [<!-- a -- b -->]><a/>").error, "The string \"--\" cannot occur in comment.");
  EXPECT_EQ(ReadAll("<!DOCTYPE a [<!-- a -- b -->]><a/>", Lenient).error, "");
}

TEST(XMLReader, AnEightBitTextDeclaringUtf16EndsWithoutElements) {
  // Read as UTF-16, the bytes hold no declaration (and "юя" in windows-1251,
  // the bytes FE FF, become the non-character U+FFFE in the first text).
  for (const char* text : {"<?xml version=\"1.0\" encoding=\"utf-16\"?><a>\xFE\xFF</a>",
                           "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<a>x\xFE\xFF</a>",
                           "<?xml version='1.0' encoding='utf-16be'?><a/>"}) {
    for (auto configure : {+[](TXMLReaderSettings&) {}, +[](TXMLReaderSettings& s) { s.StrictXML = false; }}) {
      const auto r = ReadAll(text, configure);
      EXPECT_EQ(r.error, "") << text;
      EXPECT_EQ(r.tokens, "<?xml | ?version=1.0") << text;
    }
  }
}

TEST(XMLReader, StrictDocumentElement) {
  // None at all.
  for (const char* text : {"", "  \r\n", "<!-- c -->", "<?xml version='1.0'?>", "<?pi x?>\r\n"}) {
    const auto r = ReadAll(text);
    EXPECT_EQ(r.error, "There is no document element in the document.") << text;
    EXPECT_TRUE(dynamic_cast<const TXMLParseErrorInvalidStructure*>(r.parse_error.get())) << text;
    EXPECT_EQ(ReadAll(text, Lenient).error, "") << text;
  }
  // A second one, read on behind the first.
  auto r = ReadAll("<a/>\r\n<!-- c --><b x='1'/>", NoBreak);
  EXPECT_EQ(r.error, "There is a second document element \"b\" in the document.");
  EXPECT_EQ(r.tokens, "<a | />a | T:\\r\\n | !-- c ");
  EXPECT_TRUE(dynamic_cast<const TXMLParseErrorInvalidStructure*>(r.parse_error.get()));
  EXPECT_EQ(ReadAll("<a></a><a></a>", NoBreak).error, "There is a second document element \"a\" in the document.");
  EXPECT_EQ(ReadAll("<a/><b/>", LenientNoBreak).tokens, "<a | />a | <b | />b");
  // Comments, instructions and white space may stand around it.
  r = ReadAll("\r\n<!-- c -->\r\n<?pi x?>\t<a>\r\n</a>\r\n<!-- d --> \r\n", NoBreak);
  EXPECT_EQ(r.error, "");
}

TEST(XMLReader, StrictTextOutsideTheDocumentElement) {
  auto r = ReadAll("x<a/>");
  EXPECT_EQ(r.error, "The character \"x\" cannot occur outside the document element.");
  ASSERT_TRUE(r.parse_error);
  EXPECT_EQ(r.parse_error->LinePosition(), 1);
  r = ReadAll("<?xml version='1.0'?>\r\n  y<a/>");
  EXPECT_EQ(r.error, "The character \"y\" cannot occur outside the document element.");
  ASSERT_TRUE(r.parse_error);
  EXPECT_EQ(r.parse_error->Line(), 2);
  EXPECT_EQ(ReadAll("<a/>text", NoBreak).error, "The character \"t\" cannot occur outside the document element.");
  EXPECT_EQ(ReadAll("<a/>&amp;", NoBreak).error, "The character \"&\" cannot occur outside the document element.");
  EXPECT_EQ(ReadAll("&amp;<a/>", [](auto& s) { s.ExpandEntities = false; }).error,
            "The character \"&\" cannot occur outside the document element.");
  EXPECT_EQ(ReadAll("<![CDATA[x]]><a/>").error, "The string \"<![CDATA[\" cannot occur outside the document element.");
  EXPECT_EQ(ReadAll("\x01<a/>").error, "The character \"0x0001\" cannot occur in text.");
  {
    // A byte order mark read as a character under a forced encoding (an
    // object of its own, so the text is read again from the mark) is no text.
    const std::string bom = "\xEF\xBB\xBF<a/>";
    common::TVirtualMemoryStream stream(bom.data(), static_cast<int64_t>(bom.size()));
    TXMLReader reader;
    r = ReadAll(reader, stream, EncodingUTF8()->CloneEncoding());
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.tokens, "T:\xEF\xBB\xBF | <a | />a");
  }
  // Lenient reading keeps them as text.
  EXPECT_EQ(ReadAll("x<a/>y&amp;", LenientNoBreak).tokens, "T:x | <a | />a | T:y&");
}

TEST(XMLReader, StrictComments) {
  EXPECT_EQ(ReadAll("<!-- a -- b --><a/>").error, "The string \"--\" cannot occur in comment.");
  EXPECT_EQ(ReadAll("<a><!-- a ---></a>").error, "The string \"--\" cannot occur in comment.");
  EXPECT_EQ(ReadAll("<a><!-- a --\r\n></a>").error, "The string \"--\" cannot occur in comment.");
  EXPECT_EQ(ReadAll("<a><!------></a>").error, "The string \"--\" cannot occur in comment.");
  auto r = ReadAll("<a>\r\n<!-- first\r\n second -- third --></a>");
  EXPECT_EQ(r.error, "The string \"--\" cannot occur in comment.");
  ASSERT_TRUE(r.parse_error);
  EXPECT_EQ(r.parse_error->Line(), 3);
  EXPECT_EQ(r.parse_error->LinePosition(), 11);  // on the character after "--"
  EXPECT_EQ(ReadAll("<a><!----><!-- - --><!---x--></a>").tokens, "<a | >a | !-- | !-- -  | !---x | </a");
  EXPECT_EQ(ReadAll("<a><!-- a -- b ---></a>", Lenient).tokens, "<a | >a | !-- a -- b - | </a");
  // Across a block boundary.
  // Across a block boundary: the "--" on characters 16383 and 16384.
  const std::string filler(16375, 'f');
  EXPECT_EQ(ReadAll("<a><!--" + filler + " -- x --></a>").error, "The string \"--\" cannot occur in comment.");
  EXPECT_EQ(ReadAll("<a><!--" + filler + " - - x --></a>").error, "");
}

TEST(XMLReader, StrictAttributes) {
  auto r = ReadAll("<a x='1' y='2' x='3'/>");
  EXPECT_EQ(r.error, "The attribute \"x\" cannot occur twice in element header.");
  EXPECT_EQ(r.tokens, "<a | x=1 | y=2");
  EXPECT_EQ(ReadAll("<r><a x='1'\r\n x = \"2\"/></r>").error,
            "The attribute \"x\" cannot occur twice in element header.");
  EXPECT_EQ(ReadAll("<a x='1' y='2' x='3'/>", Lenient).tokens, "<a | x=1 | y=2 | x=3 | />a");
  // Names are compared as written; each tag has its own.
  EXPECT_EQ(ReadAll("<a x='1' X='2' p:x='3'><b x='4'/></a>").error, "");

  // Many attributes, the last one repeating the first.
  std::string many = "<a";
  for (int i = 0; i < 300; ++i) many += " n" + std::to_string(i) + "='" + std::to_string(i) + "'";
  EXPECT_EQ(ReadAll(many + "/>").error, "");
  EXPECT_EQ(ReadAll(many + " n0='again'/>").error, "The attribute \"n0\" cannot occur twice in element header.");

  r = ReadAll("<a x='1'y='2'/>");
  EXPECT_EQ(r.error, "White space must follow the attribute \"x\".");
  EXPECT_EQ(r.tokens, "<a | x=1");
  EXPECT_EQ(ReadAll("<r><a x=\"1\"y=\"2\"/></r>").error, "White space must follow the attribute \"x\".");
  EXPECT_EQ(ReadAll("<?xml version='1.0'encoding='utf-8'?><a/>").error,
            "White space must follow the attribute \"version\".");
  EXPECT_EQ(ReadAll("<a x='1'y='2'/>", Lenient).tokens, "<a | x=1 | y=2 | />a");
  // What follows a value without white space between is still named as before.
  EXPECT_EQ(ReadAll("<a x='1'/ >").error, "The character \"/\" cannot occur in element header.");
  EXPECT_EQ(ReadAll("<a x='1'=/>").error, "An attribute cannot start with the character \"=\".");
}

TEST(XMLReader, StrictXmlDeclaration) {
  for (const char* good : {"<?xml version='1.0'?>", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>",
                           "<?xml version='1.1' standalone='no'?>", "<?xml version='1.10' encoding='windows-1251' ?>",
                           "<?xml version = '1.0'\r\n encoding = 'x_1.y-z'?>"}) {
    const auto r = ReadAll(std::string(good) + "<a/>");
    EXPECT_EQ(r.error, "") << good;
  }
  const std::pair<const char*, const char*> bad[] = {
      {"<?xml?>", "The XML declaration must start with the attribute \"version\"."},
      {"<?xml encoding='utf-8'?>", "The XML declaration must start with the attribute \"version\"."},
      {"<?xml standalone='yes' version='1.0'?>", "The XML declaration must start with the attribute \"version\"."},
      {"<?xml version='1.0' standalone='yes' encoding='utf-8'?>",
       "The attribute \"encoding\" is out of order in XML declaration."},
      {"<?xml version='1.0' encoding='utf-8' encoding='utf-8'?>",
       "The attribute \"encoding\" cannot occur twice in element header."},
      {"<?xml version='1.0' foo='x'?>", "The attribute \"foo\" cannot occur in XML declaration."},
      {"<?xml version='1.0' Encoding='utf-8'?>", "The attribute \"Encoding\" cannot occur in XML declaration."},
      {"<?xml version='2.0'?>", "\"2.0\" is not a valid value of the attribute \"version\"."},
      {"<?xml version='1.'?>", "\"1.\" is not a valid value of the attribute \"version\"."},
      {"<?xml version='1.0a'?>", "\"1.0a\" is not a valid value of the attribute \"version\"."},
      {"<?xml version='1.0' encoding='8bit'?>", "\"8bit\" is not a valid value of the attribute \"encoding\"."},
      {"<?xml version='1.0' encoding='utf 8'?>", "\"utf 8\" is not a valid value of the attribute \"encoding\"."},
      {"<?xml version='1.0' encoding=''?>", "\"\" is not a valid value of the attribute \"encoding\"."},
      {"<?xml version='1.0' standalone='YES'?>", "\"YES\" is not a valid value of the attribute \"standalone\"."},
  };
  for (const auto& [declaration, error] : bad) {
    EXPECT_EQ(ReadAll(std::string(declaration) + "<a/>").error, error) << declaration;
    EXPECT_EQ(ReadAll(std::string(declaration) + "<a/>", Lenient).error, "") << declaration;
  }
  // Checked before the encoding switches.
  const auto r = ReadAll("<?xml encoding='windows-1251'?><a/>");
  EXPECT_EQ(r.tokens, "<?xml");
  EXPECT_EQ(r.error, "The XML declaration must start with the attribute \"version\".");
}

TEST(XMLReader, EveryBuilderDocumentIsWellFormed) {
  // The registry's documents in every shape the test builder writes them: read
  // to the end in strict mode without an error.
  using namespace testdocs;
  int documents = 0;
  for (TSchema schema : kAllSchemas) {
    for (int variant = 0; variant < 96; ++variant) {
      TBuildOptions options;
      options.layout = variant & 1 ? TLayout::SingleLine : TLayout::Indented;
      options.encoding = variant & 2 ? testdocs::TEncoding::Windows1251 : testdocs::TEncoding::Utf8;
      options.byte_order_mark = variant & 4;
      options.xml_declaration = !(variant & 8);
      options.stylesheet_placement = static_cast<TStylesheetPlacement>(variant / 16 % 3);
      options.number_split = static_cast<TNumberSplit>(variant / 16 / 3 % 2 ? 3 : variant / 4 % 3);
      options.certification_first = variant & 16;
      options.coord_systems_first = variant & 32;
      const std::string bytes = BuildDocument(SampleDocument(schema), options);
      TXMLReader reader;
      reader.Settings().BreakReading = TXMLBreakReading::None;
      common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
      const auto r = ReadAll(reader, stream);
      EXPECT_EQ(r.error, "") << SchemaName(schema) << " variant " << variant;
      ++documents;
    }
  }
  EXPECT_EQ(documents, static_cast<int>(kAllSchemas.size()) * 96);
}

TEST(XMLReader, ProcessingInstructions) {
  EXPECT_EQ(ReadAll("<?pi  data?><a/>").tokens, "PI:pi= data | <a | />a");
  EXPECT_EQ(ReadAll("<?pi?><a/>").tokens, "PI:pi= | <a | />a");
  EXPECT_EQ(ReadAll("<?pi a?b?"
                    "?><a/>")
                .tokens,
            "PI:pi=a?b? | <a | />a");
  EXPECT_EQ(ReadAll("<a/>", [](auto& s) { s.RecognizeXMLDeclaration = false; }).tokens, "<a | />a");
  EXPECT_EQ(ReadAll("<?xml version='1.0'?><a/>", [](auto& s) { s.RecognizeXMLDeclaration = false; }).tokens,
            "PI:xml=version='1.0' | <a | />a");
  // After the first element a target "xml" is an ordinary instruction.
  EXPECT_EQ(ReadAll("<a><?XML v?></a>").tokens, "<a | >a | PI:XML=v | </a");
  EXPECT_EQ(ReadAll("<?XmL version='1.0'?><a/>").tokens, "<?XmL | ?version=1.0 | ?>XmL | <a | />a");
  EXPECT_EQ(ReadAll("<?xml?><a/>", Lenient).tokens, "<?xml | ?>xml | <a | />a");

  EXPECT_EQ(ReadAll("<? pi?>").error, "The string \"<? \" cannot occur in text.");
  EXPECT_EQ(ReadAll("<?pi/x?>").error, "The string \"<?pi/\" cannot occur in text.");
  EXPECT_EQ(ReadAll("<?pi>x?><a/>", Lenient).tokens, "PI:pi=>x | <a | />a");
}

TEST(XMLReader, ElementHeaders) {
  EXPECT_EQ(ReadAll("<a\r\n\tb='1'\r\n/>").tokens, "<a | b=1 | />a");
  EXPECT_EQ(ReadAll("<a b='x\"y' c=\"x'y\"></a >").tokens, "<a | b=x\"y | c=x'y | >a | </a");
  EXPECT_EQ(ReadAll("<a:b xmlns:a='u' a:c='1'/>").tokens, "<a:b | xmlns:a=u | a:c=1 | />a:b");

  EXPECT_EQ(ReadAll("< a/>").error, "The character \"<\" cannot occur in text.");
  EXPECT_EQ(ReadAll("<a\"/>").error, "\"a\"\" is not a valid element name.");
  EXPECT_EQ(ReadAll("<a b/>").error, "Equal sign must follow the attribute \"b\".");
  EXPECT_EQ(ReadAll("<a b=1/>").error, "\"b\" attribute value must be enclosed in quotes.");
  EXPECT_EQ(ReadAll("<a 1='1'/>").error, "An attribute cannot start with the character \"1\".");
  EXPECT_EQ(ReadAll("<a ?/>").error, "An attribute cannot start with the character \"?\".");
  EXPECT_EQ(ReadAll("<a<b/>").error, "\"a<\" is not a valid element name.");
  EXPECT_EQ(ReadAll("<a <b/>").error, "The character \"<\" cannot occur in element header.");
  EXPECT_EQ(ReadAll("<a b='1' <c/>").error, "An attribute cannot start with the character \"<\".");
  EXPECT_EQ(ReadAll("<a b='1'<c/>").error, "The character \"<\" cannot occur in element header.");
  EXPECT_EQ(ReadAll("<a/ >").error, "The character \"/\" cannot occur in element header.");
  EXPECT_EQ(ReadAll("<a b='<'/>").error, "The character \"003C\" cannot occur in attribute.");
  EXPECT_EQ(ReadAll("<a b='\x02'/>").error, "The character \"0002\" cannot occur in attribute.");
  EXPECT_EQ(ReadAll("</ a>").error, "The string \"</ \" cannot occur in text.");
  EXPECT_EQ(ReadAll("<a></a b>").error, "The string \"</a\" cannot occur in text.");
  EXPECT_EQ(ReadAll("<?xml version='1.0'/ ?><a/>").error, "An attribute cannot start with the character \"/\".");
  EXPECT_EQ(ReadAll("<?xml version='1.0'? ><a/>").error, "The character \"?\" cannot occur in element header.");

  // Lenient headers.
  EXPECT_EQ(ReadAll("<a b c=d e = 'f' g=>x</a>", Lenient).tokens, "<a | b= | c=d | e=f | g= | >a | T:x | </a");
  EXPECT_EQ(ReadAll("<a b='1'<c/>", Lenient).tokens, "<a | b=1 | <c= | />a");
  EXPECT_EQ(ReadAll("<a/ >x</a>", LenientNoBreak).tokens, "<a | >a | T:x | </a");
  EXPECT_EQ(ReadAll("<1a>< b></1a>", Lenient).tokens, "<1a | >1a | T:< b> | </1a");
  EXPECT_EQ(ReadAll("<a><<b/></a>", Lenient).tokens, "<a | >a | T:< | <b | />b | </a");
  EXPECT_EQ(ReadAll("<a></ a></a>", Lenient).tokens, "<a | >a | T:</ a> | </a");
  EXPECT_EQ(ReadAll("<a></a junk>", Lenient).tokens, "<a | >a | </a");
}

TEST(XMLReader, TextErrors) {
  EXPECT_EQ(ReadAll("<a>]]></a>").error, "The character \">\" cannot occur in text.");
  EXPECT_EQ(ReadAll("<a>] ]></a>").tokens, "<a | >a | T:] ]> | </a");
  EXPECT_EQ(ReadAll("<a>]&#93;></a>").tokens, "<a | >a | T:]]> | </a");
  EXPECT_EQ(ReadAll("<a>x\x0By</a>").error, "The character \"0x000B\" cannot occur in text.");
  EXPECT_EQ(ReadAll("<a>]]>\x0B</a>", Lenient).tokens, "<a | >a | T:]]>\x0B | </a");
  std::string bad = "<a>x";
  bad += "\xEF\xBF\xBE";  // U+FFFE
  bad += "</a>";
  EXPECT_EQ(ReadAll(bad).error, "The character \"0xFFFE\" cannot occur in text.");
}

TEST(XMLReader, ElementPath) {
  TXMLReader reader;
  const std::string text = "<?xml version='1.0'?><a><b x='1'><c/></b></a>";
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  reader.InitStream(stream);
  common::TWideStringList path, expected;
  const TXMLReaderToken* token;
  ASSERT_TRUE(reader.ReadNextToken(token));  // the declaration is open while its attributes come
  reader.GetElementPath(path);
  ASSERT_EQ(path.Count(), 1);
  EXPECT_EQ(path[0], u"xml");
  while (reader.ReadNextToken(token) &&
         !(token->TokenType == TXMLReaderTokenType::OpenElement && token->TokenName == u"c")) {
  }
  reader.GetElementPath(path);
  expected.Add(u"a");
  expected.Add(u"b");
  expected.Add(u"c");
  EXPECT_EQ(path.Count(), 3);
  EXPECT_TRUE(reader.IsElementPath(expected));
  expected.Set(1, u"B");
  EXPECT_FALSE(reader.IsElementPath(expected));
  expected.Delete(2);
  EXPECT_FALSE(reader.IsElementPath(expected));
  ASSERT_TRUE(reader.ReadNextToken(token));
  EXPECT_EQ(token->TokenType, TXMLReaderTokenType::FinishOpenElementClose);
  EXPECT_EQ(reader.OpenElementCount(), 2);
}

TEST(XMLReader, EncodingFromTheDeclaration) {
  // windows-1251 without a byte order mark: decoded as 1251 from the first byte.
  std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<a t=\"";
  text += platform::Utf8ToCodePage(1251, "Кадастр");
  text += "\">" + platform::Utf8ToCodePage(1251, "План") + "</a>";
  {
    common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
    TXMLReader reader;
    const auto r = ReadAll(reader, stream);
    EXPECT_EQ(r.tokens,
              "<?xml | ?version=1.0 | ?encoding=windows-1251 | ?>xml | T:\\r\\n | <a | t=Кадастр | >a | T:План | </a");
    EXPECT_EQ(reader.TextReader().Encoding()->CodePage(), 1251u);
    EXPECT_EQ(reader.TextReader().Line(), 2);
  }
  {
    // The same through a stream that the reader has to wrap; the re-read comes
    // from the held window, not from the source.
    TPlainStream stream(text, 7);
    TXMLReader reader;
    EXPECT_EQ(ReadAll(reader, stream).tokens,
              "<?xml | ?version=1.0 | ?encoding=windows-1251 | ?>xml | T:\\r\\n | <a | t=Кадастр | >a | T:План | </a");
    EXPECT_EQ(stream.backward_seeks, 0);
  }
  // A forced encoding wins over the declaration; a byte order mark too.
  {
    common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
    TXMLReader reader;
    const auto r = ReadAll(reader, stream, Shared(EncodingUTF8()));
    EXPECT_NE(r.tokens.find("t=\xEF\xBF\xBD"), std::string::npos);
  }
  {
    const std::string bom = "\xEF\xBB\xBF" + text;
    common::TVirtualMemoryStream stream(bom.data(), static_cast<int64_t>(bom.size()));
    TXMLReader reader;
    ReadAll(reader, stream);
    EXPECT_EQ(reader.TextReader().Encoding(), EncodingUTF8());
  }
  // Names outside the table and the encoding in use change nothing.
  EXPECT_EQ(ReadAll("<?xml version='1.0' encoding='x-unknown'?><a/>").tokens,
            "<?xml | ?version=1.0 | ?encoding=x-unknown | ?>xml | <a | />a");
  EXPECT_EQ(ReadAll("<?xml version='1.0' encoding='UTF-8'?><a/>").tokens,
            "<?xml | ?version=1.0 | ?encoding=UTF-8 | ?>xml | <a | />a");
}

TEST(XMLReader, Utf16Documents) {
  const std::u16string text = u"\xFEFF<?xml version=\"1.0\" encoding=\"utf-16\"?><a>Ж</a>";
  std::string le, be;
  for (char16_t c : text) {
    le += static_cast<char>(c & 0xFF);
    le += static_cast<char>(c >> 8);
    be += static_cast<char>(c >> 8);
    be += static_cast<char>(c & 0xFF);
  }
  for (const std::string* bytes : {&le, &be}) {
    common::TVirtualMemoryStream stream(bytes->data(), static_cast<int64_t>(bytes->size()));
    TXMLReader reader;
    EXPECT_EQ(ReadAll(reader, stream).tokens, "<?xml | ?version=1.0 | ?encoding=utf-16 | ?>xml | <a | >a | T:Ж | </a");
  }
  // The text of a string forced as UTF-16LE (no byte order mark in it).
  const std::u16string plain = u"<a>Ж</a>";
  common::TVirtualMemoryStream stream(plain.data(), static_cast<int64_t>(plain.size() * 2));
  TXMLReader reader;
  EXPECT_EQ(ReadAll(reader, stream, Shared(EncodingUTF16LE())).tokens, "<a | >a | T:Ж | </a");
}

TEST(XMLReader, LongRunsAcrossBlocks) {
  // Names, values, text and comments longer than a decoded block.
  const std::string name(20000, 'n'), value(40000, 'v'), text(50000, 't');
  std::string doc = "<" + name + " a='" + value + "'>";
  for (int i = 0; i < 3000; ++i) doc += "Ж\r\n";
  doc += text + "<!--" + text + "--></" + name + ">";
  const auto r = ReadAll(doc);
  ASSERT_EQ(r.error, "");
  std::string lines;
  for (int i = 0; i < 3000; ++i) lines += "Ж\\r\\n";
  EXPECT_EQ(r.tokens,
            "<" + name + " | a=" + value + " | >" + name + " | T:" + lines + text + " | !--" + text + " | </" + name);
}

TEST(XMLReader, CyrillicLetterAcrossTheBlockBoundary) {
  // "<a>" and the letters put the two bytes of the last letter on both sides
  // of byte 16384.
  const std::string text = "<a>" + std::string(16380, 'x') + "ЖЖ</a>";
  ASSERT_EQ(static_cast<unsigned char>(text[16383]), 0xD0);
  const auto r = ReadAll(text);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.tokens, "<a | >a | T:" + std::string(16380, 'x') + "ЖЖ | </a");
}

TEST(XMLReader, ErrorPositionAndStub) {
  TXMLReader reader;
  const std::string text = "<a>\r\n  <b>\r\n    <c x=1/>\r\n  </b>\r\n</a>";
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  reader.InitStream(stream);
  reader.SetURL(u"plan.xml");
  const TXMLReaderToken* token;
  while (reader.ReadNextToken(token)) {
  }
  ASSERT_TRUE(reader.ParseError());
  const ITextParseError& e = *reader.ParseError();
  EXPECT_EQ(U8(e.Reason()), "\"x\" attribute value must be enclosed in quotes.");
  EXPECT_EQ(e.Line(), 3);
  EXPECT_EQ(e.LinePosition(), 10);  // just after the "1"
  EXPECT_EQ(U8(e.SourceStub()), "    <c x=1/>");
  EXPECT_EQ(e.SourceStubPosition(), 10);
  EXPECT_EQ(U8(e.URL()), "plan.xml");
  EXPECT_FALSE(reader.ReadNextToken(token));  // no token after an error

  // Raise mode lets the exception out.
  TXMLReader raising;
  raising.Settings().ErrorHandling = TErrorHandling::Raise;
  common::TVirtualMemoryStream again(text.data(), static_cast<int64_t>(text.size()));
  raising.InitStream(again);
  try {
    while (raising.ReadNextToken(token)) {
    }
    FAIL() << "no exception";
  } catch (const EXMLReaderInvalidCharacter& ex) {
    EXPECT_EQ(ex.ErrorCode(), 5);
    EXPECT_EQ(ex.Line(), 3);
  }
}

TEST(XMLReader, ReusedForAnotherStream) {
  TXMLReader reader;
  const std::string bad = "<a><b></a>", good = "<x>1</x>";
  common::TVirtualMemoryStream s1(bad.data(), static_cast<int64_t>(bad.size()));
  common::TVirtualMemoryStream s2(good.data(), static_cast<int64_t>(good.size()));
  EXPECT_NE(ReadAll(reader, s1).error, "");
  const auto r = ReadAll(reader, s2);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.tokens, "<x | >x | T:1 | </x");
}

TEST(XMLReader, TokensStayInPlaceAndBuffersAreReused) {
  // The returned record is the pooled one: the same addresses come back.
  TXMLReader reader;
  std::string text = "<r>";
  for (int i = 0; i < 100; ++i) text += "<e a='1'>x</e>";
  text += "</r>";
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  reader.InitStream(stream);
  std::set<const TXMLReaderToken*> records;
  const TXMLReaderToken* token;
  while (reader.ReadNextToken(token)) records.insert(token);
  EXPECT_LE(records.size(), 3u);
}

namespace xml {
// Switches the reader's block fast path, so that both readings can be compared.
struct TXMLReaderTesting {
  static void SetFastPath(TXMLReader& reader, bool on) { reader.fast_path_ = on; }
};
}  // namespace xml

namespace {

// Every token with the reader's position after it, and the error at the end.
std::string Trace(std::string_view text, bool fast, bool strict, TXMLLineBreak breaks, int block = 16384) {
  TXMLReader reader(block);
  TXMLReaderTesting::SetFastPath(reader, fast);
  reader.Settings().StrictXML = strict;
  reader.Settings().LineBreak = breaks;
  reader.Settings().BreakReading = TXMLBreakReading::None;
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  reader.InitStream(stream);
  std::string trace;
  const TXMLReaderToken* token;
  common::TWideStringList path;
  while (reader.ReadNextToken(token)) {
    const TTextReader& t = reader.TextReader();
    trace += Describe(*token) + " @" + std::to_string(t.Line()) + ":" + std::to_string(t.LinePosition()) + ":" +
             std::to_string(t.FilePosition()) + " #" + std::to_string(reader.OpenElementCount());
    reader.GetElementPath(path);
    for (int i = 0; i < path.Count(); ++i) trace += "/" + U8(path[i]);
    trace += "\n";
  }
  if (const auto& e = reader.ParseError()) trace += "error " + U8(e->Message()) + "\n";
  return trace;
}

}  // namespace

TEST(XMLReader, FastPathMatchesCharacterReading) {
  const char* const pieces[] = {"<a>",
                                "</a>",
                                "<b x='1' y=\"2\">",
                                "</b>",
                                "<c/>",
                                "<c />",
                                "<d\tz = 'v'/>",
                                "\r\n",
                                "\r\n    ",
                                "\n",
                                "\r",
                                "  ",
                                "text",
                                "Кадастр",
                                "&amp;",
                                "&#x41;",
                                "&bad;",
                                "]]>",
                                "]",
                                ">",
                                "<!-- c -->",
                                "<?pi x?>",
                                "<![CDATA[x]]>",
                                "<e a='&quot;' b=\"'\"/>",
                                "<f\r\n g='h'>",
                                "</f>",
                                "<",
                                "&",
                                "'",
                                "\"",
                                "=",
                                "\x01",
                                "<g h='x\r\ny'/>",
                                "</ a>",
                                "<h>\r\n\t</h>",
                                "<i j='1'k='2'/>",
                                "< />",
                                "</b >"};
  // Pieces that keep a strict reading going.
  const char* const valid[] = {"<c/>",
                               "<c />",
                               "<d\tz = 'v'/>",
                               "\r\n",
                               "\r\n    ",
                               "\n",
                               "\r",
                               "  ",
                               "text",
                               "Кадастр",
                               "&amp;",
                               "&#x41;",
                               "<!-- c -->",
                               "<?pi x?>",
                               "<![CDATA[x]]>",
                               "<e a='&quot;' b=\"'\"/>",
                               "<g h='x\r\ny'/>",
                               "<h>\r\n\t</h>",
                               "<b x='1' y=\"2\">text</b>",
                               "]",
                               ">",
                               "<f\r\n g='h'></f>",
                               "<n:m p:q='&lt;'/>"};
  std::mt19937 rng(11);
  for (int round = 0; round < 160; ++round) {
    std::string text = "<r>";
    // Long enough to cross a block boundary or two at varying places.
    const size_t length = round % 2 ? 200 + rng() % 400 : 16000 + rng() % 20000;
    const bool well_formed = round >= 40;
    while (text.size() < length)
      text += well_formed ? valid[rng() % std::size(valid)] : pieces[rng() % std::size(pieces)];
    if (well_formed) text += "</r>";
    for (bool strict : {true, false}) {
      for (TXMLLineBreak breaks : {TXMLLineBreak::CRLF, TXMLLineBreak::LF, TXMLLineBreak::AsIs}) {
        if (!strict && breaks == TXMLLineBreak::LF) continue;
        ASSERT_EQ(Trace(text, true, strict, breaks), Trace(text, false, strict, breaks))
            << "round " << round << " strict " << strict << " breaks " << int(breaks);
      }
    }
  }
}

TEST(XMLReader, NamesOutliveTheBlocksTheyWereReadFrom) {
  // Open elements' and attributes' names stay in the decoded block until it is
  // replaced; with blocks of a few characters that happens inside nearly every
  // tag, between the attributes of one tag and between a start and end tag.
  std::string text = "<root>";
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i);
    text += "<level" + n + " a" + n + "='" + n + "' b='x' c" + n + "='y'>";
    if (i % 7 == 3) text += "<leaf attribute='value'/>";
  }
  text += "<dup x='1' y='2' x='3'/>";
  for (int i = 39; i >= 0; --i) text += "</level" + std::to_string(i) + ">";
  text += "</root>";
  // (The error's source stub comes from the current block only, so it is
  // compared at the same block size.)
  const std::string whole_blocks = Trace(text, false, true, TXMLLineBreak::CRLF);
  const std::string tokens = whole_blocks.substr(0, whole_blocks.find("error "));
  ASSERT_NE(whole_blocks.find("cannot occur twice"), std::string::npos);
  for (int block : {16, 17, 19, 23, 31, 64}) {
    const std::string fast = Trace(text, true, true, TXMLLineBreak::CRLF, block);
    EXPECT_EQ(fast, Trace(text, false, true, TXMLLineBreak::CRLF, block)) << block;
    EXPECT_EQ(fast.substr(0, fast.find("error ")), tokens) << block;
  }
  const std::string closed = text.substr(0, text.find("<dup")) + text.substr(text.find("/>", text.find("<dup")) + 2);
  const std::string whole = Trace(closed, false, true, TXMLLineBreak::CRLF);
  EXPECT_EQ(whole.find("error"), std::string::npos);
  for (int block : {16, 21, 40}) EXPECT_EQ(Trace(closed, true, true, TXMLLineBreak::CRLF, block), whole) << block;
}

TEST(XMLReader, FastPathMatchesOnAWellFormedPlan) {
  // A well-formed document, where nearly every token takes the fast path.
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Plan>\r\n";
  for (int i = 0; i < 3000; ++i) {
    text += "  <Parcel Number=\"66:41:" + std::to_string(i) + "\" State='06'>\r\n";
    text += "    <Note>Свердловская обл., ул. Ленина &quot;" + std::to_string(i) + "&quot;</Note>\r\n";
    text += "    <Ordinate X=\"389201." + std::to_string(i % 100) + "\" Y=\"1523456.78\" OrdNmb=\"1\"/>\r\n";
    text += "  </Parcel>\r\n";
  }
  text += "</Plan>\r\n";
  EXPECT_EQ(Trace(text, true, true, TXMLLineBreak::CRLF), Trace(text, false, true, TXMLLineBreak::CRLF));
  EXPECT_EQ(Trace(text, true, true, TXMLLineBreak::LF), Trace(text, false, true, TXMLLineBreak::LF));
}
