#include "cadastral/element_scan.h"

#include <algorithm>
#include <utility>

#include "platform/text_conversion.h"
#include "xml/xml_reader.h"

namespace cadastral {

namespace {

using TT = xml::TXMLReaderTokenType;

constexpr std::u16string_view kXmlns = u"xmlns";
constexpr std::u16string_view kXmlPrefix = u"xml";
constexpr std::u16string_view kXmlNamespace = u"http://www.w3.org/XML/1998/namespace";

std::u16string_view LocalPart(std::u16string_view name) {
  const size_t colon = name.find(u':');
  return colon == std::u16string_view::npos ? name : name.substr(colon + 1);
}

std::u16string_view PrefixPart(std::u16string_view name) {
  const size_t colon = name.find(u':');
  return colon == std::u16string_view::npos ? std::u16string_view() : name.substr(0, colon);
}

}  // namespace

void TElementScan::Add(TTarget target) {
  ++open_targets_;
  targets_.push_back(std::move(target));
}

void TElementScan::TakeAttribute(std::vector<TQName> path, std::u16string_view attribute, std::string& out,
                                 size_t first_within) {
  TTarget target;
  target.path = std::move(path);
  target.attribute = attribute;
  target.out = &out;
  target.first_within = first_within;
  Add(std::move(target));
}

void TElementScan::TakeText(std::vector<TQName> path, std::string& out, size_t first_within) {
  TTarget target;
  target.path = std::move(path);
  target.out = &out;
  target.first_within = first_within;
  Add(std::move(target));
}

void TElementScan::TakeTextAnywhere(TQName name, std::string& out) {
  TTarget target;
  target.path = {name};
  target.out = &out;
  target.anywhere = true;
  Add(std::move(target));
}

bool TElementScan::Resolve(std::u16string_view prefix, std::u16string_view& uri) const {
  for (size_t i = binding_count_; i-- > 0;) {
    if (bindings_[i].prefix == prefix) {
      uri = bindings_[i].uri;
      return true;
    }
  }
  if (prefix.empty()) {
    uri = {};
    return true;
  }
  if (prefix == kXmlPrefix) {
    uri = kXmlNamespace;
    return true;
  }
  return false;
}

bool TElementScan::Matches(const TQName& want, std::u16string_view local, std::u16string_view uri) const {
  if (want.LocalName.empty()) return true;
  return want.LocalName == local && want.Namespace == uri;
}

bool TElementScan::Next(const TTarget& target, size_t depth) {
  // A target whose element was found (its text being collected) has no name
  // left to match below it.
  return target.matched + 1 == depth && target.matched < target.path.size();
}

void TElementScan::Settle(TTarget& target) {
  if (target.settled) return;
  target.settled = true;
  if (target.collecting) --collecting_;
  target.collecting = 0;
  target.text.clear();
  --open_targets_;
}

const std::u16string* TElementScan::AttributeValue(std::u16string_view name) const {
  for (size_t i = 0; i < attribute_count_; ++i)
    if (attributes_[i].name == name) return &attributes_[i].value;
  return nullptr;
}

void TElementScan::Recount() {
  deepest_ = 0;
  searching_anywhere_ = 0;
  for (const TTarget& target : targets_) {
    if (target.settled) continue;
    if (!target.anywhere) deepest_ = std::max(deepest_, target.matched);
    if (target.anywhere && !target.collecting) ++searching_anywhere_;
  }
}

void TElementScan::OpenElement(size_t depth, std::u16string_view name) {
  attribute_count_ = 0;
  interesting_ = false;
  // Most elements lie deeper than any path has come: no target to ask.
  if (searching_anywhere_ == 0 && depth > deepest_ + 1) return;
  const std::u16string_view local = LocalPart(name);
  // Only the local name is known before the declarations of the tag are read.
  for (const TTarget& target : targets_) {
    if (target.settled || target.collecting) continue;
    const TQName* want = target.anywhere       ? &target.path[0]
                         : Next(target, depth) ? &target.path[target.matched]
                                               : nullptr;
    if (want && (want->LocalName.empty() || want->LocalName == local)) {
      interesting_ = true;
      return;
    }
  }
}

void TElementScan::Attribute(std::u16string_view name, std::u16string_view value) {
  if (name.starts_with(kXmlns) && (name.size() == kXmlns.size() || name[kXmlns.size()] == u':')) {
    // The declaration holds from this element on; its depth is set when the
    // start tag ends, so mark it with the depth the element will have.
    if (binding_count_ == bindings_.size()) bindings_.push_back({});
    TBinding& binding = bindings_[binding_count_++];
    binding.depth = 0;
    binding.prefix.assign(name.size() == kXmlns.size() ? std::u16string_view() : name.substr(kXmlns.size() + 1));
    binding.uri.assign(value);
    return;
  }
  if (!interesting_) return;
  for (const TTarget& target : targets_) {
    if (target.settled || target.attribute.empty() || target.attribute != name) continue;
    if (attribute_count_ == attributes_.size()) attributes_.push_back({});
    TAttribute& attribute = attributes_[attribute_count_++];
    attribute.name = target.attribute;
    attribute.value.assign(value);
    return;
  }
}

void TElementScan::FinishStartTag(size_t depth, std::u16string_view name) {
  // The declarations just read belong to this element.
  for (size_t i = binding_count_; i-- > 0 && bindings_[i].depth == 0;) bindings_[i].depth = depth;
  if (!interesting_) return;
  std::u16string_view uri;
  if (!Resolve(PrefixPart(name), uri)) return;  // an undeclared prefix names nothing we look for
  const std::u16string_view local = LocalPart(name);
  for (TTarget& target : targets_) {
    // A target collecting its text has found its element already.
    if (target.settled || target.collecting) continue;
    if (target.anywhere) {
      if (!Matches(target.path[0], local, uri)) continue;
    } else {
      if (!Next(target, depth) || !Matches(target.path[target.matched], local, uri)) continue;
      if (++target.matched < target.path.size()) continue;
    }
    // The first element at the target's path.
    if (!target.attribute.empty()) {
      const std::u16string* value = AttributeValue(target.attribute);
      *target.out = value ? platform::Utf16ToUtf8(*value) : std::string();
      Settle(target);
    } else {
      target.collecting = depth;
      target.text.clear();
      ++collecting_;
    }
  }
  Recount();
}

void TElementScan::CloseElement(size_t depth) {
  if (collecting_ != 0 || depth <= deepest_) CloseForTargets(depth);
  while (binding_count_ > 0 && bindings_[binding_count_ - 1].depth >= depth) --binding_count_;
}

void TElementScan::CloseForTargets(size_t depth) {
  for (TTarget& target : targets_) {
    if (target.settled) continue;
    if (target.collecting == depth) {
      *target.out = target.text.size() <= kMaxText ? platform::Utf16ToUtf8(target.text) : std::string();
      Settle(target);
      continue;
    }
    if (target.anywhere || target.matched < depth) continue;
    // Once the first element of the confining path has ended, nothing more
    // can be taken for this target.
    if (target.first_within != 0 && target.first_within >= depth) {
      Settle(target);
      continue;
    }
    target.matched = depth - 1;
  }
  Recount();
}

void TElementScan::Text(std::u16string_view text) {
  for (TTarget& target : targets_) {
    if (!target.collecting) continue;
    if (target.text.size() + text.size() > kMaxText + 1) {
      // Keep one character more than the limit: the value is then known to
      // be too long without holding all of it.
      target.text.append(text.substr(0, kMaxText + 1 - target.text.size()));
    } else {
      target.text.append(text);
    }
  }
}

void TElementScan::Run(xml::TXMLReader& reader) {
  if (open_targets_ == 0) return;
  Recount();
  // Started behind the root element's name: its start tag is under way.
  const bool root_pending = reader.LastTokenType() == TT::OpenElement && reader.OpenElementCount() == 1;
  if (root_pending) OpenElement(1, reader.OpenElementName(0));
  const xml::TXMLReaderToken* token;
  while (open_targets_ > 0 && reader.ReadNextToken(token)) {
    switch (token->TokenType) {
      case TT::OpenElement:
        OpenElement(static_cast<size_t>(reader.OpenElementCount()), token->TokenName);
        break;
      case TT::Attribute:
        Attribute(token->TokenName, token->TokenValue);
        break;
      case TT::FinishOpenElement: {
        const size_t depth = static_cast<size_t>(reader.OpenElementCount());
        FinishStartTag(depth, reader.OpenElementName(static_cast<int>(depth) - 1));
        break;
      }
      case TT::FinishOpenElementClose: {
        // The element has been taken off the open elements already.
        const size_t depth = static_cast<size_t>(reader.OpenElementCount()) + 1;
        FinishStartTag(depth, token->TokenName);
        CloseElement(depth);
        break;
      }
      case TT::CloseElement:
        CloseElement(static_cast<size_t>(reader.OpenElementCount()) + 1);
        break;
      case TT::Text:
      case TT::CData:
        if (collecting_) Text(token->TokenValue);
        break;
      default:
        break;
    }
  }
}

}  // namespace cadastral
