#include "xml/xml_document.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "common/stream.h"
#include "common/text_format.h"
#include "platform/text_compare.h"
#include "platform/text_conversion.h"

namespace xml {

namespace {

using NT = TXMLNodeType;
using TT = TXMLReaderTokenType;

const char kNotDocumentOrElement[] = "Node must be a DOMDocument or an element.";
const char kDifferentDocument[] = "You can't insert a node from a different XML document.";
const char kNotChildForInsert[] = "You can't insert node before a node that is not a child of current node.";
const char kNotChildForDelete[] = "You can't delete a node that is not a child of current node.";
const char kNodeNotFound[] = "Node not found.";
const char kEmptyPath[] = "XPath cannot be empty.";
const char kOwnSubtree[] = "You can't insert a node into its own subtree.";

inline bool IsWhite(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

bool IsWhiteOnly(std::u16string_view text) {
  for (char16_t c : text)
    if (!IsWhite(c)) return false;
  return true;
}

// Text that white-space normalisation would change: white space at either
// end, or two white-space characters in a row (a CR LF pair counts as one).
bool NeedsPreserving(std::u16string_view text) {
  if (text.empty()) return false;
  if (IsWhite(text.front()) || IsWhite(text.back())) return true;
  for (size_t i = 1; i < text.size(); ++i)
    if (IsWhite(text[i]) && IsWhite(text[i - 1]) && !(text[i - 1] == u'\r' && text[i] == u'\n')) return true;
  return false;
}

std::u16string_view TrimView(std::u16string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && text[first] <= u' ') ++first;
  while (last > first && text[last - 1] <= u' ') --last;
  return text.substr(first, last - first);
}

void AppendEscaped(std::u16string& out, std::u16string_view value) {
  for (char16_t c : value) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      default:
        out += c;
    }
  }
}

// A text that may lie in the document's string table is copied to holder
// before another text is added to the table.
std::u16string_view Stable(const THashedStrings& strings, std::u16string_view text, std::u16string& holder) {
  if (!strings.Owns(text)) return text;
  holder.assign(text);
  return holder;
}

bool HasText(NT type) { return type == NT::Text || type == NT::EntityReference || type == NT::CData; }
bool HasContent(NT type) { return type == NT::Document || type == NT::Element; }

// The list (children or attributes) of its parent that node is linked in.
int ListOf(const TXMLNode* node) {
  const TXMLNode* head = node;
  while (head->PreviousSibling) head = head->PreviousSibling;
  const TXMLNode* parent = node->ParentNode;
  if (!parent) return -1;
  if (parent->First[nlChildren] == head) return nlChildren;
  if (parent->First[nlAttributes] == head) return nlAttributes;
  return -1;
}

}  // namespace

// --- list objects and the attribute index ---------------------------------------

TXMLNodeList::TXMLNodeList(TXMLNode* owner, TXMLNodeListKind kind) : owner_(owner), kind_(kind) {
  for (TXMLNode* n = owner->First[kind]; n; n = n->NextSibling) ++count_;
}

TXMLNode* TXMLNodeList::Get(int index) {
  if (index < 0 || index >= count_) return nullptr;
  // Walk from whichever known position is nearest: the first, the last, or
  // the one asked for last time.
  TXMLNode* node = owner_->First[kind_];
  int at = 0;
  if (count_ - 1 - index < index) {
    node = owner_->Last[kind_];
    at = count_ - 1;
  }
  if (at_ && std::abs(position_ - index) < std::abs(at - index)) {
    node = at_;
    at = position_;
  }
  while (at < index && node) {
    node = node->NextSibling;
    ++at;
  }
  while (at > index && node) {
    node = node->PreviousSibling;
    --at;
  }
  position_ = at;
  at_ = node;
  return node;
}

int TXMLNodeList::IndexOf(const TXMLNode* node) const {
  int index = 0;
  for (const TXMLNode* n = owner_->First[kind_]; n; n = n->NextSibling, ++index)
    if (n == node) return index;
  return -1;
}

void TXMLAttributeIndex::Build(TXMLNode* element) {
  map_.Clear();
  element_ = element;
  std::vector<TIntDictionary<TXMLNode*>::TItem> items;
  for (TXMLNode* a = element->First[nlAttributes]; a; a = a->NextSibling) items.push_back({a->NameId, a});
  // Equal names keep the first attribute, as a scan would find it.
  map_.AddRange(std::move(items));
}

void TXMLAttributeIndex::Clear() {
  element_ = nullptr;
  map_.Clear();
}

TXMLNode* TXMLAttributeIndex::Find(int32_t name_id) {
  TXMLNode** found = map_.Find(name_id);
  return found ? *found : nullptr;
}

void TXMLAttributeIndex::Added(TXMLNode* attribute) { map_.Add(attribute->NameId, attribute); }

// --- the document: records ---------------------------------------------------------

TXMLDocument::TXMLDocument(std::u16string_view root_name, bool add_declaration) {
  InitDocument();
  if (add_declaration) {
    TXMLNode* declaration = document_node_->AddXMLDeclaration();
    declaration->AddAttribute(u"version", u"1.0");
    declaration->AddAttribute(u"encoding", u"utf-8");
    declaration->AddAttribute(u"standalone", u"yes");
  }
  if (!root_name.empty()) document_node_->AddChild(root_name);
}

TXMLDocument::~TXMLDocument() = default;

void TXMLDocument::InitDocument() {
  document_node_ = CreateNode(NT::Document, {}, {});
  empty_id_ = document_node_->ValueId;
}

void TXMLDocument::Clear(bool free_pages) {
  ClearInternals(free_pages);
  InitDocument();
}

void TXMLDocument::ClearInternals(bool free_pages) {
  strings_.Clear(free_pages);
  lists_[nlChildren].clear();
  lists_[nlAttributes].clear();
  namespaces_.clear();
  attribute_index_.Clear();
  if (empty_result_) empty_result_->Clear();
  count_ = 0;
  document_node_ = nullptr;
  if (free_pages) {
    freed_.Release();
    pages_.clear();
    page_order_.clear();
    capacity_ = 0;
    std::vector<TXMLNode*>().swap(scratch_);
  } else {
    freed_.Clear();
  }
}

TXMLNode* TXMLDocument::NewRecord() {
  if (freed_.Count() > 0) {
    // The freed record with the highest address.
    TXMLNode* node = freed_.Value(freed_.Count() - 1);
    freed_.Delete(freed_.Count() - 1);
    return node;
  }
  if (count_ == capacity_) {
    auto page = std::make_unique_for_overwrite<TXMLNode[]>(kPageSize);
    const TXMLNode* start = page.get();
    const int number = static_cast<int>(pages_.size());
    pages_.push_back(std::move(page));
    auto at = std::upper_bound(page_order_.begin(), page_order_.end(), start,
                               [](const TXMLNode* p, const auto& entry) { return std::less<>()(p, entry.first); });
    page_order_.insert(at, {start, number});
    capacity_ += kPageSize;
  }
  const int index = count_++;
  return &pages_[static_cast<size_t>(index / kPageSize)][static_cast<size_t>(index % kPageSize)];
}

TXMLNode* TXMLDocument::NewNode(TXMLNodeType type, int32_t name_id, int32_t value_id) {
  TXMLNode* node = NewRecord();
  node->NodeType = type;
  node->NameId = name_id;
  node->ValueId = value_id;
  node->ParentNode = nullptr;
  node->First[0] = node->First[1] = nullptr;
  node->Last[0] = node->Last[1] = nullptr;
  node->NextSibling = node->PreviousSibling = nullptr;
  node->XmlSpace = xsNotSet;
  node->OwnerDocument = this;
  return node;
}

TXMLNode* TXMLDocument::CreateNode(TXMLNodeType type, std::u16string_view name, std::u16string_view value) {
  std::u16string holder;
  value = Stable(strings_, value, holder);
  const int32_t name_id = strings_.AddString(name);
  const int32_t value_id = strings_.AddString(value);
  return NewNode(type, name_id, value_id);
}

TXMLNode* TXMLDocument::CreateElementNS(std::u16string_view name, std::u16string_view namespace_uri) {
  std::u16string holder;
  namespace_uri = Stable(strings_, namespace_uri, holder);
  TXMLNode* node = CreateNode(NT::Element, name, {});
  namespaces_[node] = strings_.AddString(namespace_uri);
  return node;
}

std::u16string_view TXMLDocument::NamespaceURI(const TXMLNode* node) const {
  auto it = namespaces_.find(node);
  return it == namespaces_.end() ? std::u16string_view() : std::u16string_view(strings_.GetString(it->second));
}

int TXMLDocument::GetNodeIndex(const TXMLNode* node) const {
  auto at = std::upper_bound(page_order_.begin(), page_order_.end(), node,
                             [](const TXMLNode* p, const auto& entry) { return std::less<>()(p, entry.first); });
  if (at != page_order_.begin()) {
    --at;
    const uintptr_t offset = reinterpret_cast<uintptr_t>(node) - reinterpret_cast<uintptr_t>(at->first);
    if (offset < sizeof(TXMLNode) * kPageSize && offset % sizeof(TXMLNode) == 0)
      return at->second * kPageSize + static_cast<int>(offset / sizeof(TXMLNode));
  }
  throw EXMLDOMException(kNodeNotFound);
}

TXMLNode* TXMLDocument::GetNodeByIndex(int index) const {
  if (index < 0 || index >= capacity_) throw EXMLDOMException(kNodeNotFound);
  return &pages_[static_cast<size_t>(index / kPageSize)][static_cast<size_t>(index % kPageSize)];
}

TXMLNode* TXMLDocument::DocumentElement() const {
  for (TXMLNode* n = document_node_->First[nlChildren]; n; n = n->NextSibling)
    if (n->NodeType == NT::Element) return n;
  return nullptr;
}

IXMLNodeListPtr TXMLDocument::EmptyResultList() {
  if (!empty_result_) empty_result_ = std::make_shared<TXMLResNodeList>();
  empty_result_->Clear();
  return empty_result_;
}

// --- linking ------------------------------------------------------------------------

TXMLNodeList* TXMLDocument::CachedList(const TXMLNode* node, TXMLNodeListKind kind) const {
  const auto& lists = lists_[kind];
  if (lists.empty()) return nullptr;
  auto it = lists.find(node);
  return it == lists.end() ? nullptr : it->second.get();
}

TXMLNodeList& TXMLDocument::ListObject(TXMLNode* node, TXMLNodeListKind kind) {
  auto& slot = lists_[kind][node];
  if (!slot) slot = std::make_unique<TXMLNodeList>(node, kind);
  return *slot;
}

void TXMLDocument::Link(TXMLNode* parent, TXMLNode* node, TXMLNodeListKind kind, TXMLNode* before) {
  if (TXMLNodeList* list = CachedList(parent, kind)) {
    if (before) {
      list->Changed(+1);
    } else {
      list->Appended();
    }
  }
  if (kind == nlAttributes && attribute_index_.Element() == parent) {
    if (before) {
      attribute_index_.Clear();
    } else {
      attribute_index_.Added(node);
    }
  }
  node->ParentNode = parent;
  if (before) {
    node->NextSibling = before;
    node->PreviousSibling = before->PreviousSibling;
    if (before->PreviousSibling) {
      before->PreviousSibling->NextSibling = node;
    } else {
      parent->First[kind] = node;
    }
    before->PreviousSibling = node;
    return;
  }
  TXMLNode* last = parent->Last[kind];
  node->PreviousSibling = last;
  node->NextSibling = nullptr;
  if (last) {
    last->NextSibling = node;
  } else {
    parent->First[kind] = node;
  }
  parent->Last[kind] = node;
}

void TXMLDocument::Unlink(TXMLNode* node, TXMLNodeListKind kind) {
  TXMLNode* parent = node->ParentNode;
  if (TXMLNodeList* list = CachedList(parent, kind)) list->Changed(-1);
  if (kind == nlAttributes && attribute_index_.Element() == parent) attribute_index_.Clear();
  if (node->PreviousSibling) {
    node->PreviousSibling->NextSibling = node->NextSibling;
  } else {
    parent->First[kind] = node->NextSibling;
  }
  if (node->NextSibling) {
    node->NextSibling->PreviousSibling = node->PreviousSibling;
  } else {
    parent->Last[kind] = node->PreviousSibling;
  }
  node->ParentNode = node->NextSibling = node->PreviousSibling = nullptr;
}

// --- freeing --------------------------------------------------------------------------

void TXMLDocument::BeginFree() {
  scratch_.clear();
  sweep_ = false;
}

void TXMLDocument::ReleaseRecord(TXMLNode* node) {
  for (auto& lists : lists_)
    if (!lists.empty()) lists.erase(node);
  if (!namespaces_.empty()) namespaces_.erase(node);
  if (attribute_index_.Element() == node) attribute_index_.Clear();
  node->NameId = node->ValueId = -1;
  node->ParentNode = node->NextSibling = node->PreviousSibling = nullptr;
  node->First[0] = node->First[1] = node->Last[0] = node->Last[1] = nullptr;
  node->XmlSpace = xsNotSet;
  // A batch of more than a sixteenth of all records is recorded by one pass
  // over the pages, which needs no list of its own.
  if (sweep_) return;
  if (scratch_.size() * 16 > static_cast<size_t>(count_) && scratch_.size() >= 64) {
    sweep_ = true;
    return;
  }
  scratch_.push_back(node);
}

void TXMLDocument::FreeSubtree(TXMLNode* root) {
  // Post-order over the links: a node is released once both its lists are
  // empty, and unlinked from the head of its parent's list as it goes.
  TXMLNode* node = root;
  for (;;) {
    if (TXMLNode* child = node->First[nlChildren] ? node->First[nlChildren] : node->First[nlAttributes]) {
      node = child;
      continue;
    }
    if (node == root) {
      ReleaseRecord(node);
      return;
    }
    TXMLNode* parent = node->ParentNode;
    TXMLNode* next = node->NextSibling;
    const int kind = parent->First[nlChildren] == node ? nlChildren : nlAttributes;
    parent->First[kind] = next;
    if (next) {
      next->PreviousSibling = nullptr;
    } else {
      parent->Last[kind] = nullptr;
    }
    ReleaseRecord(node);
    node = next ? next : parent;
  }
}

void TXMLDocument::FreeList(TXMLNode* owner, TXMLNodeListKind kind) {
  if (!owner->First[kind]) return;
  if (TXMLNodeList* list = CachedList(owner, kind)) list->Changed(-list->Count());
  if (kind == nlAttributes && attribute_index_.Element() == owner) attribute_index_.Clear();
  while (TXMLNode* head = owner->First[kind]) {
    owner->First[kind] = head->NextSibling;
    head->ParentNode = head->NextSibling = head->PreviousSibling = nullptr;
    FreeSubtree(head);
  }
  owner->Last[kind] = nullptr;
}

void TXMLDocument::EndFree() {
  if (sweep_) {
    RebuildFreed();
  } else if (scratch_.size() < 8) {
    for (TXMLNode* node : scratch_) freed_.Add(reinterpret_cast<intptr_t>(node), node);
  } else {
    std::vector<TIntDictionary<TXMLNode*>::TItem> items;
    items.reserve(scratch_.size());
    for (TXMLNode* node : scratch_) items.push_back({reinterpret_cast<intptr_t>(node), node});
    freed_.AddRange(std::move(items));
  }
  scratch_.clear();
  sweep_ = false;
}

void TXMLDocument::RebuildFreed() {
  // Every handed-out record whose name id is -1 is free; the pages are visited
  // in address order, so the keys arrive sorted.
  freed_.Clear();
  for (const auto& [start, number] : page_order_) {
    const int first = number * kPageSize;
    const int n = std::min(kPageSize, count_ - first);
    TXMLNode* page = pages_[static_cast<size_t>(number)].get();
    for (int slot = 0; slot < n; ++slot)
      if (page[slot].NameId < 0) freed_.Add(reinterpret_cast<intptr_t>(&page[slot]), &page[slot]);
  }
}

void TXMLDocument::FreeNode(TXMLNode* node) {
  if (!node || node->NameId < 0) return;
  if (node->OwnerDocument != this) {
    node->OwnerDocument->FreeNode(node);
    return;
  }
  BeginFree();
  if (node == document_node_) {
    FreeList(node, nlChildren);
    FreeList(node, nlAttributes);
  } else {
    if (node->ParentNode) {
      const int kind = ListOf(node);
      if (kind >= 0) Unlink(node, static_cast<TXMLNodeListKind>(kind));
    }
    FreeSubtree(node);
  }
  EndFree();
}

// --- declaration attributes ----------------------------------------------------------

TXMLNode* TXMLDocument::FirstDeclaration() const {
  for (TXMLNode* n = document_node_->First[nlChildren]; n; n = n->NextSibling)
    if (n->NodeType == NT::XMLDeclaration) return n;
  return nullptr;
}

std::u16string TXMLDocument::DeclarationAttribute(std::u16string_view name) const {
  TXMLNode* declaration = FirstDeclaration();
  return declaration ? declaration->GetAttribute(name) : std::u16string();
}

void TXMLDocument::SetDeclarationAttribute(std::u16string_view name, std::u16string_view value) {
  std::u16string name_holder, value_holder;
  name = Stable(strings_, name, name_holder);
  value = Stable(strings_, value, value_holder);
  TXMLNode* declaration = FirstDeclaration();
  if (!declaration) {
    if (TXMLNode* first = document_node_->First[nlChildren]) {
      declaration = CreateNode(NT::XMLDeclaration, {}, {});
      Link(document_node_, declaration, nlChildren, first);
    } else {
      declaration = document_node_->AddXMLDeclaration();
    }
  }
  declaration->AddAttribute(name, value);
}

uint32_t TXMLDocument::CodePage() const {
  const uint32_t code_page = CodePageFromAlias(Encoding());
  return code_page ? code_page : 65001;
}

void TXMLDocument::SetCodePage(uint32_t code_page) { SetEncoding(platform::Utf8ToUtf16(AliasFromCodePage(code_page))); }

// --- loading -----------------------------------------------------------------------------

bool TXMLDocument::Load(common::TStream& stream, TEncodingPtr forced_encoding) {
  TXMLReader reader;
  reader.Settings() = ReaderSettings;
  reader.InitStream(stream, std::move(forced_encoding));
  reader.SetURL(URL);
  const TXMLReaderToken* last = nullptr;
  if (!document_node_->LoadFromReader(reader, last)) return false;
  ReaderSettings.EntityList = reader.Settings().EntityList;
  return true;
}

bool TXMLDocument::LoadFromStream(common::TStream& stream, TEncodingPtr forced_encoding) {
  Clear(true);
  return Load(stream, std::move(forced_encoding));
}

bool TXMLDocument::LoadFromFile(const std::string& utf8_path, TEncodingPtr forced_encoding) {
  URL = platform::Utf8ToUtf16(utf8_path);
  common::TFileStream file(utf8_path, common::TFileMode::fmOpenReadShared);
  return LoadFromStream(file, std::move(forced_encoding));
}

bool TXMLDocument::LoadFromXML(std::u16string_view text) {
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size() * sizeof(char16_t)));
  return LoadFromStream(stream, Shared(EncodingUTF16LE()));
}

bool TXMLDocument::LoadFromBuffer(std::string_view utf8_bytes) {
  common::TVirtualMemoryStream stream(utf8_bytes.data(), static_cast<int64_t>(utf8_bytes.size()));
  return LoadFromStream(stream, Shared(EncodingUTF8()));
}

// --- node operations -------------------------------------------------------------------

std::u16string_view TXMLNode::NodeName() const { return OwnerDocument->GetString(NameId); }

std::u16string TXMLNode::NodeValue() const {
  if (NodeType != NT::XMLDeclaration) return std::u16string(OwnerDocument->GetString(ValueId));
  std::u16string out;
  for (const TXMLNode* a = First[nlAttributes]; a; a = a->NextSibling) {
    if (a != First[nlAttributes]) out += u' ';
    out += a->NodeName();
    out += u"=\"";
    AppendEscaped(out, OwnerDocument->GetString(a->ValueId));
    out += u'"';
  }
  return out;
}

std::u16string TXMLNode::GetText() const {
  if (HasText(NodeType)) return std::u16string(OwnerDocument->GetString(ValueId));
  std::u16string out;
  if (!HasContent(NodeType)) return out;
  // Depth first without recursion, into elements only.
  const TXMLNode* node = First[nlChildren];
  while (node) {
    if (HasText(node->NodeType)) out += OwnerDocument->GetString(node->ValueId);
    if (HasContent(node->NodeType) && node->First[nlChildren]) {
      node = node->First[nlChildren];
      continue;
    }
    while (node != this && !node->NextSibling) node = node->ParentNode;
    if (node == this) break;
    node = node->NextSibling;
  }
  return out;
}

void TXMLNode::SetNodeValue(std::u16string_view text) {
  TXMLDocument& doc = *OwnerDocument;
  if (NodeType == NT::XMLDeclaration) {
    // The text is the attribute list of a start tag.
    std::u16string tag = u"<d ";
    tag += text;
    tag += u"/>";
    TXMLReader reader;
    common::TVirtualMemoryStream stream(tag.data(), static_cast<int64_t>(tag.size() * sizeof(char16_t)));
    reader.InitStream(stream, Shared(EncodingUTF16LE()));
    DeleteAttributes();
    const TXMLReaderToken* token;
    while (reader.ReadNextToken(token) && token->TokenType != TT::FinishOpenElementClose &&
           token->TokenType != TT::FinishOpenElement)
      if (token->TokenType == TT::Attribute) AddAttribute(token->TokenName, token->TokenValue);
    return;
  }
  if (NodeType == NT::Text && doc.WhiteSpaceHandling == TXMLWhiteSpaceHandling::Trim) text = TrimView(text);
  ValueId = doc.AddString(text);
}

bool TXMLNode::GetNextChild(TXMLNode*& node) const {
  node = node ? node->NextSibling : First[nlChildren];
  return node != nullptr;
}

bool TXMLNode::GetNextAttribute(TXMLNode*& node) const {
  node = node ? node->NextSibling : First[nlAttributes];
  return node != nullptr;
}

TXMLNodeList& TXMLNode::ChildNodes() { return OwnerDocument->ListObject(this, nlChildren); }
TXMLNodeList& TXMLNode::AttributeNodes() { return OwnerDocument->ListObject(this, nlAttributes); }

TXMLNode* TXMLNode::FindChild(std::u16string_view name) const {
  const int32_t id = OwnerDocument->IndexOfString(name);
  if (id < 0) return nullptr;
  for (TXMLNode* n = First[nlChildren]; n; n = n->NextSibling)
    if (n->NameId == id) return n;
  return nullptr;
}

TXMLNode* TXMLNode::FindAttribute(std::u16string_view name) {
  return FindAttributeById(OwnerDocument->IndexOfString(name));
}

TXMLNode* TXMLNode::FindAttributeById(int32_t name_id) {
  if (!First[nlAttributes] || name_id < 0) return nullptr;
  TXMLAttributeIndex& index = OwnerDocument->attribute_index_;
  if (index.Element() == this) return index.Find(name_id);
  int passed = 0;
  TXMLNode* found = nullptr;
  for (TXMLNode* a = First[nlAttributes]; a; a = a->NextSibling, ++passed)
    if (a->NameId == name_id) {
      found = a;
      break;
    }
  if (passed > TXMLAttributeIndex::kScanLimit) index.Build(this);
  return found;
}

std::u16string TXMLNode::GetAttribute(std::u16string_view name, std::u16string_view default_value) {
  const TXMLNode* attribute = FindAttribute(name);
  return attribute ? attribute->NodeValue() : std::u16string(default_value);
}

TXMLNode* TXMLNode::AddChild(std::u16string_view name) {
  TXMLDocument& doc = *OwnerDocument;
  TXMLNode* node = doc.NewNode(NT::Element, doc.AddString(name), doc.empty_id_);
  doc.Link(this, node, nlChildren);
  return node;
}

TXMLNode* TXMLNode::AddAttribute(std::u16string_view name, std::u16string_view value) {
  TXMLDocument& doc = *OwnerDocument;
  if (doc.WhiteSpaceHandling == TXMLWhiteSpaceHandling::FollowXmlSpace && platform::SameText(name, u"xml:space")) {
    XmlSpace = (!value.empty() && (value[0] == u'p' || value[0] == u'P')) ? xsPreserve : xsDefault;
    return nullptr;
  }
  std::u16string holder;
  value = Stable(doc.strings_, value, holder);
  const int32_t name_id = doc.AddString(name);
  if (TXMLNode* existing = FindAttributeById(name_id)) {
    existing->SetNodeValue(value);
    return existing;
  }
  TXMLNode* node = doc.NewNode(NT::Attribute, name_id, doc.AddString(value));
  doc.Link(this, node, nlAttributes);
  return node;
}

bool TXMLNode::PreserveInEffect() const {
  for (const TXMLNode* n = this; n; n = n->ParentNode)
    if (n->XmlSpace != xsNotSet) return n->XmlSpace == xsPreserve;
  return false;
}

TXMLNode* TXMLNode::AddText(std::u16string_view text) {
  TXMLDocument& doc = *OwnerDocument;
  switch (doc.WhiteSpaceHandling) {
    case TXMLWhiteSpaceHandling::OmitWhiteSpaceOnly:
      if (IsWhiteOnly(text)) return nullptr;
      break;
    case TXMLWhiteSpaceHandling::Trim:
      text = TrimView(text);
      break;
    case TXMLWhiteSpaceHandling::PreserveAll:
      break;
    case TXMLWhiteSpaceHandling::FollowXmlSpace:
      if (doc.Loading) {
        if (!PreserveInEffect()) text = TrimView(text);
      } else if (NeedsPreserving(text) && !PreserveInEffect()) {
        XmlSpace = xsPreserve;
      }
      break;
  }
  if (text.empty()) return nullptr;
  TXMLNode* node = doc.NewNode(NT::Text, doc.empty_id_, doc.AddString(text));
  doc.Link(this, node, nlChildren);
  return node;
}

TXMLNode* TXMLNode::AddXMLDeclaration() {
  TXMLDocument& doc = *OwnerDocument;
  TXMLNode* node = doc.NewNode(NT::XMLDeclaration, doc.AddString(u"xml"), doc.empty_id_);
  doc.Link(this, node, nlChildren);
  return node;
}

namespace {

// Inserting node under parent: same document, a live record, and never into
// node's own subtree (which would make the tree a cycle).
void CheckInsertion(const TXMLNode* parent, const TXMLNode* node) {
  if (node->OwnerDocument != parent->OwnerDocument) throw EXMLDOMException(kDifferentDocument);
  if (node->NameId < 0) throw EXMLDOMException(kNodeNotFound);
  if (node == node->OwnerDocument->DocumentNode()) throw EXMLDOMException(kOwnSubtree);
  for (const TXMLNode* p = parent; p; p = p->ParentNode)
    if (p == node) throw EXMLDOMException(kOwnSubtree);
}

TXMLNodeListKind HomeList(const TXMLNode* node) { return node->NodeType == NT::Attribute ? nlAttributes : nlChildren; }

}  // namespace

TXMLNode* TXMLNode::AppendChild(TXMLNode* node) {
  if (!node) return nullptr;
  CheckInsertion(this, node);
  TXMLDocument& doc = *OwnerDocument;
  if (node->ParentNode) {
    const int kind = ListOf(node);
    if (kind >= 0) doc.Unlink(node, static_cast<TXMLNodeListKind>(kind));
  }
  doc.Link(this, node, HomeList(node));
  return node;
}

TXMLNode* TXMLNode::InsertBefore(TXMLNode* node, TXMLNode* reference, TXMLNodeListKind list) {
  if (!node) return nullptr;
  if (reference && (reference->ParentNode != this || ListOf(reference) != list))
    throw EXMLDOMException(kNotChildForInsert);
  if (node == reference) return node;
  CheckInsertion(this, node);
  TXMLDocument& doc = *OwnerDocument;
  if (node->ParentNode) {
    const int kind = ListOf(node);
    if (kind >= 0) doc.Unlink(node, static_cast<TXMLNodeListKind>(kind));
  }
  doc.Link(this, node, list, reference);
  return node;
}

TXMLNode* TXMLNode::RemoveChild(TXMLNode* node, TXMLNodeListKind list) {
  if (!node || node->ParentNode != this || ListOf(node) != list) throw EXMLDOMException(kNotChildForDelete);
  OwnerDocument->Unlink(node, list);
  return node;
}

void TXMLNode::DeleteChildren() {
  if (!First[nlChildren]) return;
  TXMLDocument& doc = *OwnerDocument;
  doc.BeginFree();
  doc.FreeList(this, nlChildren);
  doc.EndFree();
}

void TXMLNode::DeleteAttributes() {
  if (!First[nlAttributes]) return;
  TXMLDocument& doc = *OwnerDocument;
  doc.BeginFree();
  doc.FreeList(this, nlAttributes);
  doc.EndFree();
}

void TXMLNode::DeleteSelf() { OwnerDocument->FreeNode(this); }

bool TXMLNode::SelectNode(std::u16string_view path, TXMLNode*& node) {
  node = nullptr;
  if (path.empty()) throw EXMLDOMException(kEmptyPath);
  auto plain = [](std::u16string_view name) { return name.find_first_of(u"./[") == std::u16string_view::npos; };
  if (path[0] == u'@' && plain(path.substr(1))) {
    node = FindAttribute(path.substr(1));
  } else if (plain(path)) {
    node = FindChild(path);
  } else {
    IXMLNodeListPtr list;
    if (SelectNodes(path, list)) node = list->First();
  }
  return node != nullptr;
}

bool TXMLNode::SelectNodes(std::u16string_view path, IXMLNodeListPtr& list) {
  list = XPathSelectNodes(*this, path);
  if (list && list->Count() > 0) return true;
  list = OwnerDocument->EmptyResultList();
  return false;
}

bool TXMLNode::LoadFromReader(TXMLReader& reader, const TXMLReaderToken*& last_token, TXMLNode* stop_node,
                              bool headers_only) {
  if (NodeType != NT::Document && NodeType != NT::Element) throw EXMLDOMException(kNotDocumentOrElement);
  TXMLDocument& doc = *OwnerDocument;
  doc.parse_error_.reset();
  DeleteChildren();
  doc.Loading = true;
  last_token = nullptr;
  TXMLNode* current = this;
  int skipped = 0;  // elements open in content read through, the outlined one included
  const TXMLReaderToken* token;
  while (reader.ReadNextToken(token)) {
    last_token = token;
    const TT type = token->TokenType;
    if (skipped > 0) {
      if (type == TT::OpenElement) ++skipped;
      if (type == TT::FinishOpenElementClose) --skipped;
      // The end of the outlined element is taken as any end.
      if (type != TT::CloseElement || --skipped > 0) continue;
    }
    bool left = false;  // the token ended this node itself
    switch (type) {
      case TT::OpenXMLDeclaration:
        current = current->AddXMLDeclaration();
        break;
      case TT::XMLDeclarationAttribute:
      case TT::Attribute:
        current->AddAttribute(token->TokenName, token->TokenValue);
        break;
      case TT::FinishXMLDeclaration:
      case TT::FinishOpenElementClose:
      case TT::CloseElement:
        left = current == this;
        current = current->ParentNode;
        break;
      case TT::OpenElement:
        current = current->AddChild(token->TokenName);
        break;
      case TT::FinishOpenElement:
        if (headers_only && (current == this || current->ParentNode == this)) skipped = 1;
        break;
      case TT::Text:
        if (!current->AddText(token->TokenValue)) continue;
        break;
      case TT::EntityReference:
      case TT::CData:
      case TT::Comment:
      case TT::ProcessingInstruction:
      case TT::DocType: {
        static constexpr NT kTypes[] = {NT::EntityReference, NT::CData, NT::Comment, NT::ProcessingInstruction,
                                        NT::DocType};
        const NT node_type = kTypes[static_cast<int>(type) - static_cast<int>(TT::EntityReference)];
        TXMLNode* node = doc.CreateNode(node_type, token->TokenName, token->TokenValue);
        doc.Link(current, node, nlChildren);
        break;
      }
      default:
        break;
    }
    if (stop_node && type != TT::OpenXMLDeclaration && type != TT::XMLDeclarationAttribute && type != TT::OpenElement &&
        type != TT::Attribute && (!current || current == stop_node))
      break;
    // Nothing is built outside this node, whatever follows in the text.
    if (left) break;
  }
  doc.Loading = false;
  doc.URL.clear();
  if (reader.ParseError()) {
    doc.parse_error_ = reader.ParseError();
    DeleteChildren();
    return false;
  }
  return true;
}

// --- the result list -----------------------------------------------------------------

TXMLNode* TXMLResNodeList::Get(int index) const {
  return index >= 0 && index < Count() ? nodes_[static_cast<size_t>(index)] : nullptr;
}

int TXMLResNodeList::IndexOf(const TXMLNode* node) const {
  auto it = std::find(nodes_.begin(), nodes_.end(), node);
  return it == nodes_.end() ? -1 : static_cast<int>(it - nodes_.begin());
}

TXMLNode* TXMLResNodeList::FindNode(std::u16string_view name) const {
  if (nodes_.empty()) return nullptr;
  const int32_t id = nodes_.front()->OwnerDocument->IndexOfString(name);
  if (id < 0) return nullptr;
  for (TXMLNode* n : nodes_)
    if (n->NameId == id) return n;
  return nullptr;
}

void TXMLResNodeList::Delete(int index) {
  if (index >= 0 && index < Count()) nodes_.erase(nodes_.begin() + index);
}

int TXMLResNodeList::Remove(const TXMLNode* node) {
  const int index = IndexOf(node);
  Delete(index);
  return index;
}

void TXMLResNodeList::Exchange(int index1, int index2) {
  if (index1 >= 0 && index1 < Count() && index2 >= 0 && index2 < Count())
    std::swap(nodes_[static_cast<size_t>(index1)], nodes_[static_cast<size_t>(index2)]);
}

void TXMLResNodeList::Exchange(const TXMLNode* node1, const TXMLNode* node2) {
  Exchange(IndexOf(node1), IndexOf(node2));
}

TXMLNode* TXMLResNodeList::GetNextNode(const TXMLNode* node, int step) const {
  if (!node) return step > 0 ? First() : Last();
  const int index = IndexOf(node);
  if (index < 0) return nullptr;
  return Get(index + step);
}

}  // namespace xml
