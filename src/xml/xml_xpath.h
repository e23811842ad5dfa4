#pragma once
// Node selection by a general path expression over a TXMLDocument tree, and the
// result list it hands out.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xml {

struct TXMLNode;

// Raised by compiling a malformed or unsupported path expression.
class EXmlXPathInvalidString : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An ordered list of nodes that does not own them.
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

// The one entry point of the evaluator: compiles path and evaluates it with
// context as the context node. Returns the list of selected nodes, or null
// when nothing was selected. Raises EXmlXPathInvalidString for a bad path.
IXMLNodeListPtr XPathSelectNodes(TXMLNode& context, std::u16string_view path);

}  // namespace xml
