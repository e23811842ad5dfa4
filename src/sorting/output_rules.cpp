#include "sorting/output_rules.h"

#include <filesystem>
#include <iterator>

#include "platform/text_compare.h"
#include "platform/text_conversion.h"

namespace sorting {

namespace {

// Replaces every occurrence of pattern, ignoring case by simple upper-casing,
// which keeps positions, so the match found in the upper-cased text is cut out
// of the original. Replacements are never searched again.
std::u16string ReplaceAllIgnoreCase(const std::u16string& text, std::u16string_view pattern,
                                    std::u16string_view replacement) {
  if (pattern.empty()) return text;
  const std::u16string upper_text = platform::UpperCase(std::u16string_view(text));
  const std::u16string upper_pattern = platform::UpperCase(pattern);
  std::u16string result;
  size_t from = 0;
  for (;;) {
    const size_t at = upper_text.find(upper_pattern, from);
    if (at == std::u16string::npos) break;
    result.append(text, from, at - from);
    result.append(replacement);
    from = at + pattern.size();
  }
  result.append(text, from, std::u16string::npos);
  return result;
}

// Brackets around each inserted value while the rule is applied, so that the
// folder levels holding a value can be told from those typed in the rule.
// Private-use characters: they are taken out of values and rules beforehand.
constexpr char16_t kValueOpen = u'\uE000';
constexpr char16_t kValueClose = u'\uE001';

bool IsLevelDelimiter(char16_t c) { return c == u'\\' || c == u'/'; }

// A document's value as exactly one folder-name fragment: path delimiters and
// what Windows refuses in names (control characters included) become "_".
std::u16string ValueFragment(std::string_view value) {
  std::u16string fragment = platform::Utf8ToUtf16(value);
  for (char16_t& c : fragment)
    if (c < 0x20 || IsLevelDelimiter(c) || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos ||
        c == kValueOpen || c == kValueClose)
      c = u'_';
  std::u16string marked;
  marked.reserve(fragment.size() + 2);
  marked += kValueOpen;
  marked += fragment;
  marked += kValueClose;
  return marked;
}

// A level that holds a value loses its trailing blanks and dots (Windows drops
// them, so both systems make the same folder) and becomes "_" when nothing but
// dots and blanks is left of it ("." and ".." lead elsewhere); levels typed in
// the rule stay as typed. The brackets go.
std::u16string FinishLevels(const std::u16string& text) {
  std::u16string result;
  result.reserve(text.size());
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && !IsLevelDelimiter(text[end])) ++end;
    std::u16string level;
    bool has_value = false;
    for (size_t i = start; i < end; ++i) {
      if (text[i] == kValueOpen || text[i] == kValueClose)
        has_value = true;
      else
        level += text[i];
    }
    if (has_value) {
      const bool only_dots = !level.empty() && level.find_first_not_of(u". ") == std::u16string::npos;
      if (only_dots) {
        level = u"_";
      } else {
        const size_t keep = level.find_last_not_of(u". ");
        level.resize(keep == std::u16string::npos ? 0 : keep + 1);
      }
    }
    result += level;
    if (end < text.size()) result += text[end];
    start = end + 1;
  }
  return result;
}

}  // namespace

std::string JoinPath(const std::vector<std::string>& pieces) {
  std::string result;
  for (const auto& piece : pieces) {
    result += piece;
    if (piece.empty() || (piece.back() != '\\' && piece.back() != platform::kPathDelimiter)) result += '\\';
  }
  return result;
}

std::string ApplyRule(std::string_view rule, const TCadNumber& number, std::string_view registration_date,
                      std::string_view certification_date, std::string_view coord_system) {
  const std::pair<const char*, std::string_view> steps[] = {
      {kRegionPlaceholder, number.Region},
      {kDistrictPlaceholder, number.District},
      {kBlockPlaceholder, number.Block},
      {kParcelPlaceholder, number.Parcel},
      {kRegistrationDatePlaceholder, registration_date},
      {kCoordSystemPlaceholder, coord_system},
      {kCertificationDatePlaceholder, certification_date},
  };
  std::u16string text = platform::Utf8ToUtf16(rule);
  for (char16_t& c : text)
    if (c == kValueOpen || c == kValueClose) c = u'_';
  for (const auto& [placeholder, value] : steps)
    text = ReplaceAllIgnoreCase(text, platform::Utf8ToUtf16(placeholder), ValueFragment(value));
  return platform::Utf16ToUtf8(FinishLevels(text));
}

std::string ReplaceChars(std::string_view text, std::string_view set, std::string_view replacement) {
  const std::u16string wide_set = platform::Utf8ToUtf16(set);
  const std::u16string wide_replacement = platform::Utf8ToUtf16(replacement);
  std::u16string result;
  for (char16_t c : platform::Utf8ToUtf16(text)) {
    if (wide_set.find(c) != std::u16string::npos)
      result += wide_replacement;
    else
      result += c;
  }
  return platform::Utf16ToUtf8(result);
}

TEditCorrection CorrectEditText(std::string_view text, int caret, std::string_view forbidden) {
  TEditCorrection correction;
  correction.text = ReplaceChars(text, forbidden, "_");
  correction.caret = caret;
  correction.changed = correction.text != text;
  return correction;
}

std::string ToPlatformPath(std::string_view path) {
  std::string result(path);
  for (char& c : result)
    if (c == '\\' || c == '/') c = platform::kPathDelimiter;
  return result;
}

namespace {

std::string TargetFolder(std::string_view cadastral_number, std::string_view output_folder, std::string_view rule,
                         std::string_view registration_date, std::string_view certification_date,
                         std::string_view coord_system) {
  auto number = cadastral::TRef<TCadNumber>::Create();
  number->SetCadNumber(cadastral_number);
  const std::string rule_template = JoinPath({std::string(output_folder), std::string(rule)});
  return ToPlatformPath(ApplyRule(rule_template, *number, registration_date, certification_date, coord_system));
}

}  // namespace

bool LiesInside(std::string_view path, std::string_view folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path inner = fs::absolute(platform::ToPath(path), ec).lexically_normal();
  if (ec) return false;
  const fs::path outer = fs::absolute(platform::ToPath(folder), ec).lexically_normal();
  if (ec) return false;
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o) {
    // The empty last element of a path that ends with a delimiter.
    if (o->empty() && std::next(o) == outer.end()) break;
    if (i == inner.end()) return false;
#ifdef _WIN32
    if (!platform::SameText(std::u16string_view(o->u16string()), std::u16string_view(i->u16string()))) return false;
#else
    if (*o != *i) return false;
#endif
    ++i;
  }
  return true;
}

std::string GetKptTargetFolder(const cadastral::TKPTFileInfoData& values, std::string_view output_folder,
                               std::string_view rule) {
  return TargetFolder(values.CadastralNumber, output_folder, rule, kKptRegistrationDate, values.CertificationDocDate,
                      values.CoordSystemName);
}

std::string GetKvzuTargetFolder(const cadastral::TKvzuFileInfoData& values, std::string_view output_folder,
                                std::string_view rule) {
  return TargetFolder(values.CadastralNumber, output_folder, rule, values.DateCreated, values.CertificationDocDate,
                      values.CoordSystemName);
}

}  // namespace sorting
