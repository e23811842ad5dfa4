#pragma once
// One forward pass over the rest of a document that takes a few values out of
// it: an attribute of, or the text in, the first element at each of a few
// paths. Elements are named by namespace and local name, whatever prefix the
// document writes, so that documents of different generators read alike. No
// tree is built: memory stays bounded by the depth of the document and the
// values taken, and the pass ends as soon as every value is settled.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace xml {
class TXMLReader;
}

namespace cadastral {

// An element name. An empty namespace is no namespace; an empty local name
// stands for any element (the root of a reader that serves several roots).
struct TQName {
  std::u16string_view Namespace;
  std::u16string_view LocalName;
};

class TElementScan {
 public:
  // Longest text taken; a longer one is no value of a registry document and
  // leaves its field empty rather than holding the memory.
  static constexpr size_t kMaxText = 64 * 1024;

  // The attribute (unprefixed name) of the first element at path, the root's
  // name first; empty when that element lacks it. first_within, when not 0,
  // confines the search to the first element at the path's first so many names.
  void TakeAttribute(std::vector<TQName> path, std::u16string_view attribute, std::string& out,
                     size_t first_within = 0);
  // The text of the first element at path (text and character data at any
  // depth below it, joined), untrimmed.
  void TakeText(std::vector<TQName> path, std::string& out, size_t first_within = 0);
  // The text of the first element of that name anywhere in the document.
  void TakeTextAnywhere(TQName name, std::string& out);

  // Reads reader on from where it stands: at the top level of the document,
  // or just behind the name of the root element's start tag (its attributes
  // not yet read). Stops at the end of the text, at a parse error, or when no
  // value is left to take. A value whose element the pass did not reach
  // stays as it was.
  void Run(xml::TXMLReader& reader);

 private:
  struct TTarget {
    std::vector<TQName> path;
    std::u16string_view attribute;  // empty: the text
    std::string* out = nullptr;
    size_t first_within = 0;
    bool anywhere = false;
    // How many names of path the open elements match from the root down.
    size_t matched = 0;
    bool settled = false;
    // Collecting the text of the element found, at this depth; 0 when not.
    size_t collecting = 0;
    std::u16string text;
  };
  struct TBinding {
    size_t depth;
    std::u16string prefix;
    std::u16string uri;
  };
  struct TAttribute {
    std::u16string_view name;
    std::u16string value;
  };

  void Add(TTarget target);
  void OpenElement(size_t depth, std::u16string_view name);
  void Attribute(std::u16string_view name, std::u16string_view value);
  void FinishStartTag(size_t depth, std::u16string_view name);
  void CloseElement(size_t depth);
  void CloseForTargets(size_t depth);
  // Sets deepest_ and searching_anywhere_ after the targets changed.
  void Recount();
  void Text(std::u16string_view text);
  // False for a prefix that no declaration in scope binds.
  bool Resolve(std::u16string_view prefix, std::u16string_view& uri) const;
  bool Matches(const TQName& want, std::u16string_view local, std::u16string_view uri) const;
  // Whether an element at depth is the next one the target's path names.
  static bool Next(const TTarget& target, size_t depth);
  void Settle(TTarget& target);
  const std::u16string* AttributeValue(std::u16string_view name) const;

  std::vector<TTarget> targets_;
  size_t open_targets_ = 0;  // targets not settled yet
  size_t collecting_ = 0;    // targets collecting text
  // The most names any open path target has matched, and the anywhere targets
  // still looking: an element deeper than that is of no target's concern.
  size_t deepest_ = 0;
  size_t searching_anywhere_ = 0;
  std::vector<TBinding> bindings_;
  size_t binding_count_ = 0;  // bindings_ beyond this are storage kept for reuse
  // The start tag being read: whether any target may match it, and the
  // attributes the targets ask for.
  bool interesting_ = false;
  std::vector<TAttribute> attributes_;
  size_t attribute_count_ = 0;
};

}  // namespace cadastral
