#include "xml/xml_xpath.h"

#include <gtest/gtest.h>

#include <string>

#include "xml/xml_document.h"
#include "xml_test_util.h"

using namespace xml;
using namespace xml_test;

namespace {

// A node as name and its "n" attribute (elements), @name=value (attributes),
// or its quoted text.
std::string Show(TXMLNode* node) {
  switch (node->NodeType) {
    case TXMLNodeType::Element: {
      const std::u16string n = node->GetAttribute(u"n");
      return U8(node->NodeName()) + (n.empty() ? "" : U8(n));
    }
    case TXMLNodeType::Attribute:
      return "@" + U8(node->NodeName()) + "=" + U8(node->NodeValue());
    case TXMLNodeType::Document:
      return "/";
    default:
      return "'" + U8(node->NodeValue()) + "'";
  }
}

std::string Show(const IXMLNodeListPtr& list) {
  std::string out;
  for (int i = 0; list && i < list->Count(); ++i) out += (i ? " " : "") + Show(list->Get(i));
  return out;
}

std::string Select(TXMLNode* context, std::u16string_view path) {
  IXMLNodeListPtr list;
  context->SelectNodes(path, list);
  return Show(list);
}

// Runs code and gives the text of the EXmlXPathInvalidString it raises.
template <class F>
std::string CompileError(F&& code) {
  try {
    code();
  } catch (const EXmlXPathInvalidString& e) {
    return Visible(U16(e.what()));
  }
  return "no error";
}

class XPath : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(doc.LoadFromBuffer(
        "<r><a n=\"1\" kind=\"x\"><b n=\"1\"/><b n=\"2\"/><b n=\"3\"><b n=\"4\"/></b></a>"
        "<a n=\"2\" kind=\"y\"><b n=\"5\"/>t<!--c--><![CDATA[d]]></a><a n=\"3\"><b n=\"6\"/></a></r>"));
    root = doc.DocumentElement();
  }
  TXMLDocument doc;
  TXMLNode* root = nullptr;
};

TEST_F(XPath, PositionsAndLast) {
  TXMLNode* first_a = root->FirstChild();
  EXPECT_EQ(Select(first_a, u"b[2]"), "b2");
  EXPECT_EQ(Select(first_a, u"b[last()]"), "b3");
  EXPECT_EQ(Select(first_a, u"b[last()-1]"), "b2");
  EXPECT_EQ(Select(first_a, u"b[ last()-2 ]"), "b1");
  EXPECT_EQ(Select(first_a, u"b[+1]"), "b1");
  for (const char16_t* none : {u"b[0]", u"b[-1]", u"b[4]", u"b[last()+1]", u"b[last()-3]"})
    EXPECT_EQ(Select(first_a, none), "") << U8(none);
  // The position counts within each parent, per step.
  EXPECT_EQ(Select(root, u"a/b[1]"), "b1 b5 b6");
  EXPECT_EQ(Select(root, u"a[last()]/b"), "b6");
  EXPECT_EQ(Select(root, u"*[2]/*[last()]"), "b5");
  EXPECT_EQ(Select(root, u"a/b[last()]/b"), "b4");
}

TEST_F(XPath, AttributePredicates) {
  EXPECT_EQ(Select(root, u"a[@kind='x']/b"), "b1 b2 b3");
  EXPECT_EQ(Select(root, u"a[@kind=\"y\"]/b"), "b5");
  EXPECT_EQ(Select(root, u"a[@kind= y ]/b"), "b5");  // the value is trimmed
  EXPECT_EQ(Select(root, u"a[@kind]/b"), "b1 b2 b3 b5");
  EXPECT_EQ(Select(root, u"a[@kind='z']/b"), "");
  EXPECT_EQ(Select(root, u"a[@kind ='x']"), "");  // the name is taken as written
  EXPECT_EQ(Select(root, u"*[@n='2']"), "a2");
  // Quotes keep "/" and "|" inside a value.
  TXMLNode* a = root->FirstChild();
  a->AddAttribute(u"p", u"u/v|w");
  EXPECT_EQ(Select(root, u"a[@p='u/v|w']"), "a1");
  EXPECT_EQ(Select(root, u"a[@p=\"u/v|w\"]|a[@n='3']"), "a1 a3");
}

TEST_F(XPath, DescendantsInDocumentOrderOnce) {
  // From any node, "//b" is every b of the document, each once.
  TXMLNode* deep = root->FirstChild()->LastChild()->FirstChild();  // b4
  for (TXMLNode* context : {doc.DocumentNode(), root, deep}) EXPECT_EQ(Select(context, u"//b"), "b1 b2 b3 b4 b5 b6");
  EXPECT_EQ(Select(root, u"a//b"), "b1 b2 b3 b4 b5 b6");
  EXPECT_EQ(Select(root, u"a[2]//b|a[1]/b[3]//b"), "b4 b5");
  EXPECT_EQ(Select(root, u"//b/..|//b[@n='4']"), "a1 b3 b4 a2 a3");
  EXPECT_EQ(Select(root->LastChild(), u"..//a/@n"), "@n=1 @n=2 @n=3");
  // Without "//" a single alternative is walked: ".." can come back to a
  // node, which then appears again.
  EXPECT_EQ(Select(root, u"a/../a[1]"), "a1 a1 a1");
  EXPECT_EQ(Select(root, u"a/../a[1]|x"), "a1");
}

TEST_F(XPath, AttributeTextAndNodeSteps) {
  EXPECT_EQ(Select(root, u"a/@*"), "@n=1 @kind=x @n=2 @kind=y @n=3");
  EXPECT_EQ(Select(root, u"a/@*/b"), Select(root, u"a/@*"));
  EXPECT_EQ(Select(root, u"a/@kind/.."), "@kind=x @kind=y");
  EXPECT_EQ(Select(root, u"a/@none"), "");
  TXMLNode* second = root->FirstChild()->NextSibling;
  EXPECT_EQ(Select(second, u"text()"), "'t' 'd'");
  EXPECT_EQ(Select(second, u"TEXT()"), "'t' 'd'");
  EXPECT_EQ(Select(second, u"node()"), "@n=2 @kind=y b5 't' 'd'");  // no comment
  EXPECT_EQ(Select(second, u"Node()|x"), "@n=2 @kind=y b5 't' 'd'");
  EXPECT_EQ(Select(second, u"."), "a2");
  EXPECT_EQ(Select(second, u".."), "r");
  EXPECT_EQ(Select(second, u"/r/a[3]/b"), "b6");
  EXPECT_EQ(Select(second, u"/"), "/ r a1 b1 b2 b3 b4 a2 b5 a3 b6");  // a root step and an empty one
}

TEST_F(XPath, UnusualContexts) {
  TXMLNode* second = root->FirstChild()->NextSibling;
  TXMLNode* comment = second->FirstChild()->NextSibling->NextSibling;
  ASSERT_EQ(comment->NodeType, TXMLNodeType::Comment);
  // The context itself takes its place in document order, whatever its kind.
  EXPECT_EQ(Select(comment, u".|../b|../text()"), "b5 't' 'c' 'd'");
  TXMLNode* kind = second->FindAttribute(u"kind");
  EXPECT_EQ(Select(kind, u".|..|../b"), "a2 @kind=y b5");
  TXMLDocument declared;
  ASSERT_TRUE(declared.LoadFromBuffer("<?xml version=\"1.0\"?><r/>"));
  TXMLNode* version = declared.DocumentNode()->FirstChild()->FirstAttribute();
  EXPECT_EQ(Select(version, u"/r|.|/"), "/ @version=1.0 r");
  // A subtree outside the document tree, with a path from the document node.
  TXMLNode* loose = doc.CreateNode(TXMLNodeType::Element, u"a");
  loose->AddChild(u"b");
  EXPECT_EQ(Select(loose, u"b|/r/a[1]/b[1]"), "b1 b");
}

TEST_F(XPath, CompileErrors) {
  auto select = [&](const char16_t* path) { return CompileError([&] { Select(root, path); }); };
  EXPECT_EQ(select(u"a/b[1"), "XPath is not supported.\\r\\nXPath: b[1");
  EXPECT_EQ(select(u"a/ b[word] "), "XPath predicate \"word\" is not supported.\\r\\nXPath: b[word]");
  EXPECT_EQ(select(u"b[@kind='x]"), "XPath predicate \"'x\" is not valid.\\r\\nXPath: b[@kind='x]");
  EXPECT_EQ(select(u"b[@kind=']"), "XPath predicate \"'\" is not valid.\\r\\nXPath: b[@kind=']");
  EXPECT_EQ(select(u"b[last()x]"), "XPath predicate \"x\" is not supported.\\r\\nXPath: b[last()x]");
  EXPECT_EQ(select(u"b[ last() - 2 ]"), "XPath predicate \"- 2\" is not supported.\\r\\nXPath: b[ last() - 2 ]");
  EXPECT_EQ(select(u"a|b[1][2]"), "XPath predicate \"1][2\" is not supported.\\r\\nXPath: b[1][2]");
  EXPECT_EQ(select(u""), "XPath cannot be empty.");
  // A sign alone, or a number beyond the integer range, is no number.
  for (const char16_t* path : {u"b[+]", u"b[-]", u"b[last()+]", u"b[99999999999]", u"b[last()-2147483649]"})
    EXPECT_THROW(Select(root, path), EXmlXPathConvertError) << U8(path);
  EXPECT_EQ(Select(root, u"a[2147483647]|a[-2147483648]"), "");
}

TEST_F(XPath, CompiledExpression) {
  TXMLXPathList expression(std::make_unique<TXMLXPathDOMAdapter>(doc));
  IXMLNodeListPtr list;
  EXPECT_FALSE(expression.Evaluate(*root, list));  // nothing compiled
  expression.Compile(u"//new | a[@kind='x']/b[last()] | @*");
  ASSERT_EQ(expression.Count(), 3);
  const TXMLXPath& path = expression.Path(1);
  ASSERT_EQ(path.Count(), 2);
  EXPECT_EQ(path.Step(0).Kind, TXMLXPathStepKind::ElementStep);
  EXPECT_TRUE(path.Step(0).HasAttributeValue);
  EXPECT_EQ(path.Step(0).Next, &path.Step(1));
  EXPECT_EQ(path.Step(1).Level, 1);
  EXPECT_TRUE(path.Step(1).HasFromLast);
  EXPECT_EQ(expression.Path(0).Step(1).Kind, TXMLXPathStepKind::DescendantStep);
  ASSERT_TRUE(expression.Evaluate(*root, list));
  EXPECT_EQ(Show(list), "b3");
  // Names new to the document since compiling are found.
  root->LastChild()->AddChild(u"new");
  ASSERT_TRUE(expression.Evaluate(*root, list));
  EXPECT_EQ(Show(list), "b3 new");
  // A bad expression leaves the compiled one in place.
  EXPECT_THROW(expression.Compile(u"a["), EXmlXPathInvalidString);
  EXPECT_EQ(expression.Count(), 3);
  // Each evaluation has its own list; a held list stays as it was.
  IXMLNodeListPtr held = list;
  expression.Compile(u"a");
  ASSERT_TRUE(expression.Evaluate(*root, list));
  EXPECT_EQ(Show(list), "a1 a2 a3");
  EXPECT_EQ(Show(held), "b3 new");
  // A node of another document is no context for it.
  TXMLDocument other;
  other.DocumentNode()->AddChild(u"a");
  EXPECT_FALSE(expression.Evaluate(*other.DocumentNode(), list));
  EXPECT_FALSE(list);
}

TEST_F(XPath, UnknownNamesAddNothing) {
  const int strings = doc.Strings().Count();
  for (const char16_t* path : {u"x/y", u"//zz", u"a[@q='v']", u"a[@kind='v']", u"@w|a/@w", u"a/b/../q"})
    EXPECT_EQ(Select(root, path), "") << U8(path);
  EXPECT_EQ(doc.Strings().Count(), strings);
}

TEST_F(XPath, ResultListOperations) {
  IXMLNodeListPtr list;
  ASSERT_TRUE(root->SelectNodes(u"//b", list));
  TXMLNode* b1 = list->Get(0);
  TXMLNode* b6 = list->Get(5);
  EXPECT_EQ(list->First(), b1);
  EXPECT_EQ(list->Last(), b6);
  EXPECT_EQ(list->Get(6), nullptr);
  EXPECT_EQ(list->Get(-1), nullptr);
  EXPECT_EQ(list->IndexOf(b6), 5);
  EXPECT_EQ(list->IndexOf(root), -1);
  EXPECT_EQ(list->FindNode(u"b"), b1);
  EXPECT_EQ(list->FindNode(u"r"), nullptr);
  EXPECT_EQ(list->FindNode(u"never"), nullptr);
  EXPECT_EQ(list->GetNextNode(nullptr), b1);
  EXPECT_EQ(list->GetNextNode(nullptr, -1), b6);
  EXPECT_EQ(list->GetNextNode(b1, 2), list->Get(2));
  EXPECT_EQ(list->GetNextNode(b1, -1), nullptr);
  EXPECT_EQ(list->GetNextNode(root), nullptr);
  list->Exchange(0, 5);
  EXPECT_EQ(Show(list), "b6 b2 b3 b4 b5 b1");
  list->Exchange(b1, b6);
  list->Exchange(0, 9);
  list->Exchange(root, b1);
  EXPECT_EQ(Show(list), "b1 b2 b3 b4 b5 b6");
  list->Delete(7);
  list->Delete(1);
  EXPECT_EQ(list->Remove(b6), 4);
  EXPECT_EQ(list->Remove(b6), -1);
  EXPECT_EQ(Show(list), "b1 b3 b4 b5");
  // The list outlives the selection that made it, and nothing is freed with it.
  list.reset();
  EXPECT_EQ(Select(root, u"a[1]/b"), "b1 b2 b3");
}

TEST(XPathDepth, DeepTreesAndLongPathsNeedNoStack) {
  constexpr int kDepth = 100000;
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer(Nested(kDepth)));
  IXMLNodeListPtr list;
  ASSERT_TRUE(doc.DocumentNode()->SelectNodes(u"//e", list));
  EXPECT_EQ(list->Count(), kDepth);
  EXPECT_EQ(list->Last()->FirstChild()->NodeType, TXMLNodeType::Text);
  TXMLNode* deepest = list->Last();
  ASSERT_TRUE(deepest->SelectNodes(u"/e//e/..|.", list));
  EXPECT_EQ(list->Count(), kDepth);
  // A path of as many steps, walked and in document order.
  std::u16string path;
  for (int i = 0; i < kDepth; ++i) path += i ? u"/e" : u"e";
  ASSERT_TRUE(doc.DocumentNode()->SelectNodes(path, list));
  EXPECT_EQ(list->First(), deepest);
  ASSERT_TRUE(doc.DocumentNode()->SelectNodes(path + u"|x", list));
  EXPECT_EQ(list->First(), deepest);
}

TEST(XPathDepth, RepeatingWalksEndInDocumentOrder) {
  // Twenty children: "*/.." again and again would list each child 20^5 times.
  std::string text = "<r>";
  for (int i = 0; i < 20; ++i) text += "<c/>";
  text += "</r>";
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer(text));
  IXMLNodeListPtr list;
  ASSERT_TRUE(doc.DocumentElement()->SelectNodes(u"*/../*/../c/..", list));
  EXPECT_EQ(list->Count(), 20 * 20 * 20);  // a walk still within bounds
  ASSERT_TRUE(doc.DocumentElement()->SelectNodes(u"*/../*/../*/../*/../*", list));
  EXPECT_EQ(list->Count(), 20);
  EXPECT_EQ(list->First(), doc.DocumentElement()->FirstChild());
}

}  // namespace
