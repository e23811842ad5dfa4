#include "xml/xml_xpath.h"

#include <algorithm>
#include <bit>
#include <climits>

#include "common/text_format.h"
#include "platform/text_conversion.h"
#include "xml/xml_document.h"

namespace xml {

namespace {

using NT = TXMLNodeType;
using SK = TXMLXPathStepKind;

const char kEmptyExpression[] = "XPath cannot be empty.";

// A walk without "//" that has taken this many step and node pairs (results
// included) is repeating itself through ".." (without "..", no pair comes
// twice); it is redone in document order, which takes each pair once.
constexpr int64_t kWalkBudget = int64_t{1} << 21;

bool SameAsciiText(std::u16string_view text, std::u16string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != lower[i]) return false;
  }
  return true;
}

// Splits at separator, except between single or double quotes.
std::vector<std::u16string_view> SplitOutsideQuotes(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string_view> parts;
  char16_t quote = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == u'\'' || c == u'"') {
      quote = c;
    } else if (c == separator) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

// Decimal digits after at most one sign; a sign alone passes too and is
// refused by ToNumber.
bool IsSignedDigits(std::u16string_view text) {
  if (!text.empty() && (text[0] == u'+' || text[0] == u'-')) text.remove_prefix(1);
  for (char16_t c : text)
    if (c < u'0' || c > u'9') return false;
  return true;
}

[[noreturn]] void NotSupported(std::u16string_view step) {
  throw EXmlXPathInvalidString("XPath is not supported.\r\nXPath: " + platform::Utf16ToUtf8(step));
}

[[noreturn]] void PredicateNotSupported(std::u16string_view predicate, std::u16string_view step) {
  throw EXmlXPathInvalidString("XPath predicate \"" + platform::Utf16ToUtf8(predicate) +
                               "\" is not supported.\r\nXPath: " + platform::Utf16ToUtf8(step));
}

[[noreturn]] void PredicateNotValid(std::u16string_view predicate, std::u16string_view step) {
  throw EXmlXPathInvalidString("XPath predicate \"" + platform::Utf16ToUtf8(predicate) +
                               "\" is not valid.\r\nXPath: " + platform::Utf16ToUtf8(step));
}

int32_t ToNumber(std::u16string_view text, std::u16string_view step) {
  std::u16string_view digits = text;
  const bool negative = !digits.empty() && digits[0] == u'-';
  if (!digits.empty() && (digits[0] == u'+' || digits[0] == u'-')) digits.remove_prefix(1);
  int64_t value = 0;
  bool fits = !digits.empty();
  for (char16_t c : digits) {
    value = value * 10 + (c - u'0');
    if (value > int64_t{INT32_MAX} + 1) {
      fits = false;
      break;
    }
  }
  if (negative) value = -value;
  if (!fits || value > INT32_MAX)
    throw EXmlXPathConvertError("\"" + platform::Utf16ToUtf8(text) +
                                "\" is not a number.\r\nXPath: " + platform::Utf16ToUtf8(step));
  return static_cast<int32_t>(value);
}

void CompilePredicate(std::u16string_view predicate, std::u16string_view step, TXMLXPathSelector& s) {
  static constexpr std::u16string_view kLast = u"last()";
  if (IsSignedDigits(predicate)) {
    const int32_t position = ToNumber(predicate, step);
    s.HasPosition = true;
    s.Position = position > 0 ? position - 1 : -1;  // nothing has a position below 1
  } else if (predicate.starts_with(kLast)) {
    const std::u16string rest = common::Trim(predicate.substr(kLast.size()));
    if (!rest.empty() && !IsSignedDigits(rest)) PredicateNotSupported(rest, step);
    s.HasFromLast = true;
    s.FromLastOffset = rest.empty() ? 0 : ToNumber(rest, step);
  } else if (predicate[0] == u'@') {
    const size_t equals = predicate.find(u'=');
    s.HasAttributeName = true;
    if (equals == std::u16string_view::npos) {
      s.AttributeName = predicate.substr(1);
      return;
    }
    s.AttributeName = predicate.substr(1, equals - 1);
    std::u16string value = common::Trim(predicate.substr(equals + 1));
    if (!value.empty() && (value[0] == u'\'' || value[0] == u'"')) {
      if (value.size() < 2 || value.back() != value[0]) PredicateNotValid(value, step);
      value = value.substr(1, value.size() - 2);
    }
    s.HasAttributeValue = true;
    s.AttributeValue = value;
  } else {
    PredicateNotSupported(predicate, step);
  }
}

TXMLXPathSelector CompileStep(std::u16string_view text, bool first) {
  TXMLXPathSelector s;
  const std::u16string step = common::Trim(text);
  if (!step.empty() && step[0] == u'@') {
    s.Kind = SK::AttributeStep;
    if (step != u"@*") {
      s.HasAttributeName = true;
      s.AttributeName = step.substr(1);
    }
  } else if (SameAsciiText(step, u"node()")) {
    s.Kind = SK::AnyNodeStep;
  } else if (SameAsciiText(step, u"text()")) {
    s.Kind = SK::TextStep;
  } else if (step.empty()) {
    s.Kind = first ? SK::RootStep : SK::DescendantStep;
  } else if (step == u"..") {
    s.Kind = SK::ParentStep;
  } else if (step == u".") {
    s.Kind = SK::SelfStep;
  } else {
    s.Kind = SK::ElementStep;
    std::u16string name = step;
    const size_t bracket = step.find(u'[');
    if (bracket != std::u16string::npos) {
      if (step.back() != u']') NotSupported(step);
      name = common::Trim(std::u16string_view(step).substr(0, bracket));
      const std::u16string predicate =
          common::Trim(std::u16string_view(step).substr(bracket + 1, step.size() - bracket - 2));
      if (!predicate.empty()) CompilePredicate(predicate, step, s);
    }
    if (name != u"*") {
      s.HasElementName = true;
      s.ElementName = name;
    }
  }
  return s;
}

// Pairs of step and node number, kept as words of 64 numbers in an open
// hash table, so that a step met at few nodes costs little however far their
// numbers lie apart.
class TPairs {
 public:
  // True when the pair is new.
  bool Add(int step, int number) {
    const uint64_t key = (static_cast<uint64_t>(step) << 32) | (static_cast<uint32_t>(number) >> 6);
    const uint64_t bit = uint64_t{1} << (number & 63);
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    TSlot& slot = Find(key);
    if (slot.Key == kFree) {
      slot.Key = key;
      ++used_;
    } else if (slot.Bits & bit) {
      return false;
    }
    slot.Bits |= bit;
    return true;
  }

 private:
  static constexpr uint64_t kFree = ~uint64_t{0};
  struct TSlot {
    uint64_t Key = kFree;
    uint64_t Bits = 0;
  };

  TSlot& Find(uint64_t key) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>((key * 0x9E3779B97F4A7C15u) >> 20) & mask;; i = (i + 1) & mask)
      if (slots_[i].Key == key || slots_[i].Key == kFree) return slots_[i];
  }

  void Grow() {
    std::vector<TSlot> old(std::max<size_t>(64, slots_.size() * 2));
    old.swap(slots_);
    for (const TSlot& slot : old)
      if (slot.Key != kFree) Find(slot.Key) = slot;
  }

  std::vector<TSlot> slots_;
  size_t used_ = 0;
};

// Bits by number, growing as numbers are met.
class TBits {
 public:
  // True when the bit was clear.
  bool Set(int number) {
    const size_t word = static_cast<size_t>(number) >> 6;
    if (word >= words_.size()) words_.resize(word + 1 + words_.size() / 2);
    const uint64_t bit = uint64_t{1} << (number & 63);
    if (words_[word] & bit) return false;
    words_[word] |= bit;
    return true;
  }
  template <class F>
  void ForEach(F&& f) const {
    for (size_t word = 0; word < words_.size(); ++word)
      for (uint64_t bits = words_[word]; bits; bits &= bits - 1)
        f(static_cast<int>(word * 64 + static_cast<size_t>(std::countr_zero(bits))));
  }

 private:
  std::vector<uint64_t> words_;
};

}  // namespace

// --- node map and ranges ------------------------------------------------------

void TXMLXPathNodeMap::Clear() {
  nodes_.clear();
  for (auto& page : pages_)
    if (page) std::fill_n(page.get(), 1 << kPageBits, 0);
}

int TXMLXPathNodeMap::Add(TXMLNode* node, int32_t key) {
  const int number = Count();
  nodes_.push_back(node);
  const size_t page = static_cast<size_t>(key) >> kPageBits;
  if (page >= pages_.size()) pages_.resize(page + 1);
  if (!pages_[page]) pages_[page] = std::make_unique<int32_t[]>(1 << kPageBits);
  pages_[page][key & ((1 << kPageBits) - 1)] = number + 1;
  return number;
}

int TXMLXPathNodeMap::NumberOf(int32_t key) const {
  const size_t page = static_cast<size_t>(key) >> kPageBits;
  if (key < 0 || page >= pages_.size() || !pages_[page]) return -1;
  return pages_[page][key & ((1 << kPageBits) - 1)] - 1;
}

TXMLXPathNodes::iterator& TXMLXPathNodes::iterator::operator++() {
  node_ = adapter_->NextNode(node_);
  return *this;
}

// --- the adapter over a TXMLDocument ----------------------------------------

void TXMLXPathDOMAdapter::NumberNodes(TXMLNode* start, int max_depth, bool with_attributes, const TXMLNode* also,
                                      TXMLXPathNodeMap& map) {
  document_.WalkDocumentOrder(
      start, max_depth, with_attributes, [&](TXMLNode* node) { map.Add(node, NodeKey(node)); }, also);
}

int32_t TXMLXPathDOMAdapter::NodeKey(const TXMLNode* node) const {
  // The record index; only records of this document have one.
  return node->OwnerDocument == &document_ ? document_.GetNodeIndex(node) : -1;
}

std::shared_ptr<TXMLResNodeList> TXMLXPathDOMAdapter::ResultList() {
  if (!result_) result_ = std::make_shared<TXMLResNodeList>();
  return result_;
}

void TXMLXPathDOMAdapter::AddResult(TXMLNode* node) {
  if (!result_) result_ = std::make_shared<TXMLResNodeList>();
  result_->Add(node);
}

int32_t TXMLXPathDOMAdapter::NodeNameId(const TXMLNode* node) const { return node->NameId; }
int32_t TXMLXPathDOMAdapter::NodeValueId(const TXMLNode* node) const { return node->ValueId; }
int32_t TXMLXPathDOMAdapter::StringId(std::u16string_view text) const { return document_.IndexOfString(text); }
TXMLNodeType TXMLXPathDOMAdapter::NodeType(const TXMLNode* node) const { return node->NodeType; }

void TXMLXPathDOMAdapter::NodeInfo(const TXMLNode* node, int32_t& name_id, int32_t& value_id,
                                   TXMLNodeType& type) const {
  name_id = node->NameId;
  value_id = node->ValueId;
  type = node->NodeType;
}

bool TXMLXPathDOMAdapter::HasAttributes(const TXMLNode* node) const { return node->HasAttributes(); }

TXMLNode* TXMLXPathDOMAdapter::AttributeByName(TXMLNode* node, int32_t name_id) const {
  return name_id < 0 ? nullptr : node->FindAttributeById(name_id);
}

TXMLXPathNodes TXMLXPathDOMAdapter::Attributes(const TXMLNode* node) const { return {this, node->FirstAttribute()}; }
TXMLNode* TXMLXPathDOMAdapter::Parent(const TXMLNode* node) const { return node->ParentNode; }
TXMLNode* TXMLXPathDOMAdapter::DocumentNode() const { return document_.DocumentNode(); }
bool TXMLXPathDOMAdapter::HasChildNodes(const TXMLNode* node) const { return node->HasChildNodes(); }
TXMLXPathNodes TXMLXPathDOMAdapter::ChildNodes(const TXMLNode* node) const { return {this, node->FirstChild()}; }
TXMLNode* TXMLXPathDOMAdapter::NextNode(const TXMLNode* node) const { return node->NextSibling; }

// --- compiled expressions -----------------------------------------------------

TXMLXPath::TXMLXPath(std::vector<TXMLXPathSelector> steps) : steps_(std::move(steps)) {
  for (size_t i = 0; i < steps_.size(); ++i) {
    steps_[i].Level = static_cast<int>(i);
    steps_[i].Next = i + 1 < steps_.size() ? &steps_[i + 1] : nullptr;
  }
}

bool TXMLXPath::Has(TXMLXPathStepKind kind) const {
  return std::any_of(steps_.begin(), steps_.end(), [kind](const TXMLXPathSelector& s) { return s.Kind == kind; });
}

void TXMLXPath::Bind(const TXMLXPathAdapter& adapter) {
  for (TXMLXPathSelector& s : steps_) {
    if (s.HasElementName) s.ElementNameId = adapter.StringId(s.ElementName);
    if (s.HasAttributeName) s.AttributeNameId = adapter.StringId(s.AttributeName);
    if (s.HasAttributeValue) s.AttributeValueId = adapter.StringId(s.AttributeValue);
  }
}

TXMLXPathList::TXMLXPathList(std::unique_ptr<TXMLXPathAdapter> adapter) : adapter_(std::move(adapter)) {}

TXMLXPathList::~TXMLXPathList() = default;

void TXMLXPathList::Compile(std::u16string_view expression) {
  if (expression.empty()) throw EXmlXPathInvalidString(kEmptyExpression);
  std::vector<TXMLXPath> paths;
  for (std::u16string_view alternative : SplitOutsideQuotes(expression, u'|')) {
    std::vector<TXMLXPathSelector> steps;
    for (std::u16string_view step : SplitOutsideQuotes(alternative, u'/'))
      steps.push_back(CompileStep(step, steps.empty()));
    paths.emplace_back(std::move(steps));
  }
  for (TXMLXPath& path : paths) path.Bind(*adapter_);
  paths_ = std::move(paths);
}

// --- evaluation -----------------------------------------------------------------

class TXMLXPathList::TEvaluation {
 public:
  TEvaluation(TXMLXPathAdapter& adapter, const std::vector<TXMLXPath>& paths) : a_(adapter), paths_(paths) {}

  // False when the walk ran over its budget; its results are then void.
  bool Walk(TXMLNode& context) {
    document_order_ = false;
    const TXMLXPath& path = paths_.front();
    const bool may_repeat = path.Has(SK::ParentStep);
    int64_t evaluated = 0;
    stack_.clear();
    stack_.push_back({path.First(), &context});
    while (!stack_.empty()) {
      const auto [step, node] = stack_.back();
      stack_.pop_back();
      if (may_repeat && ++evaluated > kWalkBudget) return false;
      if (!step) {
        Result(node);
        continue;
      }
      pending_.clear();
      Evaluate(*step, node);
      // Reversed, so that the first continuation is taken up first.
      stack_.insert(stack_.end(), pending_.rbegin(), pending_.rend());
    }
    return true;
  }

  void InDocumentOrder(TXMLNode& context) {
    document_order_ = true;
    NumberReachable(context);
    int base = 0;
    for (const TXMLXPath& path : paths_) {
      base_ = base;
      base += path.Count();
      // The first step is taken once, so it needs no mark.
      stack_.assign(1, {path.First(), &context});
      while (!stack_.empty()) {
        const auto [step, node] = stack_.back();
        stack_.pop_back();
        pending_.clear();
        Evaluate(*step, node);
        for (const auto& [next, target] : pending_) Continue(next, target);
      }
    }
    results_ = 0;
    found_.ForEach([this](int number) {
      a_.AddResult(map_.Node(number));
      ++results_;
    });
  }

  int64_t Results() const { return results_; }

 private:
  using TItem = std::pair<const TXMLXPathSelector*, TXMLNode*>;

  // The highest node the alternatives can climb to from the context and the
  // deepest level they can descend to below it, for the relative ones and for
  // those that begin at the document node.
  struct TReach {
    bool Any = false;
    bool Unbounded = false;
    int Min = 0, Max = 0;
    void Merge(int min, int max, bool unbounded) {
      Min = Any ? std::min(Min, min) : min;
      Max = Any ? std::max(Max, max) : max;
      Unbounded = Unbounded || unbounded;
      Any = true;
    }
  };

  void NumberReachable(TXMLNode& context) {
    TReach relative, rooted;
    bool with_attributes = false;
    for (const TXMLXPath& path : paths_) {
      int level = 0, min = 0, max = 0;
      bool unbounded = false;
      for (const TXMLXPathSelector* s = path.First(); s; s = s->Next) {
        switch (s->Kind) {
          case SK::ParentStep:
            min = std::min(min, --level);
            break;
          case SK::DescendantStep:
            unbounded = true;
            break;
          case SK::ElementStep:
          case SK::TextStep:
            max = std::max(max, ++level);
            break;
          case SK::AnyNodeStep:
            with_attributes = true;
            max = std::max(max, ++level);
            break;
          case SK::AttributeStep:
            with_attributes = true;
            break;
          case SK::RootStep:
          case SK::SelfStep:
            break;
        }
      }
      (path.First()->Kind == SK::RootStep ? rooted : relative).Merge(min, max, unbounded);
    }
    map_.Clear();
    TXMLNode* document = a_.DocumentNode();
    TXMLNode* start = &context;
    int climbed = 0;
    if (relative.Any) {
      for (TXMLNode* parent; climbed < -relative.Min && (parent = a_.Parent(start)); ++climbed) start = parent;
    }
    const int relative_depth = relative.Unbounded ? -1 : relative.Max + climbed;
    const int rooted_depth = rooted.Unbounded ? -1 : rooted.Max;
    if (rooted.Any && relative.Any) {
      // One numbering from the document node when the context lies under it.
      int below = 0;
      TXMLNode* top = start;
      for (TXMLNode* parent; (parent = a_.Parent(top)); ++below) top = parent;
      if (top == document) {
        const int depth = relative_depth < 0 || rooted_depth < 0 ? -1 : std::max(rooted_depth, below + relative_depth);
        a_.NumberNodes(document, depth, with_attributes, &context, map_);
      } else {
        a_.NumberNodes(document, rooted_depth, with_attributes, &context, map_);
        a_.NumberNodes(start, relative_depth, with_attributes, &context, map_);
      }
    } else if (rooted.Any) {
      a_.NumberNodes(document, rooted_depth, with_attributes, &context, map_);
    } else {
      a_.NumberNodes(start, relative_depth, with_attributes, &context, map_);
    }
  }

  int NumberOf(TXMLNode* node) {
    const int32_t key = a_.NodeKey(node);
    const int number = map_.NumberOf(key);
    // Not reached when the numbering covers what the expression can reach;
    // a node outside it still counts, after all numbered ones.
    return number >= 0 ? number : map_.Add(node, key);
  }

  void Result(TXMLNode* node) {
    if (document_order_) {
      found_.Set(NumberOf(node));
    } else {
      a_.AddResult(node);
      ++results_;
    }
  }

  void Continue(const TXMLXPathSelector* step, TXMLNode* node) {
    if (!step) {
      Result(node);
      return;
    }
    if (visited_.Add(base_ + step->Level, NumberOf(node))) stack_.push_back({step, node});
  }

  bool Passes(const TXMLXPathSelector& s, TXMLNode* node) const {
    int32_t name_id, value_id;
    NT type;
    a_.NodeInfo(node, name_id, value_id, type);
    switch (s.Kind) {
      case SK::AnyNodeStep:
        return type == NT::Element || type == NT::Text || type == NT::CData;
      case SK::TextStep:
        return type == NT::Text || type == NT::CData;
      case SK::ElementStep: {
        if (type != NT::Element) return false;
        if (s.HasElementName && (s.ElementNameId < 0 || name_id != s.ElementNameId)) return false;
        if (!s.HasAttributeName) return true;
        TXMLNode* attribute = a_.AttributeByName(node, s.AttributeNameId);
        if (!attribute) return false;
        return !s.HasAttributeValue || (s.AttributeValueId >= 0 && a_.NodeValueId(attribute) == s.AttributeValueId);
      }
      default:
        return false;
    }
  }

  // The continuations of step on node go to pending_, in order; attributes
  // are results at once.
  void Evaluate(const TXMLXPathSelector& s, TXMLNode* node) {
    switch (s.Kind) {
      case SK::ParentStep:
        if (TXMLNode* parent = a_.Parent(node)) pending_.push_back({s.Next, parent});
        return;
      case SK::RootStep:
        pending_.push_back({s.Next, a_.DocumentNode()});
        return;
      case SK::SelfStep:
        pending_.push_back({s.Next, node});
        return;
      case SK::DescendantStep:
        pending_.push_back({s.Next, node});
        for (TXMLNode* child : a_.ChildNodes(node))
          if (a_.NodeType(child) == NT::Element) pending_.push_back({&s, child});
        return;
      case SK::AttributeStep:
      case SK::AnyNodeStep:
        if (a_.HasAttributes(node))
          for (TXMLNode* attribute : a_.Attributes(node))
            if (s.Kind == SK::AnyNodeStep || !s.HasAttributeName ||
                (s.AttributeNameId >= 0 && a_.NodeNameId(attribute) == s.AttributeNameId))
              Result(attribute);
        if (s.Kind == SK::AttributeStep) return;
        break;
      case SK::ElementStep:
      case SK::TextStep:
        break;
    }
    if (!a_.HasChildNodes(node)) return;
    if (s.HasPosition || s.HasFromLast) {
      int64_t wanted = s.Position;
      if (s.HasFromLast) {
        int64_t passing = 0;
        for (TXMLNode* child : a_.ChildNodes(node))
          if (Passes(s, child)) ++passing;
        wanted = passing - 1 + s.FromLastOffset;
      }
      if (wanted < 0) return;
      int64_t number = 0;
      for (TXMLNode* child : a_.ChildNodes(node))
        if (Passes(s, child) && number++ == wanted) {
          pending_.push_back({s.Next, child});
          return;
        }
      return;
    }
    for (TXMLNode* child : a_.ChildNodes(node))
      if (Passes(s, child)) pending_.push_back({s.Next, child});
  }

  TXMLXPathAdapter& a_;
  const std::vector<TXMLXPath>& paths_;
  bool document_order_ = false;
  std::vector<TItem> stack_, pending_;
  int64_t results_ = 0;
  // Document order: the numbering, the pairs done by step (base_ is the first
  // step's index of the current alternative), the results by number.
  TXMLXPathNodeMap map_;
  TPairs visited_;
  int base_ = 0;
  TBits found_;
};

bool TXMLXPathList::Evaluate(TXMLNode& context, IXMLNodeListPtr& list) {
  list.reset();
  adapter_->ReleaseResultList();
  if (paths_.empty() || adapter_->NodeKey(&context) < 0) return false;
  for (TXMLXPath& path : paths_) path.Bind(*adapter_);
  TEvaluation evaluation(*adapter_, paths_);
  const bool document_order = paths_.size() > 1 || paths_.front().Has(SK::DescendantStep);
  if (document_order || !evaluation.Walk(context)) {
    adapter_->ReleaseResultList();
    evaluation.InDocumentOrder(context);
  }
  if (evaluation.Results() == 0) return false;
  list = adapter_->ResultList();
  return true;
}

IXMLNodeListPtr XPathSelectNodes(TXMLNode& context, std::u16string_view path) {
  TXMLXPathList expression(std::make_unique<TXMLXPathDOMAdapter>(*context.OwnerDocument));
  expression.Compile(path);
  IXMLNodeListPtr list;
  expression.Evaluate(context, list);
  return list;
}

}  // namespace xml
