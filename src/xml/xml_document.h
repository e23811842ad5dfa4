#pragma once
// A compact XML document tree: fixed-size node records in pages owned by the
// document, names and values interned in one string table of the document and
// held in the records as integer ids.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml/hashed_strings.h"
#include "xml/int_dictionary.h"
#include "xml/text_parse_error.h"
#include "xml/xml_reader.h"
#include "xml/xml_xpath.h"

namespace common {
class TStream;
}

namespace xml {

class TXMLDocument;
class TXMLNodeList;

class EXMLDOMException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TXMLNodeType : uint8_t {
  Document = 0,
  DocType = 1,
  XMLDeclaration = 2,
  Element = 3,
  Attribute = 4,
  Text = 5,
  EntityReference = 6,
  CData = 7,
  Comment = 8,
  ProcessingInstruction = 9,
};

// The two lists of a node.
enum TXMLNodeListKind : int { nlChildren = 0, nlAttributes = 1 };

enum class TXMLWhiteSpaceHandling : uint8_t { Trim = 0, PreserveAll = 1, OmitWhiteSpaceOnly = 2, FollowXmlSpace = 3 };

// XmlSpace of a node.
enum : uint8_t { xsNotSet = 0, xsPreserve = 1, xsDefault = 2 };

// One node record. Records never move; a node is addressed by a pointer to its
// record, which stays valid until the node is freed or the document cleared.
struct TXMLNode {
  TXMLNodeType NodeType;
  int32_t NameId;  // id in the document's string table; -1 in a freed record
  int32_t ValueId;
  TXMLNode* ParentNode;
  TXMLNode* First[2];  // FirstChild, FirstAttribute
  TXMLNode* Last[2];   // LastChild, LastAttribute
  TXMLNode* NextSibling;
  TXMLNode* PreviousSibling;
  uint8_t XmlSpace;
  TXMLDocument* OwnerDocument;

  TXMLNode* FirstChild() const { return First[nlChildren]; }
  TXMLNode* FirstAttribute() const { return First[nlAttributes]; }
  TXMLNode* LastChild() const { return Last[nlChildren]; }
  TXMLNode* LastAttribute() const { return Last[nlAttributes]; }
  bool HasChildNodes() const { return First[nlChildren] != nullptr; }
  bool HasAttributes() const { return First[nlAttributes] != nullptr; }

  std::u16string_view NodeName() const;
  // For an XML declaration its attributes as written in XML text; for any other
  // node the value (empty for elements and the document).
  std::u16string NodeValue() const;
  // For the document and elements the texts of all descendants joined in
  // document order (comments and instructions left out); for text, entity
  // references and character data the value; otherwise empty.
  std::u16string GetText() const;
  void SetNodeValue(std::u16string_view text);

  // With node null, the first child (attribute); otherwise node's next
  // sibling. True while the result is a node.
  bool GetNextChild(TXMLNode*& node) const;
  bool GetNextAttribute(TXMLNode*& node) const;
  // The cached list object of the children or attributes.
  TXMLNodeList& ChildNodes();
  TXMLNodeList& AttributeNodes();

  // Lookups by name never add the name to the string table.
  TXMLNode* FindChild(std::u16string_view name) const;
  TXMLNode* FindAttribute(std::u16string_view name);
  TXMLNode* FindAttributeById(int32_t name_id);
  std::u16string GetAttribute(std::u16string_view name, std::u16string_view default_value = {});

  TXMLNode* AddChild(std::u16string_view name);
  // Null when no attribute node was made (xml:space under FollowXmlSpace);
  // the existing attribute of that name when it was replaced.
  TXMLNode* AddAttribute(std::u16string_view name, std::u16string_view value);
  // Null when the white-space policy left no text.
  TXMLNode* AddText(std::u16string_view text);
  TXMLNode* AddXMLDeclaration();

  // Moves node (from its parent, if any) to the end of the children, or of
  // the attributes for an attribute node.
  TXMLNode* AppendChild(TXMLNode* node);
  // Inserts node before reference in the list; without a reference, appends.
  TXMLNode* InsertBefore(TXMLNode* node, TXMLNode* reference, TXMLNodeListKind list = nlChildren);
  // Unlinks node from the list; the node stays allocated.
  TXMLNode* RemoveChild(TXMLNode* node, TXMLNodeListKind list = nlChildren);
  void DeleteChildren();
  void DeleteAttributes();
  void DeleteSelf();

  // A plain child name, or "@" and an attribute name, is looked up directly;
  // any other path is evaluated as a path expression.
  bool SelectNode(std::u16string_view path, TXMLNode*& node);
  bool SelectNodes(std::u16string_view path, IXMLNodeListPtr& list);

  // Builds nodes under this node (the document node or an element) from the
  // tokens of reader. With a stop node, stops after the first token that
  // leaves the current node at stop (or at none). False on a parse error, which
  // the document's ParseError then holds; the node is left without children.
  // With headers_only, an element that is this node or one of its children is
  // built with its name and attributes only: its content is read through
  // (parse errors and all) without being built.
  bool LoadFromReader(TXMLReader& reader, const TXMLReaderToken*& last_token, TXMLNode* stop_node = nullptr,
                      bool headers_only = false);

  // True when XmlSpace of the nearest node (this or an ancestor) that has it
  // set says preserve.
  bool PreserveInEffect() const;
};

// The cached list object of one node's children or attributes: counts once and
// remembers the last position asked for, so walking by index is linear.
class TXMLNodeList {
 public:
  TXMLNodeList(TXMLNode* owner, TXMLNodeListKind kind);
  int Count() const { return count_; }
  // Null outside 0..Count()-1.
  TXMLNode* Get(int index);
  TXMLNode* First() const { return owner_->First[kind_]; }
  TXMLNode* Last() const { return owner_->Last[kind_]; }
  int IndexOf(const TXMLNode* node) const;

 private:
  friend class TXMLDocument;
  friend struct TXMLNode;
  void Appended() { ++count_; }
  void Changed(int delta) {
    count_ += delta;
    position_ = -1;
    at_ = nullptr;
  }

  TXMLNode* owner_;
  TXMLNodeListKind kind_;
  int count_ = 0;
  int position_ = -1;
  TXMLNode* at_ = nullptr;
};

// Indexes the attributes of one element by name id; built for the element whose
// attribute lookup had to scan more than 256 attributes.
class TXMLAttributeIndex {
 public:
  static constexpr int kScanLimit = 256;

  TXMLNode* Element() const { return element_; }
  void Build(TXMLNode* element);
  void Clear();
  // The first attribute of that name, or null.
  TXMLNode* Find(int32_t name_id);
  void Added(TXMLNode* attribute);

 private:
  TXMLNode* element_ = nullptr;
  TIntDictionary<TXMLNode*> map_{TIntDictionaryDuplicates::Ignore, TIntDictionarySort::Ascending};
};

class TXMLDocument {
 public:
  static constexpr int kPageSize = 1024;

  // Optionally with an XML declaration (version 1.0, utf-8, standalone) and a
  // root element of the given name.
  explicit TXMLDocument(std::u16string_view root_name = {}, bool add_declaration = false);
  virtual ~TXMLDocument();
  TXMLDocument(const TXMLDocument&) = delete;
  TXMLDocument& operator=(const TXMLDocument&) = delete;

  // Frees node with its children and attributes (unlinking it first when it
  // still has a parent). The document node itself only loses its content.
  virtual void FreeNode(TXMLNode* node);
  // Without free_pages the node pages and the string table's storage are kept
  // for reuse.
  void Clear(bool free_pages = true);

  TXMLNode* DocumentNode() const { return document_node_; }
  TXMLNode* DocumentElement() const;
  TXMLNode* CreateNode(TXMLNodeType type, std::u16string_view name, std::u16string_view value = {});
  // An element that carries an explicit namespace URI.
  TXMLNode* CreateElementNS(std::u16string_view name, std::u16string_view namespace_uri);
  // The namespace URI a node was created with, empty for all others.
  std::u16string_view NamespaceURI(const TXMLNode* node) const;

  // Index = page number * 1024 + slot; raise "Node not found." for a pointer
  // (an index) that lies in no record of the pages.
  int GetNodeIndex(const TXMLNode* node) const;
  TXMLNode* GetNodeByIndex(int index) const;
  int NodeCount() const { return count_; }
  int Capacity() const { return capacity_; }

  std::u16string Encoding() const { return DeclarationAttribute(u"encoding"); }
  std::u16string Version() const { return DeclarationAttribute(u"version"); }
  std::u16string Standalone() const { return DeclarationAttribute(u"standalone"); }
  void SetEncoding(std::u16string_view value) { SetDeclarationAttribute(u"encoding", value); }
  void SetVersion(std::u16string_view value) { SetDeclarationAttribute(u"version", value); }
  void SetStandalone(std::u16string_view value) { SetDeclarationAttribute(u"standalone", value); }
  // The code page of Encoding, 65001 when the name is unknown or missing.
  uint32_t CodePage() const;
  void SetCodePage(uint32_t code_page);

  // Each clears the document (freeing its pages) and loads it. False on a
  // parse error, which ParseError then holds.
  bool LoadFromStream(common::TStream& stream, TEncodingPtr forced_encoding = nullptr);
  bool LoadFromFile(const std::string& utf8_path, TEncodingPtr forced_encoding = nullptr);
  bool LoadFromXML(std::u16string_view text);
  bool LoadFromBuffer(std::string_view utf8_bytes);

  TXMLWhiteSpaceHandling WhiteSpaceHandling = TXMLWhiteSpaceHandling::OmitWhiteSpaceOnly;
  TXMLReaderSettings ReaderSettings;
  bool Loading = false;
  std::u16string URL;

  const ITextParseErrorPtr& ParseError() const { return parse_error_; }
  void SetParseError(ITextParseErrorPtr error) { parse_error_ = std::move(error); }

  // The string table: ids of names and values.
  const THashedStrings& Strings() const { return strings_; }
  int32_t AddString(std::u16string_view text) { return strings_.AddString(text); }
  // -1 when the text was never interned; never adds.
  int32_t IndexOfString(std::u16string_view text) const { return strings_.IndexOfString(text); }
  std::u16string_view GetString(int32_t id) const { return strings_.GetString(id); }

  // Visits start and the nodes below it, down to max_depth levels (0: start
  // only, negative: all), in document order: a node, then its attributes
  // (with_attributes), then its element, text, entity-reference and
  // character-data children. No recursion, so any depth is safe. The node
  // also, when given, is visited in its place even when it is of another kind
  // (a comment, say, or an attribute without with_attributes, whose owner is
  // then visited too).
  template <class F>
  void WalkDocumentOrder(TXMLNode* start, int max_depth, bool with_attributes, F&& visit,
                         const TXMLNode* also = nullptr) const;

  // The list handed out by a selection that found nothing, emptied.
  IXMLNodeListPtr EmptyResultList();

  TXMLAttributeIndex& AttributeIndex() { return attribute_index_; }

 protected:
  virtual void ClearInternals(bool free_pages);
  virtual void InitDocument();

 private:
  friend struct TXMLNode;

  TXMLNode* NewRecord();
  TXMLNode* NewNode(TXMLNodeType type, int32_t name_id, int32_t value_id);
  // Links node (unlinked) into parent's list before the given node, or last.
  void Link(TXMLNode* parent, TXMLNode* node, TXMLNodeListKind kind, TXMLNode* before = nullptr);
  void Unlink(TXMLNode* node, TXMLNodeListKind kind);
  // Freeing runs without recursion, in batches: BeginFree, any number of
  // FreeSubtree/FreeList, EndFree records the freed records.
  void BeginFree();
  void FreeSubtree(TXMLNode* root);  // root unlinked already
  void FreeList(TXMLNode* owner, TXMLNodeListKind kind);
  void ReleaseRecord(TXMLNode* node);
  void EndFree();
  void RebuildFreed();
  TXMLNodeList* CachedList(const TXMLNode* node, TXMLNodeListKind kind) const;
  TXMLNodeList& ListObject(TXMLNode* node, TXMLNodeListKind kind);
  std::u16string DeclarationAttribute(std::u16string_view name) const;
  void SetDeclarationAttribute(std::u16string_view name, std::u16string_view value);
  TXMLNode* FirstDeclaration() const;
  bool Load(common::TStream& stream, TEncodingPtr forced_encoding);

  THashedStrings strings_;
  std::vector<std::unique_ptr<TXMLNode[]>> pages_;
  // Page starts sorted by address, with their page numbers, for GetNodeIndex.
  std::vector<std::pair<const TXMLNode*, int>> page_order_;
  // Freed records by address; the highest address is reused first.
  TIntDictionary<TXMLNode*> freed_{TIntDictionaryDuplicates::Ignore, TIntDictionarySort::Ascending};
  std::unordered_map<const TXMLNode*, std::unique_ptr<TXMLNodeList>> lists_[2];
  std::unordered_map<const TXMLNode*, int32_t> namespaces_;
  TXMLAttributeIndex attribute_index_;
  int count_ = 0;     // records handed out (slots 0..count_-1)
  int capacity_ = 0;  // records in the pages
  TXMLNode* document_node_ = nullptr;
  std::shared_ptr<TXMLResNodeList> empty_result_;
  ITextParseErrorPtr parse_error_;
  int32_t empty_id_ = 0;
  std::vector<TXMLNode*> scratch_;  // the records freed in the current batch
  bool sweep_ = false;              // a large batch: rebuild the freed records from the pages
};

template <class F>
void TXMLDocument::WalkDocumentOrder(TXMLNode* start, int max_depth, bool with_attributes, F&& visit,
                                     const TXMLNode* also) const {
  if (!start) return;
  const TXMLNode* also_owner = also && also->NodeType == TXMLNodeType::Attribute ? also->ParentNode : nullptr;
  auto walked = [also, also_owner](const TXMLNode* n) {
    if (n == also || n == also_owner) return true;
    switch (n->NodeType) {
      case TXMLNodeType::Element:
      case TXMLNodeType::Text:
      case TXMLNodeType::EntityReference:
      case TXMLNodeType::CData:
        return true;
      default:
        return false;
    }
  };
  auto enter = [&](TXMLNode* n) {
    visit(n);
    if (with_attributes) {
      for (TXMLNode* a = n->First[nlAttributes]; a; a = a->NextSibling) visit(a);
    } else if (n == also_owner) {
      visit(const_cast<TXMLNode*>(also));
    }
  };
  enter(start);
  if (max_depth == 0) return;
  int depth = 0;
  TXMLNode* node = start;
  // Depth first over the child links; the walk climbs back by ParentNode.
  for (;;) {
    TXMLNode* next = nullptr;
    if (max_depth < 0 || depth < max_depth)
      for (next = node->First[nlChildren]; next && !walked(next);) next = next->NextSibling;
    if (next) {
      ++depth;
    } else {
      for (;;) {
        if (node == start) return;
        for (next = node->NextSibling; next && !walked(next);) next = next->NextSibling;
        if (next) break;
        node = node->ParentNode;
        --depth;
      }
    }
    node = next;
    enter(node);
  }
}

}  // namespace xml
