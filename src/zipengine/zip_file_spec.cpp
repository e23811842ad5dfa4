#include "zipengine/zip_file_spec.h"

#include "common/text_format.h"
#include "platform/text_compare.h"
#include "platform/text_conversion.h"

namespace zipengine {

namespace {

std::u16string Prepare(std::string_view text) {
  std::u16string s = platform::UpperCase(platform::Utf8ToUtf16(text));
  for (char16_t& c : s)
    if (c == u'\\') c = u'/';
  return s;
}

}  // namespace

TZipMatchName::TZipMatchName(std::string_view name) : full(Prepare(name)) {
  while (!full.empty() && full.back() == u'/') full.pop_back();
  const size_t cut = full.rfind(u'/');
  part = cut == std::u16string::npos ? full : full.substr(cut + 1);
}

TZipFileSpec::TZipFileSpec(std::string_view spec, bool allow_stream) {
  std::string text = common::Trim(spec);
  if (allow_stream) {
    size_t digits = 0;
    while (digits < text.size() && digits < 9 && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits > 0 && digits < text.size() && text[digits] == ':') {
      stream_ = std::stoi(text.substr(0, digits));
      text.erase(0, digits + 1);
    }
  }
  pattern_ = Prepare(text);
  while (!pattern_.empty() && pattern_.back() == u'/') pattern_.pop_back();
  // A stream receives the named entry itself, never one of the same name in
  // another folder.
  has_folder_ = stream_ >= 0 || pattern_.find(u'/') != std::u16string::npos;
  wildcard_ = pattern_.find_first_of(u"*?") != std::u16string::npos;
  all_ = pattern_ == u"*.*" || pattern_ == u"*";
}

bool WildcardMatch(std::u16string_view pattern, std::u16string_view text) {
  // Iterative matching with one back-tracking point: linear in practice.
  size_t p = 0, t = 0, star = std::u16string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = t;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool TZipFileSpec::Matches(const TZipMatchName& name) const {
  if (all_) return true;
  if (pattern_.empty()) return false;
  const std::u16string& subject = has_folder_ ? name.full : name.part;
  return wildcard_ ? WildcardMatch(pattern_, subject) : pattern_ == subject;
}

bool TZipSpecList::MatchesAll() const {
  for (const TZipFileSpec& spec : specs_)
    if (spec.MatchesAll() && spec.Stream() < 0) return true;
  return false;
}

const TZipFileSpec* TZipSpecList::Match(const TZipMatchName& name) const {
  // A stream specification wins over a general one for the same entry.
  for (const TZipFileSpec& spec : specs_)
    if (spec.Stream() >= 0 && spec.Matches(name)) return &spec;
  for (const TZipFileSpec& spec : specs_)
    if (spec.Stream() < 0 && spec.Matches(name)) return &spec;
  return nullptr;
}

bool TZipSpecList::HasStreams() const {
  for (const TZipFileSpec& spec : specs_)
    if (spec.Stream() >= 0) return true;
  return false;
}

}  // namespace zipengine
