#pragma once
// Node selection by a restricted path expression over a TXMLDocument tree: the
// compiled expression, the adapter through which it sees the tree, and the
// result list it hands out.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xml {

struct TXMLNode;
class TXMLDocument;
enum class TXMLNodeType : uint8_t;

// Raised by compiling a malformed or unsupported path expression.
class EXmlXPathInvalidString : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by compiling a position or offset that passes as digits but is no
// number (a sign alone, or a value beyond the integer range).
class EXmlXPathConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// An ordered list of nodes that does not own them. Counted: the list lives as
// long as a holder of its interface.
class IXMLNodeList {
 public:
  virtual ~IXMLNodeList() = default;
  virtual int Count() const = 0;
  // Null outside 0..Count()-1.
  virtual TXMLNode* Get(int index) const = 0;
  virtual TXMLNode* First() const = 0;
  virtual TXMLNode* Last() const = 0;
  // -1 when the node is not in the list.
  virtual int IndexOf(const TXMLNode* node) const = 0;
  // The first node of that name; null when the name never occurs in the document.
  virtual TXMLNode* FindNode(std::u16string_view name) const = 0;
  // Ignored when the index is out of range.
  virtual void Delete(int index) = 0;
  // Removes the first occurrence; returns its former index or -1.
  virtual int Remove(const TXMLNode* node) = 0;
  // Ignored when a position is out of range or a node not in the list.
  virtual void Exchange(int index1, int index2) = 0;
  virtual void Exchange(const TXMLNode* node1, const TXMLNode* node2) = 0;
  // Without a node: the first node (step > 0) or the last (otherwise); with
  // one: the node step positions away from it; null when that leaves the list.
  virtual TXMLNode* GetNextNode(const TXMLNode* node, int step = 1) const = 0;
};
using IXMLNodeListPtr = std::shared_ptr<IXMLNodeList>;

class TXMLResNodeList : public IXMLNodeList {
 public:
  int Count() const override { return static_cast<int>(nodes_.size()); }
  TXMLNode* Get(int index) const override;
  TXMLNode* First() const override { return nodes_.empty() ? nullptr : nodes_.front(); }
  TXMLNode* Last() const override { return nodes_.empty() ? nullptr : nodes_.back(); }
  int IndexOf(const TXMLNode* node) const override;
  TXMLNode* FindNode(std::u16string_view name) const override;
  void Delete(int index) override;
  int Remove(const TXMLNode* node) override;
  void Exchange(int index1, int index2) override;
  void Exchange(const TXMLNode* node1, const TXMLNode* node2) override;
  TXMLNode* GetNextNode(const TXMLNode* node, int step = 1) const override;

  void Add(TXMLNode* node) { nodes_.push_back(node); }
  void Clear() { nodes_.clear(); }

 private:
  std::vector<TXMLNode*> nodes_;
};

// Nodes by number and numbers by node, for evaluation in document order. A
// node is found by its key, a small number of its own that the adapter gives
// (TXMLXPathAdapter::NodeKey); the table has a page for each 1024 keys in use.
class TXMLXPathNodeMap {
 public:
  void Clear();
  // Gives node the next number.
  int Add(TXMLNode* node, int32_t key);
  // -1 for a key without number.
  int NumberOf(int32_t key) const;
  TXMLNode* Node(int number) const { return nodes_[static_cast<size_t>(number)]; }
  int Count() const { return static_cast<int>(nodes_.size()); }

 private:
  static constexpr int kPageBits = 10;
  std::vector<TXMLNode*> nodes_;
  std::vector<std::unique_ptr<int32_t[]>> pages_;  // number + 1 by key, 0 for none
};

class TXMLXPathAdapter;

// The children or the attributes of a node, walked through an adapter.
class TXMLXPathNodes {
 public:
  class iterator {
   public:
    iterator(const TXMLXPathAdapter* adapter, TXMLNode* node) : adapter_(adapter), node_(node) {}
    TXMLNode* operator*() const { return node_; }
    iterator& operator++();
    bool operator!=(const iterator& other) const { return node_ != other.node_; }

   private:
    const TXMLXPathAdapter* adapter_;
    TXMLNode* node_;
  };
  TXMLXPathNodes(const TXMLXPathAdapter* adapter, TXMLNode* first) : adapter_(adapter), first_(first) {}
  iterator begin() const { return {adapter_, first_}; }
  iterator end() const { return {adapter_, nullptr}; }

 private:
  const TXMLXPathAdapter* adapter_;
  TXMLNode* first_;
};

// The evaluator's view of a tree, so that the path logic does not depend on
// the node layout.
class TXMLXPathAdapter {
 public:
  virtual ~TXMLXPathAdapter() = default;

  // Numbers start and the nodes below it down to max_depth levels (negative:
  // all) in document order, attributes included or not; also is numbered in
  // its place whatever its kind.
  virtual void NumberNodes(TXMLNode* start, int max_depth, bool with_attributes, const TXMLNode* also,
                           TXMLXPathNodeMap& map) = 0;
  // A number of the node's own, from 0 and below the count of records of the
  // tree, for the lookup in a TXMLXPathNodeMap; -1 for a node of another tree.
  virtual int32_t NodeKey(const TXMLNode* node) const = 0;
  // The list of the current evaluation, made on first use.
  virtual std::shared_ptr<TXMLResNodeList> ResultList() = 0;
  virtual void AddResult(TXMLNode* node) = 0;
  virtual int32_t NodeNameId(const TXMLNode* node) const = 0;
  virtual int32_t NodeValueId(const TXMLNode* node) const = 0;
  // -1 for a text that is not in the string table; never adds it.
  virtual int32_t StringId(std::u16string_view text) const = 0;
  virtual TXMLNodeType NodeType(const TXMLNode* node) const = 0;
  virtual void NodeInfo(const TXMLNode* node, int32_t& name_id, int32_t& value_id, TXMLNodeType& type) const = 0;
  virtual bool HasAttributes(const TXMLNode* node) const = 0;
  virtual TXMLNode* AttributeByName(TXMLNode* node, int32_t name_id) const = 0;
  virtual TXMLXPathNodes Attributes(const TXMLNode* node) const = 0;
  virtual TXMLNode* Parent(const TXMLNode* node) const = 0;
  virtual TXMLNode* DocumentNode() const = 0;
  virtual bool HasChildNodes(const TXMLNode* node) const = 0;
  virtual TXMLXPathNodes ChildNodes(const TXMLNode* node) const = 0;
  // The next node in the same list of children or attributes.
  virtual TXMLNode* NextNode(const TXMLNode* node) const = 0;

  // Drops the list of the last evaluation (its holders keep it).
  void ReleaseResultList() { result_.reset(); }

 protected:
  std::shared_ptr<TXMLResNodeList> result_;
};

class TXMLXPathDOMAdapter : public TXMLXPathAdapter {
 public:
  explicit TXMLXPathDOMAdapter(TXMLDocument& document) : document_(document) {}

  void NumberNodes(TXMLNode* start, int max_depth, bool with_attributes, const TXMLNode* also,
                   TXMLXPathNodeMap& map) override;
  int32_t NodeKey(const TXMLNode* node) const override;
  std::shared_ptr<TXMLResNodeList> ResultList() override;
  void AddResult(TXMLNode* node) override;
  int32_t NodeNameId(const TXMLNode* node) const override;
  int32_t NodeValueId(const TXMLNode* node) const override;
  int32_t StringId(std::u16string_view text) const override;
  TXMLNodeType NodeType(const TXMLNode* node) const override;
  void NodeInfo(const TXMLNode* node, int32_t& name_id, int32_t& value_id, TXMLNodeType& type) const override;
  bool HasAttributes(const TXMLNode* node) const override;
  TXMLNode* AttributeByName(TXMLNode* node, int32_t name_id) const override;
  TXMLXPathNodes Attributes(const TXMLNode* node) const override;
  TXMLNode* Parent(const TXMLNode* node) const override;
  TXMLNode* DocumentNode() const override;
  bool HasChildNodes(const TXMLNode* node) const override;
  TXMLXPathNodes ChildNodes(const TXMLNode* node) const override;
  TXMLNode* NextNode(const TXMLNode* node) const override;

  TXMLDocument& Document() const { return document_; }

 private:
  TXMLDocument& document_;
};

enum class TXMLXPathStepKind : uint8_t {
  AnyNodeStep = 0,     // node()
  ElementStep = 1,     // a name or "*", with at most one predicate
  AttributeStep = 2,   // "@" and a name or "*"
  TextStep = 3,        // text()
  ParentStep = 4,      // ..
  RootStep = 5,        // an empty first step
  SelfStep = 6,        // .
  DescendantStep = 7,  // an empty step after the first
};

// One step of an alternative. A test whose name or value is not in the
// document's string table has the id -1 and passes no node.
struct TXMLXPathSelector {
  TXMLXPathStepKind Kind = TXMLXPathStepKind::ElementStep;
  bool HasElementName = false;
  int32_t ElementNameId = -1;
  bool HasAttributeName = false;  // the element has to have this attribute
  int32_t AttributeNameId = -1;
  bool HasAttributeValue = false;  // ... with this value
  int32_t AttributeValueId = -1;
  bool HasPosition = false;
  int32_t Position = 0;  // 0-based
  bool HasFromLast = false;
  int32_t FromLastOffset = 0;
  const TXMLXPathSelector* Next = nullptr;
  int Level = 0;
  // The texts behind the ids: the ids are looked up again before each
  // evaluation, since the string table may have changed since compiling.
  std::u16string ElementName, AttributeName, AttributeValue;
};

// One alternative: its steps, first step first.
class TXMLXPath {
 public:
  explicit TXMLXPath(std::vector<TXMLXPathSelector> steps);
  TXMLXPath(TXMLXPath&&) = default;
  TXMLXPath& operator=(TXMLXPath&&) = default;
  TXMLXPath(const TXMLXPath&) = delete;
  TXMLXPath& operator=(const TXMLXPath&) = delete;

  const TXMLXPathSelector* First() const { return steps_.empty() ? nullptr : &steps_.front(); }
  int Count() const { return static_cast<int>(steps_.size()); }
  const TXMLXPathSelector& Step(int index) const { return steps_[static_cast<size_t>(index)]; }
  bool Has(TXMLXPathStepKind kind) const;
  void Bind(const TXMLXPathAdapter& adapter);

 private:
  std::vector<TXMLXPathSelector> steps_;  // linked through Next; the buffer never moves
};

// One compiled expression: its alternatives and the adapter it evaluates through.
class TXMLXPathList {
 public:
  explicit TXMLXPathList(std::unique_ptr<TXMLXPathAdapter> adapter);
  ~TXMLXPathList();

  // Replaces the alternatives; raises EXmlXPathInvalidString (or, for a
  // position that is no number, EXmlXPathConvertError) and keeps the old
  // ones on a bad expression.
  void Compile(std::u16string_view expression);
  // True when at least one node was selected; list is then the result list,
  // in document order without duplicates unless the expression is a single
  // alternative without "//" (then in the order found).
  bool Evaluate(TXMLNode& context, IXMLNodeListPtr& list);

  int Count() const { return static_cast<int>(paths_.size()); }
  const TXMLXPath& Path(int index) const { return paths_[static_cast<size_t>(index)]; }
  TXMLXPathAdapter& Adapter() const { return *adapter_; }

 private:
  class TEvaluation;
  std::vector<TXMLXPath> paths_;
  std::unique_ptr<TXMLXPathAdapter> adapter_;
};

// What SelectNodes of the tree calls: compiles path and evaluates it with
// context as the context node. Returns the list of selected nodes, or null
// when nothing was selected. Raises the compile errors of TXMLXPathList.
IXMLNodeListPtr XPathSelectNodes(TXMLNode& context, std::u16string_view path);

}  // namespace xml
