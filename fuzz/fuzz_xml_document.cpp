// Arbitrary bytes loaded into TXMLDocument and read by TXMLSequentialParser.
//
// After a load the tree must be consistent (links, owners, node indexes), and
// its text, lookups, moves and deletions must keep it so. A document that
// loads must give, read node by node with the parser, the same top-level
// nodes. A sequence of seeks, header reads and node reads drawn from the input
// must never crash, and after a failed seek every later call must fail.
//
// Input: byte 0 chooses the settings, byte 1 seeds the call sequence; the rest
// is the document.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/stream.h"
#include "platform/text_conversion.h"
#include "xml/xml_document.h"
#include "xml/xml_sequential_parser.h"

namespace {

using xml::TXMLNode;

// Aborts with the line of the failed condition, so that a finding says which.
#define Check(condition)                                                           \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition); \
      std::abort();                                                                \
    }                                                                              \
  } while (0)

struct TRandom {
  uint32_t state;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

// Every node reachable from the document node, checked on the way.
size_t CheckTree(xml::TXMLDocument& doc, std::vector<std::u16string>* names) {
  std::vector<TXMLNode*> stack{doc.DocumentNode()};
  size_t count = 0;
  while (!stack.empty()) {
    TXMLNode* node = stack.back();
    stack.pop_back();
    ++count;
    Check(node->OwnerDocument == &doc && node->NameId >= 0 && node->ValueId >= 0);
    Check(doc.GetNodeByIndex(doc.GetNodeIndex(node)) == node);
    if (names && node->NodeType == xml::TXMLNodeType::Element && names->size() < 32)
      names->emplace_back(node->NodeName());
    for (int kind = 0; kind < 2; ++kind) {
      TXMLNode* previous = nullptr;
      for (TXMLNode* child = node->First[kind]; child; child = child->NextSibling) {
        Check(child->ParentNode == node && child->PreviousSibling == previous);
        previous = child;
        stack.push_back(child);
      }
      Check(node->Last[kind] == previous);
    }
  }
  Check(count <= static_cast<size_t>(doc.NodeCount()));
  return count;
}

// A node and its content written compactly, for comparing two trees.
std::string Describe(const TXMLNode* root) {
  std::string out;
  std::vector<std::pair<const TXMLNode*, bool>> stack{{root, false}};
  while (!stack.empty()) {
    auto [node, closing] = stack.back();
    stack.pop_back();
    if (closing) {
      out += ")";
      continue;
    }
    out += std::to_string(static_cast<int>(node->NodeType)) + platform::Utf16ToUtf8(node->NodeName()) + "=" +
           platform::Utf16ToUtf8(node->NodeValue()) + "(";
    stack.push_back({node, true});
    std::vector<const TXMLNode*> children;
    for (int kind = 0; kind < 2; ++kind)
      for (const TXMLNode* child = node->First[kind]; child; child = child->NextSibling) children.push_back(child);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, false});
  }
  return out;
}

void Configure(xml::TXMLReaderSettings& s, uint8_t settings) {
  s.StrictXML = !(settings & 1);
  s.ExpandEntities = !(settings & 2);
  s.BreakReading = (settings & 16) ? xml::TXMLBreakReading::None : xml::TXMLBreakReading::AfterDocumentElement;
}

void ExerciseTree(xml::TXMLDocument& doc, TRandom& random, const std::vector<std::u16string>& names) {
  std::vector<TXMLNode*> nodes;
  doc.WalkDocumentOrder(doc.DocumentNode(), -1, true, [&](TXMLNode* n) {
    if (nodes.size() < 64) nodes.push_back(n);
  });
  auto any_name = [&]() -> std::u16string { return names.empty() ? u"x" : names[random.Below(names.size())]; };
  for (int step = 0; step < 24 && !nodes.empty(); ++step) {
    TXMLNode* a = nodes[random.Below(nodes.size())];
    TXMLNode* b = nodes[random.Below(nodes.size())];
    if (a->NameId < 0 || b->NameId < 0) continue;  // freed by an earlier step
    TXMLNode* found;
    try {
      switch (random.Below(9)) {
        case 0:
          a->GetText();
          break;
        case 1:
          a->FindChild(any_name());
          a->GetAttribute(any_name());
          break;
        case 2:
          a->SelectNode(any_name(), found);
          a->SelectNode(u"@" + any_name(), found);
          break;
        case 3:
          a->AppendChild(b);
          break;
        case 4:
          if (b->ParentNode)
            a->InsertBefore(random.Below(2) ? a : b, b,
                            b->NodeType == xml::TXMLNodeType::Attribute ? xml::nlAttributes : xml::nlChildren);
          break;
        case 5:
          if (a != doc.DocumentNode()) a->DeleteSelf();
          break;
        case 6:
          a->AddAttribute(any_name(), b->NodeName());
          a->AddText(b->NodeName());
          break;
        case 7:
          a->ChildNodes().Get(static_cast<int>(random.Below(4)));
          a->AttributeNodes().Count();
          break;
        case 8:
          a->SetNodeValue(b->NodeValue());
          break;
      }
    } catch (const xml::EXMLDOMException&) {
      // misuse the tree refuses
    } catch (const xml::EXmlXPathInvalidString&) {
      // a name that is a path expression (lenient names may hold "." or "/")
    } catch (const xml::EXmlXPathConvertError&) {
      // ... with a position that is no number
    }
  }
  CheckTree(doc, nullptr);
}

// Top-level nodes read one by one, each described.
std::vector<std::string> ReadNodes(std::string_view text, uint8_t settings) {
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  xml::TXMLSequentialParser parser;
  parser.InitStream(stream);
  Configure(parser.ReaderSettings(), settings);
  std::vector<std::string> nodes;
  TXMLNode* node;
  while (nodes.size() < 10000 && parser.ReadCompleteNode(node)) {
    CheckTree(parser.Tree(), nullptr);
    nodes.push_back(Describe(node));
  }
  return nodes;
}

void RunCalls(std::string_view text, uint8_t settings, TRandom& random, const std::vector<std::u16string>& names) {
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  xml::TXMLSequentialParser parser;
  parser.InitStream(stream);
  Configure(parser.ReaderSettings(), settings);
  bool ended = false;
  for (int call = 0; call < 40; ++call) {
    const bool was_ended = ended;
    bool result = false;
    switch (random.Below(3)) {
      case 0: {
        std::u16string path = random.Below(2) ? u"/" : u"";
        const int parts = static_cast<int>(random.Below(4));
        for (int i = 0; i < parts; ++i) {
          const uint32_t kind = random.Below(8);
          path += kind == 0       ? u".."
                  : kind == 1     ? u"."
                  : kind == 2     ? u""
                  : names.empty() ? u"x"
                                  : names[random.Below(names.size())];
          if (i + 1 < parts || random.Below(4) == 0) path += u'/';
        }
        result = parser.SeekElementPath(path);
        if (!result) ended = true;
        break;
      }
      case 1: {
        TXMLNode* element;
        bool open;
        result = parser.ReadElementHeader(element, open);
        if (result)
          Check(element == parser.Tree().DocumentElement() && element->ParentNode == parser.Tree().DocumentNode());
        break;
      }
      case 2: {
        TXMLNode* node;
        result = parser.ReadCompleteNode(node);
        if (result) {
          CheckTree(parser.Tree(), nullptr);
          node->GetText();
        }
        break;
      }
    }
    if (was_ended) Check(!result);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t settings = data[0];
  TRandom random{static_cast<uint32_t>(data[1]) * 2654435761u + static_cast<uint32_t>(size)};
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  xml::TXMLDocument doc;
  doc.WhiteSpaceHandling = static_cast<xml::TXMLWhiteSpaceHandling>((settings >> 2) & 3);
  Configure(doc.ReaderSettings, settings);
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  std::vector<std::u16string> names;
  const bool loaded = doc.LoadFromStream(stream);
  if (loaded) {
    Check(!doc.ParseError());
  } else {
    Check(doc.ParseError() && !doc.DocumentNode()->HasChildNodes());
  }
  CheckTree(doc, &names);
  doc.DocumentNode()->GetText();

  // The parser's node reads against the tree's top-level nodes, under the
  // parser tree's own white-space policy.
  if ((settings & 16) && loaded && doc.WhiteSpaceHandling == xml::TXMLWhiteSpaceHandling::OmitWhiteSpaceOnly) {
    // Each node read lets the reader take a later "<?xml" for a declaration
    // again (the node read forgets that an element was opened), which the
    // whole load reads as an instruction; the comparison ends before one.
    std::vector<std::string> expected;
    for (TXMLNode* n = doc.DocumentNode()->FirstChild(); n; n = n->NextSibling) {
      if (n != doc.DocumentNode()->FirstChild() && n->NodeType == xml::TXMLNodeType::ProcessingInstruction &&
          n->NodeName().size() == 3 && (n->NodeName()[0] | 0x20) == u'x' && (n->NodeName()[1] | 0x20) == u'm' &&
          (n->NodeName()[2] | 0x20) == u'l')
        break;
      expected.push_back(Describe(n));
    }
    if (expected.size() < 10000) {
      std::vector<std::string> read = ReadNodes(text, settings);
      if (read.size() > expected.size()) read.resize(expected.size());
      Check(read == expected);
    }
  }

  ExerciseTree(doc, random, names);
  doc.Clear(false);
  CheckTree(doc, nullptr);

  RunCalls(text, settings, random, names);
  return 0;
}
