#include "xml/xml_sequential_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "common/stream.h"
#include "xml_test_util.h"

using namespace xml;
using namespace xml_test;

namespace {

// A parser over its own copy of the text.
struct TParsed {
  explicit TParsed(std::string text)
      : bytes(std::move(text)), stream(bytes.data(), static_cast<int64_t>(bytes.size())) {
    parser.InitStream(stream);
  }
  std::string Header() {
    TXMLNode* element;
    bool open;
    if (!parser.ReadElementHeader(element, open)) return "false";
    std::string out = U8(element->NodeName());
    for (TXMLNode* a = element->FirstAttribute(); a; a = a->NextSibling)
      out += " " + U8(a->NodeName()) + "=" + U8(a->NodeValue());
    return out + (open ? " open" : " closed");
  }
  std::string Node() {
    TXMLNode* node;
    if (!parser.ReadCompleteNode(node)) return "false";
    return std::to_string(static_cast<int>(node->NodeType)) + ":" + U8(node->NodeName()) + ":" + U8(node->NodeValue()) +
           ":" + U8(node->GetText());
  }
  // Type, name, value, attributes, number of children.
  std::string Outline() {
    TXMLNode* node;
    if (!parser.ReadNodeOutline(node)) return "false";
    std::string out = std::to_string(static_cast<int>(node->NodeType)) + ":" + U8(node->NodeName()) + ":" +
                      U8(node->NodeValue()) + ":";
    if (node->NodeType == TXMLNodeType::Element)
      for (TXMLNode* a = node->FirstAttribute(); a; a = a->NextSibling)
        out += U8(a->NodeName()) + "=" + U8(a->NodeValue()) + " ";
    return out + std::to_string(node->ChildNodes().Count());
  }
  std::string Token() const {
    const TXMLReaderToken* t = parser.CurrentToken();
    return t ? Describe(*t) : "none";
  }
  std::string Error() const { return parser.ParseError() ? U8(parser.ParseError()->Reason()) : ""; }

  std::string bytes;
  common::TVirtualMemoryStream stream;
  TXMLSequentialParser parser;
};

const char kPlan[] =
    "<a>\r\n"
    "  <x n=\"1\"><y/></x>\r\n"
    "  <b k=\"v\" m=\"w\"><c>1</c><c>2</c></b>\r\n"
    "  <d/>\r\n"
    "</a>";

}  // namespace

TEST(XMLSequentialParser, SeekFindsTheStartTagWithoutBuilding) {
  TParsed p(kPlan);
  ASSERT_TRUE(p.parser.SeekElementPath(u"/a/b"));
  EXPECT_EQ(p.Token(), "<b");
  EXPECT_EQ(p.parser.Tree().NodeCount(), 1);  // the document node only
  EXPECT_EQ(p.Header(), "b k=v m=w open");
  EXPECT_EQ(p.Token(), ">b");
  EXPECT_EQ(p.parser.Tree().DocumentElement()->NextSibling, nullptr);
  // Already there: nothing is read.
  EXPECT_TRUE(p.parser.SeekElementPath(u"/a/b"));
  EXPECT_EQ(p.Token(), ">b");
  // The empty-element tag is found at its start tag and reported closed.
  ASSERT_TRUE(p.parser.SeekElementPath(u"/a/d"));
  EXPECT_EQ(p.Token(), "<d");
  EXPECT_EQ(p.Header(), "d closed");
}

TEST(XMLSequentialParser, PathsAreSplitAndResolved) {
  for (const char16_t* path : {u"/a/b", u"//a//b/", u"/a/./b", u"/a/x/../b", u"/../a/b"}) {
    TParsed p(kPlan);
    ASSERT_TRUE(p.parser.SeekElementPath(path)) << U8(path);
    EXPECT_EQ(p.Token(), "<b") << U8(path);
  }
  // Relative paths continue from the open elements.
  TParsed p(kPlan);
  ASSERT_TRUE(p.parser.SeekElementPath(u"a"));
  ASSERT_TRUE(p.parser.SeekElementPath(u"b/c"));
  EXPECT_EQ(p.Node(), "3:c::1");
  ASSERT_TRUE(p.parser.SeekElementPath(u"../d"));
  EXPECT_EQ(p.Token(), "<d");
  // Names match exactly, prefixes included.
  TParsed q("<r><ns3:CoordSystem/></r>");
  EXPECT_FALSE(q.parser.SeekElementPath(u"/r/CoordSystem"));
}

TEST(XMLSequentialParser, ElementsAtTheTargetDepthMatchOnEveryName) {
  TParsed p("<r><x><c/></x><y><c/><y/></y><c/></r>");
  ASSERT_TRUE(p.parser.SeekElementPath(u"/r/y/c"));
  EXPECT_EQ(p.parser.XMLReader().OpenElementName(1), u"y");
  // The same innermost name under another outer one is no match.
  TParsed q("<r><x><c/></x></r>");
  EXPECT_FALSE(q.parser.SeekElementPath(u"/s/x/c"));
}

TEST(XMLSequentialParser, ParentPathMatchesAtTheEndOfTheChild) {
  TParsed p(kPlan);
  ASSERT_TRUE(p.parser.SeekElementPath(u"/a/b"));
  ASSERT_TRUE(p.parser.SeekElementPath(u".."));
  EXPECT_EQ(p.Token(), "</b");
  ASSERT_TRUE(p.parser.SeekElementPath(u"/a/d"));
  ASSERT_TRUE(p.parser.SeekElementPath(u".."));
  EXPECT_EQ(p.Token(), "/>d");
}

TEST(XMLSequentialParser, FailedSeekEndsAllReading) {
  TParsed p(kPlan);
  EXPECT_FALSE(p.parser.SeekElementPath(u"/a/missing"));
  EXPECT_EQ(p.Error(), "");
  EXPECT_FALSE(p.parser.SeekElementPath(u"/a/d"));
  EXPECT_FALSE(p.parser.SeekElementPath(u""));
  EXPECT_EQ(p.Header(), "false");
  EXPECT_EQ(p.Node(), "false");

  // Also when the open elements at the failure would equal the next path.
  TParsed lenient("<r><s>");
  lenient.parser.ReaderSettings().StrictXML = false;
  EXPECT_FALSE(lenient.parser.SeekElementPath(u"/r/t"));
  EXPECT_FALSE(lenient.parser.SeekElementPath(u"/r/s"));
  EXPECT_EQ(lenient.Node(), "false");
}

TEST(XMLSequentialParser, TextEndingAfterAStartTagInLenientMode) {
  // The last element is built once, not again by every later read.
  TParsed p("<r><s>t</s><u>");
  p.parser.ReaderSettings().StrictXML = false;
  EXPECT_EQ(p.Node(), "3:r::t");
  EXPECT_EQ(p.Node(), "false");
  TParsed q("<r><u>");
  q.parser.ReaderSettings().StrictXML = false;
  ASSERT_TRUE(q.parser.SeekElementPath(u"/r/u"));
  EXPECT_EQ(q.Header(), "u open");
  EXPECT_EQ(q.Node(), "false");
  EXPECT_EQ(q.Header(), "false");
}

TEST(XMLSequentialParser, UnclosedElementIsAParseError) {
  TParsed p("<a><b k=\"1\">");
  EXPECT_FALSE(p.parser.SeekElementPath(u"/a/c"));
  EXPECT_EQ(p.Error(), "There are unclosed elements in the document end.");
  // The next seek starts without an error and fails at once.
  EXPECT_FALSE(p.parser.SeekElementPath(u"/a/c"));
  EXPECT_EQ(p.Error(), "");

  TParsed q("<a><b>1</b><c>2<d></c></a>");
  ASSERT_TRUE(q.parser.SeekElementPath(u"/a/c"));
  TXMLNode* node;
  EXPECT_FALSE(q.parser.ReadCompleteNode(node));
  EXPECT_EQ(q.Error(), "Trying to close wrong element. Close=\"c\", open element=\"d\".");
  EXPECT_FALSE(q.parser.Tree().DocumentElement()->HasChildNodes());
}

TEST(XMLSequentialParser, HeaderAfterAnOpenHeader) {
  TParsed p(kPlan);
  ASSERT_TRUE(p.parser.SeekElementPath(u"/a/x"));
  EXPECT_EQ(p.Header(), "x n=1 open");
  EXPECT_EQ(p.Header(), "y closed");  // the first child element
  EXPECT_EQ(p.Header(), "false");     // x ends before another element starts
  EXPECT_EQ(p.Token(), "</x");
  ASSERT_TRUE(p.parser.SeekElementPath(u"/a/b/c"));
  EXPECT_EQ(p.Header(), "c open");
  EXPECT_EQ(p.Header(), "false");  // only text inside
}

TEST(XMLSequentialParser, CompleteNodesFromTheDocumentStart) {
  TParsed p(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<?xml-stylesheet type=\"text/xsl\" href=\"/x.xsl\"?>\r\n"
      "<!--note--><r a=\"1\"><s>t<!--c-->u</s></r>");
  EXPECT_EQ(p.Node(), "2:xml:version=\"1.0\" encoding=\"utf-8\":");
  EXPECT_EQ(p.Node(), "9:xml-stylesheet:type=\"text/xsl\" href=\"/x.xsl\":");
  EXPECT_EQ(p.Node(), "8::note:");
  EXPECT_EQ(p.Node(), "3:r::tu");
  TXMLNode* root = p.parser.Tree().DocumentNode()->FirstChild();
  EXPECT_EQ(root->GetAttribute(u"a"), u"1");
  EXPECT_EQ(root->FindChild(u"s")->ChildNodes().Count(), 3);
  EXPECT_EQ(p.Node(), "false");
}

TEST(XMLSequentialParser, ReadingBehindTheRootElement) {
  const std::string text = "<r><a/></r><!--after--><?xml-stylesheet late?>";
  // Each node read stops only at the end of what it opened, so node reads go
  // on behind the root element whatever BreakReading says ...
  for (TXMLBreakReading setting : {TXMLBreakReading::AfterDocumentElement, TXMLBreakReading::None}) {
    TParsed p(text);
    p.parser.ReaderSettings().BreakReading = setting;
    EXPECT_EQ(p.Node(), "3:r::");
    EXPECT_EQ(p.Node(), "8::after:");
    EXPECT_EQ(p.Node(), "9:xml-stylesheet:late:");
    EXPECT_EQ(p.Node(), "false");
    EXPECT_EQ(p.parser.ReaderSettings().BreakReading, setting);
  }
  // ... while a seek stops behind it unless BreakReading is None.
  TParsed p(text);
  EXPECT_FALSE(p.parser.SeekElementPath(u"/x"));
  EXPECT_EQ(p.Token(), "</r");
}

TEST(XMLSequentialParser, OutlinesPassOverTheContentOfElements) {
  // The nodes complete reads give, in the same order, elements without content.
  TParsed p(
      "<?xml version=\"1.0\"?>\r\n<!--note--><r a=\"1\" b=\"2\"><s>t<!--c--><e/>u</s><?pi x?>v</r>"
      "<!--after--><?xml-stylesheet late?>");
  EXPECT_EQ(p.Outline(), "2:xml:version=\"1.0\":0");
  EXPECT_EQ(p.Outline(), "8::note:0");
  EXPECT_EQ(p.Outline(), "3:r::a=1 b=2 0");
  EXPECT_EQ(p.Token(), "</r");
  EXPECT_EQ(p.Outline(), "8::after:0");
  EXPECT_EQ(p.Outline(), "9:xml-stylesheet:late:0");
  EXPECT_EQ(p.Outline(), "false");

  // Behind a seek the element found is outlined from its start tag; an empty
  // element ends with its own tag.
  TParsed q("<a><b k=\"v\"><c><d/></c></b><d/><e>x</e></a>");
  ASSERT_TRUE(q.parser.SeekElementPath(u"/a/b"));
  EXPECT_EQ(q.Outline(), "3:b::k=v 0");
  EXPECT_EQ(q.Token(), "</b");
  EXPECT_EQ(q.Outline(), "3:d::0");
  EXPECT_EQ(q.Token(), "/>d");
  EXPECT_EQ(q.Node(), "3:e::x");  // a complete read after an outline builds everything again

  // Damage inside the content fails the read, as it fails a complete read.
  TParsed e("<r><s><t></s></r>");
  EXPECT_EQ(e.Outline(), "false");
  EXPECT_NE(e.Error(), "");
  EXPECT_EQ(e.parser.Tree().DocumentNode()->ChildNodes().Count(), 0);
}

TEST(XMLSequentialParser, NodeReadsInsideAnElement) {
  TParsed p("<a><b>x</b>text<c/></a>");
  ASSERT_TRUE(p.parser.SeekElementPath(u"/a"));
  EXPECT_EQ(p.Header(), "a open");
  EXPECT_EQ(p.Node(), "3:b::x");
  EXPECT_EQ(p.Node(), "5::text:text");
  EXPECT_EQ(p.Node(), "3:c::");
  EXPECT_EQ(p.Node(), "false");  // the end tag of a
  EXPECT_EQ(p.Token(), "</a");
}

TEST(XMLSequentialParser, TheReadersWalkThroughAPlan) {
  TParsed p(
      "<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/xsl\"?>"
      "<KPT><CadastralBlocks>"
      "<CadastralBlock CadastralNumber=\"66:41:0101001\"><Parcels><Parcel/></Parcels></CadastralBlock>"
      "<CadastralBlock CadastralNumber=\"66:41:0101002\"><CoordSystems>"
      "<ns3:CoordSystem Name=\"МСК-66\"/></CoordSystems></CadastralBlock>"
      "</CadastralBlocks><CertificationDoc><ns6:Date>2015-03-12</ns6:Date>"
      "<ns6:Number>66/<!--x-->15<![CDATA[-1]]></ns6:Number></CertificationDoc></KPT>");
  TXMLNode* node;
  while (p.parser.ReadCompleteNode(node) && node->NodeName() != u"xml-stylesheet") {
  }
  ASSERT_TRUE(p.parser.SeekElementPath(u"/KPT/CadastralBlocks/CadastralBlock"));
  ASSERT_TRUE(p.parser.ReadElementHeader(node));
  EXPECT_EQ(node->GetAttribute(u"CadastralNumber"), u"66:41:0101001");
  ASSERT_TRUE(p.parser.SeekElementPath(u"/KPT/CadastralBlocks/CadastralBlock/CoordSystems/ns3:CoordSystem"));
  ASSERT_TRUE(p.parser.ReadElementHeader(node));
  EXPECT_EQ(node->GetAttribute(u"Name"), u"МСК-66");
  ASSERT_TRUE(p.parser.SeekElementPath(u"/KPT/CertificationDoc"));
  ASSERT_TRUE(p.parser.ReadCompleteNode(node));
  TXMLNode* child;
  ASSERT_TRUE(node->SelectNode(u"ns6:Number", child));
  EXPECT_EQ(child->GetText(), u"66/15-1");
  ASSERT_TRUE(node->SelectNode(u"ns6:Date", child));
  EXPECT_EQ(child->GetText(), u"2015-03-12");
}

TEST(XMLSequentialParser, TheTreeIsReusedFromReadToRead) {
  std::string text = "<r>";
  for (int i = 0; i < 3000; ++i) text += "<p n=\"" + std::to_string(i) + "\"><q>" + std::to_string(i) + "</q></p>";
  text += "</r>";
  TParsed p(text);
  ASSERT_TRUE(p.parser.SeekElementPath(u"/r"));
  ASSERT_EQ(p.Header(), "r open");
  TXMLNode* node;
  int read = 0;
  int capacity = 0, strings = 0;
  while (p.parser.ReadCompleteNode(node)) {
    EXPECT_EQ(node->GetAttribute(u"n"), U16(std::to_string(read)));
    if (read++ == 10) {
      capacity = p.parser.Tree().Capacity();
      strings = p.parser.Tree().Strings().Count();
    }
    if (read > 10) {
      EXPECT_EQ(p.parser.Tree().Capacity(), capacity);
      EXPECT_EQ(p.parser.Tree().Strings().Count(), strings);
    }
  }
  EXPECT_EQ(read, 3000);
  EXPECT_EQ(strings, 5);  // "", p, n, q, and the number (value and text alike)
}

TEST(XMLSequentialParser, DeepNodesNeedNoStack) {
  std::string text = "<r>";
  for (int i = 0; i < 100000; ++i) text += "<e>";
  text += "deep";
  for (int i = 0; i < 100000; ++i) text += "</e>";
  text += "</r>";
  TParsed p(text);
  ASSERT_TRUE(p.parser.SeekElementPath(u"/r/e"));
  TXMLNode* node;
  ASSERT_TRUE(p.parser.ReadCompleteNode(node));
  EXPECT_EQ(node->GetText(), u"deep");
  // The next read clears the tree without freeing node by node.
  EXPECT_FALSE(p.parser.ReadCompleteNode(node));
  p.parser.Reset();
  EXPECT_EQ(p.parser.Tree().Capacity(), 1024);
}
