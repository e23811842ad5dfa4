// Arbitrary path expressions compiled and evaluated on a small tree, and
// arbitrary bytes loaded as a document with a few fixed paths evaluated on it.
// Compiling may raise only its own two exceptions; evaluation raises nothing,
// adds nothing to the string table, and selects exactly what a plain set-wise
// evaluation of the compiled steps selects: in document order without
// duplicates, or, for a walked expression, the same nodes in the order found.
//
// Input: byte 0 chooses the mode (0: expression on the fixed tree, 1: document
// with fixed paths, 2: expression up to the first zero byte, then document),
// byte 1 the context node; the rest is the text.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/stream.h"
#include "platform/text_conversion.h"
#include "xml/xml_document.h"
#include "xml/xml_xpath.h"

namespace {

using xml::TXMLNode;
using xml::TXMLNodeType;
using xml::TXMLXPathSelector;
using SK = xml::TXMLXPathStepKind;

void Check(bool condition) {
  if (!condition) std::abort();
}

const char kTree[] =
    "<?xml version=\"1.0\"?><!--c--><r a=\"1\" b=\"x\"><a n=\"1\" k=\"x\"><b/><b k=\"y\">t<![CDATA[d]]></b>"
    "&amp;<?pi v?><!--e--></a><a n=\"2\"><b n=\"3\"><a k=\"\"/></b>u</a><b k='x y'/>text</r>";

// Every node of the tree in document order: a node, its attributes, then its
// children of any kind.
std::vector<TXMLNode*> AllNodes(TXMLNode* root) {
  std::vector<TXMLNode*> out, stack{root};
  while (!stack.empty()) {
    TXMLNode* n = stack.back();
    stack.pop_back();
    out.push_back(n);
    for (TXMLNode* a = n->FirstAttribute(); a; a = a->NextSibling) out.push_back(a);
    std::vector<TXMLNode*> children;
    for (TXMLNode* c = n->FirstChild(); c; c = c->NextSibling) children.push_back(c);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return out;
}

bool ElementPasses(const TXMLXPathSelector& s, const TXMLNode* n) {
  if (n->NodeType != TXMLNodeType::Element) return false;
  if (s.HasElementName && (s.ElementNameId < 0 || n->NameId != s.ElementNameId)) return false;
  if (!s.HasAttributeName) return true;
  const TXMLNode* a = n->FirstAttribute();
  while (a && (s.AttributeNameId < 0 || a->NameId != s.AttributeNameId)) a = a->NextSibling;
  return a && (!s.HasAttributeValue || (s.AttributeValueId >= 0 && a->ValueId == s.AttributeValueId));
}

bool IsText(const TXMLNode* n) { return n->NodeType == TXMLNodeType::Text || n->NodeType == TXMLNodeType::CData; }

// The selection of one alternative, step by step over sets of nodes.
void Reference(const xml::TXMLXPath& path, TXMLNode* context, TXMLNode* document, std::set<TXMLNode*>& results) {
  std::set<TXMLNode*> current{context};
  for (int i = 0; i < path.Count() && !current.empty(); ++i) {
    const TXMLXPathSelector& s = path.Step(i);
    std::set<TXMLNode*> next;
    for (TXMLNode* n : current) {
      switch (s.Kind) {
        case SK::ParentStep:
          if (n->ParentNode) next.insert(n->ParentNode);
          break;
        case SK::RootStep:
          next.insert(document);
          break;
        case SK::SelfStep:
          next.insert(n);
          break;
        case SK::DescendantStep: {
          std::vector<TXMLNode*> stack{n};
          while (!stack.empty()) {
            TXMLNode* d = stack.back();
            stack.pop_back();
            next.insert(d);
            for (TXMLNode* c = d->FirstChild(); c; c = c->NextSibling)
              if (c->NodeType == TXMLNodeType::Element) stack.push_back(c);
          }
          break;
        }
        case SK::AttributeStep:
          for (TXMLNode* a = n->FirstAttribute(); a; a = a->NextSibling)
            if (!s.HasAttributeName || (s.AttributeNameId >= 0 && a->NameId == s.AttributeNameId)) results.insert(a);
          break;
        case SK::AnyNodeStep:
          for (TXMLNode* a = n->FirstAttribute(); a; a = a->NextSibling) results.insert(a);
          for (TXMLNode* c = n->FirstChild(); c; c = c->NextSibling)
            if (c->NodeType == TXMLNodeType::Element || IsText(c)) next.insert(c);
          break;
        case SK::TextStep:
          for (TXMLNode* c = n->FirstChild(); c; c = c->NextSibling)
            if (IsText(c)) next.insert(c);
          break;
        case SK::ElementStep: {
          std::vector<TXMLNode*> passing;
          for (TXMLNode* c = n->FirstChild(); c; c = c->NextSibling)
            if (ElementPasses(s, c)) passing.push_back(c);
          int64_t wanted = -1;
          if (s.HasPosition) wanted = s.Position;
          if (s.HasFromLast) wanted = static_cast<int64_t>(passing.size()) - 1 + s.FromLastOffset;
          if (!s.HasPosition && !s.HasFromLast) {
            next.insert(passing.begin(), passing.end());
          } else if (wanted >= 0 && wanted < static_cast<int64_t>(passing.size())) {
            next.insert(passing[static_cast<size_t>(wanted)]);
          }
          break;
        }
      }
    }
    current.swap(next);
  }
  results.insert(current.begin(), current.end());
}

void Evaluate(xml::TXMLDocument& doc, TXMLNode* context, std::u16string_view expression) {
  xml::TXMLXPathList list(std::make_unique<xml::TXMLXPathDOMAdapter>(doc));
  try {
    list.Compile(expression);
  } catch (const xml::EXmlXPathInvalidString&) {
    return;
  } catch (const xml::EXmlXPathConvertError&) {
    return;
  }
  const int strings = doc.Strings().Count();
  xml::IXMLNodeListPtr found;
  const bool any = list.Evaluate(*context, found);
  Check(doc.Strings().Count() == strings);
  Check(any == (found && found->Count() > 0));

  std::set<TXMLNode*> expected;
  bool walked = list.Count() == 1, repeats = false;
  for (int i = 0; i < list.Count(); ++i) {
    Reference(list.Path(i), context, doc.DocumentNode(), expected);
    walked = walked && !list.Path(i).Has(SK::DescendantStep);
    repeats = repeats || list.Path(i).Has(SK::ParentStep);
  }
  std::unordered_map<const TXMLNode*, size_t> order;
  for (TXMLNode* n : AllNodes(doc.DocumentNode())) order.emplace(n, order.size());
  std::vector<TXMLNode*> sorted(expected.begin(), expected.end());
  std::sort(sorted.begin(), sorted.end(), [&](TXMLNode* x, TXMLNode* y) { return order.at(x) < order.at(y); });
  std::vector<TXMLNode*> got;
  for (int i = 0; found && i < found->Count(); ++i) got.push_back(found->Get(i));
  if (walked && repeats) {
    Check(std::set<TXMLNode*>(got.begin(), got.end()) == expected);
  } else {
    Check(got == sorted);
  }

  // The tree's entry point gives the same.
  xml::IXMLNodeListPtr selected;
  context->SelectNodes(expression, selected);
  Check(selected && selected->Count() == static_cast<int>(got.size()));
  for (size_t i = 0; i < got.size(); ++i) Check(selected->Get(static_cast<int>(i)) == got[i]);
}

TXMLNode* Context(xml::TXMLDocument& doc, uint8_t choice) {
  const std::vector<TXMLNode*> nodes = AllNodes(doc.DocumentNode());
  return nodes[choice % nodes.size()];
}

const char16_t* const kFixedPaths[] = {
    u"//*",         u"//@*",      u"*/node()",         u"//text()/..",         u"/*[last()]/*[1]|//*[@id]",
    u"..|.|//*[2]", u"*/../*/..", u"node()/node()/@*", u"//*[last()-1]/..//*",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0] % 3, choice = data[1];
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  xml::TXMLDocument doc;
  if (mode == 0) {
    Check(doc.LoadFromBuffer(kTree));
    Evaluate(doc, Context(doc, choice), platform::Utf8ToUtf16(text));
    Evaluate(doc, doc.DocumentElement(), platform::Utf8ToUtf16(text));
    return 0;
  }
  const size_t split = mode == 2 ? std::min(text.find('\0'), text.size()) : 0;
  const std::u16string expression = platform::Utf8ToUtf16(text.substr(0, split));
  const std::string_view bytes = mode == 2 ? text.substr(std::min(split + 1, text.size())) : text;
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  doc.LoadFromStream(stream);
  TXMLNode* context = Context(doc, choice);
  if (mode == 2) {
    Evaluate(doc, context, expression);
  } else {
    for (const char16_t* path : kFixedPaths) Evaluate(doc, context, path);
  }
  return 0;
}
