#pragma once
// Rules turn a document's values into the folder its archive is filed under.
// A rule is literal text with placeholders; "\" separates folder levels in a
// rule on every platform, so rules move between systems unchanged.

#include <string>
#include <string_view>
#include <vector>

#include "cadastral/file_info_data.h"
#include "platform/file_system.h"
#include "sorting/cad_number.h"

namespace sorting {

inline constexpr const char* kRegionPlaceholder = "{Номер региона}";
inline constexpr const char* kDistrictPlaceholder = "{Номер района}";
inline constexpr const char* kBlockPlaceholder = "{Номер квартала}";
inline constexpr const char* kParcelPlaceholder = "{Номер участка}";
inline constexpr const char* kRegistrationDatePlaceholder = "{Дата постановки}";
inline constexpr const char* kCoordSystemPlaceholder = "{Система координат}";
inline constexpr const char* kCertificationDatePlaceholder = "{Дата удостоверения}";

inline constexpr const char* kDefaultKptRule =
    "{Система координат}\\{Номер региона}\\{Номер района}\\{Номер квартала}\\{Дата удостоверения}";
inline constexpr const char* kDefaultKvzuRule =
    "{Система координат}\\{Номер региона}\\{Номер района}\\{Номер квартала}\\{Номер участка}\\{Дата "
    "постановки}";

// Registration date a plan of territory puts into its rule.
inline constexpr const char* kKptRegistrationDate = "_";

// Characters kept out of the two rule edits; each becomes "_".
inline constexpr const char* kRuleForbiddenChars = "<>*/?.\"|";
// Characters kept out of the two folder edits: the rule set without the full
// stop and the platform's own path delimiter, since real folders hold both
// (C:\Users\i.ivanov\Downloads, /home/user/v1.2).
#ifdef _WIN32
inline constexpr const char* kFolderForbiddenChars = "<>*/?\"|";
#else
inline constexpr const char* kFolderForbiddenChars = "<>*?\"|";
#endif

// Joins the pieces, each followed by "\" unless it already ends with a delimiter;
// the result always ends with one.
std::string JoinPath(const std::vector<std::string>& pieces);

// Substitutes the seven placeholders, each at every occurrence and ignoring
// letter case, in a fixed order; a value is not searched again for the
// placeholder that produced it, but later placeholders are looked for in it.
// Values come from documents, that is from outside, so each one becomes
// exactly one folder-name fragment: "\", "/", the characters Windows refuses
// in names (< > : " | ? * and control characters) become "_"; a folder level
// holding a value loses its trailing blanks and dots and becomes "_" when only
// dots and blanks are left. What the rule itself says keeps its meaning.
std::string ApplyRule(std::string_view rule, const TCadNumber& number, std::string_view registration_date,
                      std::string_view certification_date, std::string_view coord_system);

// Every character of text that occurs in set becomes the replacement.
std::string ReplaceChars(std::string_view text, std::string_view set, std::string_view replacement);

// The correction a path edit applies whenever its text changes: forbidden
// characters become "_" and the caret stays between the same characters (the
// length does not change, so the caret position is kept as it is).
struct TEditCorrection {
  std::string text;
  int caret = 0;
  bool changed = false;  // false: the text is already clean, set nothing
};
TEditCorrection CorrectEditText(std::string_view text, int caret, std::string_view forbidden);

// "\" (and the other platform's delimiter) in a rule-built path becomes the
// platform's delimiter.
std::string ToPlatformPath(std::string_view path);

// True when path, made absolute and normalised ("." and ".." resolved as
// written, links not followed), is folder or lies below it.
bool LiesInside(std::string_view path, std::string_view folder);

// Target folder of a document: the output folder joined with the rule of its
// kind, placeholders substituted, as a platform path ending with the delimiter.
std::string GetKptTargetFolder(const cadastral::TKPTFileInfoData& values, std::string_view output_folder,
                               std::string_view rule);
std::string GetKvzuTargetFolder(const cadastral::TKvzuFileInfoData& values, std::string_view output_folder,
                                std::string_view rule);

}  // namespace sorting
