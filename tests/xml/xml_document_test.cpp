#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/stream.h"
#include "xml/int_dictionary.h"
#include "xml_test_util.h"

using namespace xml;
using namespace xml_test;

namespace {

// The tree written back compactly: elements with their attributes in
// brackets, texts in quotes, other nodes by a short tag.
std::string Dump(const TXMLNode* node) {
  std::string out;
  switch (node->NodeType) {
    case TXMLNodeType::Document:
      break;
    case TXMLNodeType::Element: {
      out += U8(node->NodeName());
      std::string attributes;
      for (TXMLNode* a = node->FirstAttribute(); a; a = a->NextSibling)
        attributes += (attributes.empty() ? "" : " ") + U8(a->NodeName()) + "=" + U8(a->NodeValue());
      if (!attributes.empty()) out += "[" + attributes + "]";
      break;
    }
    case TXMLNodeType::Text:
      return "'" + Visible(node->NodeValue()) + "'";
    case TXMLNodeType::CData:
      return "CDATA'" + U8(node->NodeValue()) + "'";
    case TXMLNodeType::Comment:
      return "#" + U8(node->NodeValue());
    case TXMLNodeType::EntityReference:
      return "&" + U8(node->NodeName());
    case TXMLNodeType::ProcessingInstruction:
      return "?" + U8(node->NodeName());
    case TXMLNodeType::XMLDeclaration:
      return "?" + U8(node->NodeName()) + "(" + U8(node->NodeValue()) + ")";
    case TXMLNodeType::DocType:
      return "!DOCTYPE";
    default:
      return "?";
  }
  if (node->HasChildNodes()) {
    out += "{";
    for (TXMLNode* c = node->FirstChild(); c; c = c->NextSibling) {
      if (c != node->FirstChild()) out += ",";
      out += Dump(c);
    }
    out += "}";
  }
  return out;
}

std::string Loaded(std::string_view text, TXMLWhiteSpaceHandling policy = TXMLWhiteSpaceHandling::OmitWhiteSpaceOnly) {
  TXMLDocument doc;
  doc.WhiteSpaceHandling = policy;
  if (!doc.LoadFromBuffer(text)) return "error: " + U8(doc.ParseError()->Reason());
  return Dump(doc.DocumentNode());
}

}  // namespace

TEST(XMLDocument, LoadsEveryKindOfNode) {
  EXPECT_EQ(Loaded("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!DOCTYPE r>\r\n<?pi data?>"
                   "<r a=\"1\" b='&lt;'><!--c--><x/>t<![CDATA[<raw>]]></r>"),
            "{?xml(version=\"1.0\" encoding=\"utf-8\"),!DOCTYPE,?pi,r[a=1 b=<]{#c,x,'t',CDATA'<raw>'}}");
  TXMLDocument doc;
  doc.ReaderSettings.ExpandEntities = false;
  ASSERT_TRUE(doc.LoadFromBuffer("<r>a&amp;b</r>"));
  EXPECT_EQ(Dump(doc.DocumentNode()), "{r{'a',&amp,'b'}}");
  EXPECT_EQ(U8(doc.DocumentElement()->GetText()), "a&b");
  EXPECT_EQ(doc.URL, u"");
  EXPECT_FALSE(doc.Loading);
}

TEST(XMLDocument, DeclarationValueAndDocumentProperties) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer("<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"no\"?><r/>"));
  EXPECT_EQ(doc.Encoding(), u"windows-1251");
  EXPECT_EQ(doc.Version(), u"1.0");
  EXPECT_EQ(doc.Standalone(), u"no");
  EXPECT_EQ(doc.CodePage(), 1251u);
  TXMLNode* declaration = doc.DocumentNode()->FirstChild();
  // Markup characters in a value are written as references.
  declaration->FindAttribute(u"standalone")->SetNodeValue(u"a&b<\"c\">");
  EXPECT_EQ(U8(declaration->NodeValue()),
            "version=\"1.0\" encoding=\"windows-1251\" standalone=\"a&amp;b&lt;&quot;c&quot;>\"");
  declaration->SetNodeValue(u"version=\"1.1\" encoding='koi8-r'");
  EXPECT_EQ(U8(declaration->NodeValue()), "version=\"1.1\" encoding=\"koi8-r\"");
  EXPECT_EQ(doc.CodePage(), 20866u);

  ASSERT_TRUE(doc.LoadFromBuffer("<r/>"));
  EXPECT_EQ(doc.CodePage(), 65001u);
  EXPECT_EQ(doc.Encoding(), u"");
  // A setter inserts an unnamed declaration before the first child ...
  doc.SetCodePage(1251);
  EXPECT_EQ(Dump(doc.DocumentNode()), "{?(encoding=\"windows-1251\"),r}");
  // ... or appends a named one to an empty document.
  TXMLDocument empty;
  empty.SetVersion(u"1.0");
  EXPECT_EQ(Dump(empty.DocumentNode()), "{?xml(version=\"1.0\")}");

  TXMLDocument made(u"root", true);
  EXPECT_EQ(Dump(made.DocumentNode()), "{?xml(version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"),root}");
  EXPECT_EQ(U8(made.DocumentElement()->NodeName()), "root");
}

TEST(XMLDocument, LookupsOfUnknownNamesAddNothing) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer("<r a=\"1\"><Number>5</Number></r>"));
  TXMLNode* root = doc.DocumentElement();
  const int strings = doc.Strings().Count();
  EXPECT_EQ(root->FindChild(u"Missing"), nullptr);
  EXPECT_EQ(root->FindAttribute(u"missing"), nullptr);
  EXPECT_EQ(root->GetAttribute(u"missing", u"default"), u"default");
  EXPECT_EQ(root->GetAttribute(u"missing"), u"");
  TXMLNode* found;
  EXPECT_FALSE(root->SelectNode(u"Missing", found));
  EXPECT_FALSE(root->SelectNode(u"@missing", found));
  EXPECT_EQ(doc.Strings().Count(), strings);
  // Known names are found by id, of any node type.
  ASSERT_TRUE(root->SelectNode(u"Number", found));
  EXPECT_EQ(found->GetText(), u"5");
  ASSERT_TRUE(root->SelectNode(u"@a", found));
  EXPECT_EQ(found->NodeType, TXMLNodeType::Attribute);
  EXPECT_EQ(found->NodeValue(), u"1");
}

TEST(XMLDocument, SelectNodeRoutesPathsToTheEvaluator) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer("<r a=\"1\" x.y=\"2\"><a><b/></a></r>"));
  TXMLNode* root = doc.DocumentElement();
  TXMLNode* found;
  try {
    root->SelectNode(u"", found);
    FAIL();
  } catch (const EXMLDOMException& e) {
    EXPECT_STREQ(e.what(), "XPath cannot be empty.");
  }
  // Anything with ".", "/" or "[" is a path expression, also after "@".
  ASSERT_TRUE(root->SelectNode(u"a/b", found));
  EXPECT_EQ(found, root->FirstChild()->FirstChild());
  ASSERT_TRUE(root->SelectNode(u"./a", found));
  EXPECT_EQ(found, root->FirstChild());
  ASSERT_TRUE(root->SelectNode(u"a[1]", found));
  EXPECT_EQ(found, root->FirstChild());
  ASSERT_TRUE(root->SelectNode(u"@a/b", found));  // an attribute ends its path
  EXPECT_EQ(found, root->FirstAttribute());
  ASSERT_TRUE(root->SelectNode(u"@x.y", found));
  EXPECT_EQ(U8(found->NodeValue()), "2");
  EXPECT_THROW(root->SelectNode(u"a[1", found), EXmlXPathInvalidString);
  IXMLNodeListPtr list;
  EXPECT_FALSE(root->SelectNodes(u"a/c", list));
  ASSERT_TRUE(list);
  EXPECT_EQ(list->Count(), 0);
  // SelectNodes evaluates plain names too.
  ASSERT_TRUE(root->SelectNodes(u"a", list));
  EXPECT_EQ(list->First(), root->FirstChild());
}

TEST(XMLDocument, GetTextJoinsTextsWithoutComments) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer("<n>66/<!-- split -->15<b>-12</b><?pi x?><![CDATA[34]]>56</n>"));
  EXPECT_EQ(U8(doc.DocumentElement()->GetText()), "66/15-123456");
  EXPECT_EQ(U8(doc.DocumentNode()->GetText()), "66/15-123456");
  EXPECT_EQ(doc.DocumentElement()->FirstChild()->NextSibling->GetText(), u"");  // the comment
}

TEST(XMLDocument, WhiteSpacePoliciesWhileLoading) {
  const std::string text = "<r>\r\n  <a> x </a>\r\n  <b> </b>\r\n</r>";
  EXPECT_EQ(Loaded(text), "{r{a{' x '},b}}");
  EXPECT_EQ(Loaded(text, TXMLWhiteSpaceHandling::Trim), "{r{a{'x'},b}}");
  EXPECT_EQ(Loaded(text, TXMLWhiteSpaceHandling::PreserveAll), "{r{'\\r\\n  ',a{' x '},'\\r\\n  ',b{' '},'\\r\\n'}}");
  EXPECT_EQ(Loaded("<r><p xml:space=\"preserve\"> x <q xml:space='default'> y </q><s> z </s></p> w </r>",
                   TXMLWhiteSpaceHandling::FollowXmlSpace),
            "{r{p{' x ',q{'y'},s{' z '}},'w'}}");
  // Without FollowXmlSpace the attribute is an ordinary one.
  EXPECT_EQ(Loaded("<p xml:space=\"preserve\"> x </p>", TXMLWhiteSpaceHandling::Trim), "{p[xml:space=preserve]{'x'}}");
}

TEST(XMLDocument, WhiteSpacePoliciesForAddedText) {
  TXMLDocument doc(u"r");
  TXMLNode* root = doc.DocumentElement();
  EXPECT_EQ(root->AddText(u" \r\n\t"), nullptr);
  TXMLNode* kept = root->AddText(u" kept ");
  EXPECT_EQ(kept, root->LastChild());
  doc.WhiteSpaceHandling = TXMLWhiteSpaceHandling::Trim;
  EXPECT_EQ(root->AddText(u"  "), nullptr);
  EXPECT_EQ(root->AddText(u" t ")->NodeValue(), u"t");
  root->LastChild()->SetNodeValue(u" v ");
  EXPECT_EQ(root->LastChild()->NodeValue(), u"v");

  doc.WhiteSpaceHandling = TXMLWhiteSpaceHandling::FollowXmlSpace;
  TXMLNode* a = root->AddChild(u"a");
  a->AddText(u"one\r\ntwo");  // a CR LF pair is one white-space character
  EXPECT_EQ(a->XmlSpace, xsNotSet);
  a->AddText(u"one  two");
  EXPECT_EQ(a->XmlSpace, xsPreserve);
  TXMLNode* b = a->AddChild(u"b");
  b->AddText(u" lead");  // preserve is in effect from a already
  EXPECT_EQ(b->XmlSpace, xsNotSet);
  EXPECT_EQ(b->FirstChild()->NodeValue(), u" lead");
  EXPECT_EQ(a->AddAttribute(u"XML:Space", u"default"), nullptr);
  EXPECT_EQ(a->XmlSpace, xsDefault);
  EXPECT_FALSE(b->PreserveInEffect());
}

TEST(XMLDocument, FailedLoadLeavesNoChildren) {
  TXMLDocument doc;
  EXPECT_FALSE(doc.LoadFromBuffer("<r><a>text</a><b>"));
  EXPECT_FALSE(doc.DocumentNode()->HasChildNodes());
  ASSERT_TRUE(doc.ParseError());
  EXPECT_EQ(doc.ParseError()->Reason(), u"There are unclosed elements in the document end.");
  // The next load clears the error.
  EXPECT_TRUE(doc.LoadFromXML(u"<r>Ж</r>"));
  EXPECT_FALSE(doc.ParseError());
  EXPECT_EQ(doc.DocumentElement()->GetText(), u"Ж");

  TXMLNode* text = doc.DocumentElement()->FirstChild();
  TXMLReader reader;
  const TXMLReaderToken* last;
  try {
    text->LoadFromReader(reader, last);
    FAIL();
  } catch (const EXMLDOMException& e) {
    EXPECT_STREQ(e.what(), "Node must be a DOMDocument or an element.");
  }
}

TEST(XMLDocument, LoadFromReaderBuildsNothingOutsideItsNode) {
  // Loading into an element from the middle of a text ends with that element
  // (here: at the end tag of the enclosing one).
  const std::string text = "<r><a>1</a><b>2</b></r>";
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  TXMLReader reader;
  reader.InitStream(stream);
  const TXMLReaderToken* token;
  for (int i = 0; i < 2; ++i) reader.ReadNextToken(token);  // <r and >
  TXMLDocument doc(u"target");
  const TXMLReaderToken* last;
  EXPECT_TRUE(doc.DocumentElement()->LoadFromReader(reader, last));
  EXPECT_EQ(Dump(doc.DocumentNode()), "{target{a{'1'},b{'2'}}}");
  EXPECT_EQ(last->TokenType, TXMLReaderTokenType::CloseElement);
  EXPECT_EQ(last->TokenName, u"r");
}

TEST(XMLDocument, DeclaredEntitiesAreKeptInTheSettings) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer("<!DOCTYPE r [<!ENTITY who \"world\">]><r>hello &who;</r>"));
  EXPECT_EQ(doc.DocumentElement()->GetText(), u"hello world");
  ASSERT_NE(doc.ReaderSettings.EntityList.Find(u"who"), nullptr);
  EXPECT_EQ(*doc.ReaderSettings.EntityList.Find(u"who"), u"world");
}

TEST(XMLDocument, AttributeIndexPast256Scanned) {
  std::string text = "<r><e";
  for (int i = 1; i <= 300; ++i) text += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  text += "/><f a1=\"x\"/></r>";
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer(text));
  TXMLNode* e = doc.DocumentElement()->FirstChild();
  TXMLNode* f = e->NextSibling;
  // Loading looks for an existing attribute of each name, so it built the index.
  EXPECT_EQ(doc.AttributeIndex().Element(), e);
  e->FindAttribute(u"a2")->DeleteSelf();
  EXPECT_EQ(doc.AttributeIndex().Element(), nullptr);
  EXPECT_EQ(e->GetAttribute(u"a100"), u"100");
  EXPECT_EQ(doc.AttributeIndex().Element(), nullptr);
  EXPECT_EQ(e->GetAttribute(u"a300"), u"300");
  EXPECT_EQ(doc.AttributeIndex().Element(), e);
  EXPECT_EQ(e->GetAttribute(u"a1"), u"1");
  EXPECT_EQ(e->FindAttribute(u"a299")->NodeValue(), u"299");
  // Lookups on another element scan and leave the index alone.
  EXPECT_EQ(f->GetAttribute(u"a1"), u"x");
  EXPECT_EQ(doc.AttributeIndex().Element(), e);
  // Appended attributes join the index; a replaced value is seen through it.
  e->AddAttribute(u"late", u"L");
  e->AddAttribute(u"a5", u"five");
  EXPECT_EQ(e->GetAttribute(u"late"), u"L");
  EXPECT_EQ(e->GetAttribute(u"a5"), u"five");
  // Removing one empties the index; the lookup still answers.
  e->FindAttribute(u"a7")->DeleteSelf();
  EXPECT_EQ(doc.AttributeIndex().Element(), nullptr);
  EXPECT_EQ(e->FindAttribute(u"a7"), nullptr);
  EXPECT_EQ(e->GetAttribute(u"a300"), u"300");
  EXPECT_EQ(doc.AttributeIndex().Element(), e);
  // Freeing the element empties it too.
  e->DeleteSelf();
  EXPECT_EQ(doc.AttributeIndex().Element(), nullptr);
}

TEST(XMLDocument, MovingAndRemovingNodes) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer("<r><a><x/></a><b/></r>"));
  TXMLNode* r = doc.DocumentElement();
  TXMLNode* a = r->FirstChild();
  TXMLNode* b = a->NextSibling;
  TXMLNode* x = a->FirstChild();
  TXMLNodeList& children = r->ChildNodes();
  EXPECT_EQ(children.Count(), 2);
  r->AppendChild(x);  // moves from a
  EXPECT_EQ(Dump(r), "r{a,b,x}");
  EXPECT_EQ(children.Count(), 3);
  EXPECT_EQ(children.Get(2), x);
  EXPECT_EQ(children.Get(3), nullptr);
  r->InsertBefore(x, a);
  EXPECT_EQ(Dump(r), "r{x,a,b}");
  EXPECT_EQ(children.Count(), 3);
  EXPECT_EQ(children.Get(1), a);
  EXPECT_EQ(children.IndexOf(b), 2);
  r->RemoveChild(a);
  EXPECT_EQ(Dump(r), "r{x,b}");
  EXPECT_EQ(children.Count(), 2);
  EXPECT_EQ(a->ParentNode, nullptr);
  EXPECT_EQ(a->NextSibling, nullptr);
  b->AppendChild(a);
  EXPECT_EQ(Dump(r), "r{x,b{a}}");

  auto message = [](auto&& call) {
    try {
      call();
    } catch (const EXMLDOMException& e) {
      return std::string(e.what());
    }
    return std::string("no exception");
  };
  TXMLDocument other(u"o");
  EXPECT_EQ(message([&] { r->AppendChild(other.DocumentElement()); }),
            "You can't insert a node from a different XML document.");
  EXPECT_EQ(message([&] { r->InsertBefore(x, a); }),
            "You can't insert node before a node that is not a child of current node.");
  EXPECT_EQ(message([&] { r->RemoveChild(a); }), "You can't delete a node that is not a child of current node.");
  // An attribute is not in the child list.
  TXMLNode* attribute = r->AddAttribute(u"k", u"v");
  EXPECT_EQ(message([&] { r->RemoveChild(attribute); }),
            "You can't delete a node that is not a child of current node.");
  r->RemoveChild(attribute, nlAttributes);
  EXPECT_FALSE(r->HasAttributes());
  b->AppendChild(attribute);  // an attribute goes to the attributes
  EXPECT_EQ(Dump(b), "b[k=v]{a}");
  // A node never goes into its own subtree.
  EXPECT_EQ(message([&] { a->AppendChild(b); }), "You can't insert a node into its own subtree.");
  EXPECT_EQ(message([&] { b->AppendChild(b); }), "You can't insert a node into its own subtree.");
  EXPECT_EQ(Dump(r), "r{x,b[k=v]{a}}");

  b->DeleteAttributes();
  b->DeleteChildren();
  EXPECT_EQ(Dump(r), "r{x,b}");
  x->DeleteSelf();
  EXPECT_EQ(Dump(r), "r{b}");
  EXPECT_EQ(children.Count(), 1);
  EXPECT_EQ(x->NameId, -1);
}

TEST(XMLDocument, RecordsAndTheirReuse) {
  TXMLDocument doc(u"r");
  TXMLNode* r = doc.DocumentElement();
  std::vector<TXMLNode*> nodes;
  for (int i = 0; i < 2500; ++i) nodes.push_back(r->AddChild(u"c"));
  EXPECT_EQ(doc.Capacity(), 3 * 1024);
  EXPECT_EQ(doc.NodeCount(), 2502);
  for (TXMLNode* n : {nodes[0], nodes[1500], nodes[10]}) EXPECT_EQ(doc.GetNodeByIndex(doc.GetNodeIndex(n)), n);
  EXPECT_EQ(doc.GetNodeIndex(doc.DocumentNode()), 0);
  EXPECT_EQ(doc.GetNodeIndex(nodes[1500]), 1502);
  TXMLNode foreign{};
  for (auto call : {std::function<void()>([&] { doc.GetNodeIndex(&foreign); }),
                    std::function<void()>([&] { doc.GetNodeByIndex(3 * 1024); }),
                    std::function<void()>([&] { doc.GetNodeByIndex(-1); })}) {
    try {
      call();
      FAIL();
    } catch (const EXMLDOMException& e) {
      EXPECT_STREQ(e.what(), "Node not found.");
    }
  }

  // Freed records come back highest address first, one by one and in bulk.
  std::vector<TXMLNode*> freed = {nodes[3], nodes[2000], nodes[7]};
  for (TXMLNode* n : freed) n->DeleteSelf();
  std::sort(freed.begin(), freed.end(), std::greater<>());
  for (TXMLNode* expected : freed) EXPECT_EQ(doc.CreateNode(TXMLNodeType::Text, u"", u"t"), expected);
  r->DeleteChildren();
  std::vector<TXMLNode*> reused;
  // The three made above are detached, so 2497 children were freed.
  for (int i = 0; i < 2497; ++i) reused.push_back(doc.CreateNode(TXMLNodeType::Element, u"n"));
  EXPECT_TRUE(std::is_sorted(reused.begin(), reused.end(), std::greater<>()));
  EXPECT_EQ(doc.NodeCount(), 2502);

  // Clearing without freeing keeps the pages and the table's size.
  for (int i = 0; i < 5000; ++i)
    doc.AddString(u"s" + std::u16string(1, char16_t(u'a' + i % 26)) + U16(std::to_string(i)));
  const size_t buckets = doc.Strings().BucketCount();
  doc.Clear(false);
  EXPECT_EQ(doc.Capacity(), 3 * 1024);
  EXPECT_EQ(doc.NodeCount(), 1);
  EXPECT_EQ(doc.Strings().BucketCount(), buckets);
  doc.Clear(true);
  EXPECT_EQ(doc.Capacity(), 1024);
  EXPECT_EQ(doc.Strings().BucketCount(), 53u);
}

TEST(XMLDocument, DeepNestingNeedsNoStack) {
  constexpr int kDepth = 100000;
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer(Nested(kDepth)));
  EXPECT_EQ(doc.DocumentNode()->GetText(), u"x");
  int visited = 0;
  doc.WalkDocumentOrder(doc.DocumentNode(), -1, true, [&](TXMLNode*) { ++visited; });
  EXPECT_EQ(visited, kDepth + 2);
  TXMLNode* middle = doc.DocumentElement();
  for (int i = 0; i < kDepth / 2; ++i) middle = middle->FirstChild();
  middle->DeleteSelf();
  EXPECT_EQ(doc.DocumentNode()->GetText(), u"");
  doc.DocumentNode()->DeleteChildren();
  const int records = doc.NodeCount();
  doc.CreateNode(TXMLNodeType::Element, u"e");
  EXPECT_EQ(doc.NodeCount(), records);  // a freed record
  // Failing at the very end frees it all again.
  std::string unclosed = Nested(kDepth);
  unclosed.resize(unclosed.size() - 4);
  EXPECT_FALSE(doc.LoadFromBuffer(unclosed));
  EXPECT_FALSE(doc.DocumentNode()->HasChildNodes());
}

TEST(XMLDocument, WalkInDocumentOrder) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer("<r k=\"1\"><a x=\"2\"><b/>t</a><!--c--><?p?><c/></r>"));
  auto walk = [&](int depth, bool attributes) {
    std::string out;
    doc.WalkDocumentOrder(doc.DocumentElement(), depth, attributes, [&](TXMLNode* n) {
      out += (n->NodeType == TXMLNodeType::Text ? std::string("'t'") : U8(n->NodeName())) + " ";
    });
    return out;
  };
  EXPECT_EQ(walk(-1, true), "r k a x b 't' c ");
  EXPECT_EQ(walk(-1, false), "r a b 't' c ");
  EXPECT_EQ(walk(1, false), "r a c ");
  EXPECT_EQ(walk(0, true), "r k ");
}

TEST(XMLDocument, NamespaceOfCreatedElements) {
  TXMLDocument doc;
  TXMLNode* e = doc.CreateElementNS(u"ns3:CoordSystem", u"urn:x");
  doc.DocumentNode()->AppendChild(e);
  EXPECT_EQ(doc.NamespaceURI(e), u"urn:x");
  EXPECT_EQ(doc.NamespaceURI(doc.DocumentNode()), u"");
  e->DeleteSelf();
  EXPECT_EQ(doc.NamespaceURI(e), u"");
}

TEST(XMLResNodeList, Operations) {
  TXMLDocument doc;
  ASSERT_TRUE(doc.LoadFromBuffer("<r><a/><b/><c/></r>"));
  TXMLNode* a = doc.DocumentElement()->FirstChild();
  TXMLNode* b = a->NextSibling;
  TXMLNode* c = b->NextSibling;
  TXMLResNodeList list;
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.GetNextNode(nullptr), nullptr);
  list.Add(a);
  list.Add(b);
  list.Add(c);
  EXPECT_EQ(list.GetNextNode(nullptr), a);
  EXPECT_EQ(list.GetNextNode(nullptr, -1), c);
  EXPECT_EQ(list.GetNextNode(a, 2), c);
  EXPECT_EQ(list.GetNextNode(c), nullptr);
  EXPECT_EQ(list.FindNode(u"b"), b);
  EXPECT_EQ(list.FindNode(u"zz"), nullptr);
  list.Exchange(a, c);
  EXPECT_EQ(list.First(), c);
  EXPECT_EQ(list.Remove(b), 1);
  list.Delete(5);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Last(), a);
}

TEST(IntDictionary, DuplicatesAndOrders) {
  TIntDictionary<int> ignore(TIntDictionaryDuplicates::Ignore, TIntDictionarySort::Ascending);
  EXPECT_EQ(ignore.Add(5, 50), 0);
  EXPECT_EQ(ignore.Add(1, 10), 0);
  EXPECT_EQ(ignore.Add(5, 51), 1);  // the existing one's position
  EXPECT_EQ(ignore.Count(), 2);
  EXPECT_EQ(*ignore.Find(5), 50);

  TIntDictionary<int> accept(TIntDictionaryDuplicates::Accept, TIntDictionarySort::Descending);
  for (int k : {3, 9, 3, 1}) accept.Add(k, k * 10 + accept.Count());
  ASSERT_EQ(accept.Count(), 4);
  EXPECT_EQ(accept.Key(0), 9);
  EXPECT_EQ(accept.Value(1), 30);  // equal keys keep their order
  EXPECT_EQ(accept.Value(2), 32);
  EXPECT_EQ(accept.IndexOf(3), 1);
  EXPECT_EQ(accept.IndexOf(4), -1);

  TIntDictionary<int> error(TIntDictionaryDuplicates::Error, TIntDictionarySort::Unsorted);
  error.Add(7, 0);
  error.Add(2, 0);
  EXPECT_EQ(error.Key(1), 2);
  try {
    error.Add(7, 1);
    FAIL();
  } catch (const EIntDictionaryError& e) {
    EXPECT_STREQ(e.what(), "Dictionary does not allow duplicates");
  }
  std::vector<TIntDictionary<int>::TItem> many;
  for (int k = 20; k > 8; --k) many.push_back({k, k});
  EXPECT_THROW(TIntDictionary<int>(TIntDictionaryDuplicates::Error).AddRange({{1, 1}, {1, 2}}), EIntDictionaryError);
  ignore.AddRange(many);
  ASSERT_EQ(ignore.Count(), 14);
  for (int i = 1; i < ignore.Count(); ++i) EXPECT_LT(ignore.Key(i - 1), ignore.Key(i));
  EXPECT_TRUE(ignore.Remove(9));
  EXPECT_FALSE(ignore.Remove(9));
}
