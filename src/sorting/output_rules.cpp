#include "sorting/output_rules.h"

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
  for (const auto& [placeholder, value] : steps)
    text = ReplaceAllIgnoreCase(text, platform::Utf8ToUtf16(placeholder), platform::Utf8ToUtf16(value));
  return platform::Utf16ToUtf8(text);
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
