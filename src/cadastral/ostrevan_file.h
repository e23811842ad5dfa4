#pragma once
// One registry document being read: recognises its kind and schema version by
// the content of its xml-stylesheet instruction, or, for the registry's formats
// without one, by its root element.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "cadastral/file_info_data.h"
#include "cadastral/ref_object.h"
#include "cadastral/schema_versions.h"

namespace common {
class TStream;
}

namespace xml {
class TXMLSequentialParser;
}

namespace cadastral {

// The registry portal that every stylesheet reference names.
inline constexpr std::string_view kRegistryPortalHost = "portal.rosreestr.ru";

struct TStylesheetRow {
  std::string_view Path;  // "/xsl/GKN/KPT/09/common.xsl"
  TOstrevanFileKind Kind;
  std::string_view Version;
};

namespace detail {

template <typename Rows>
constexpr size_t CountStylesheets(const Rows& versions) {
  size_t count = 0;
  for (const auto& version : versions)
    count += (version.StylesheetPath.empty() ? 0 : 1) + (version.OtherStylesheetPath.empty() ? 0 : 1);
  return count;
}

template <typename Rows>
constexpr size_t CountRootElements(const Rows& versions) {
  size_t count = 0;
  for (const auto& version : versions) count += version.RootElement.empty() ? 0 : 1;
  return count;
}

template <typename Rows, typename Out>
constexpr void AddStylesheets(const Rows& versions, TOstrevanFileKind kind, bool later, Out& rows, size_t& i) {
  for (const auto& version : versions) {
    if (version.Later != later) continue;
    if (!version.StylesheetPath.empty()) rows[i++] = {version.StylesheetPath, kind, version.Version};
    if (!version.OtherStylesheetPath.empty()) rows[i++] = {version.OtherStylesheetPath, kind, version.Version};
  }
}

}  // namespace detail

// The stylesheet references in the order they are compared: those of the
// plans of territory, then those of the land plot extracts, of 2010 to 2016
// (each kind newest first); then those of the later versions likewise. No two
// are alike, so the order decides nothing; it keeps the older rows in place.
inline constexpr auto kStylesheetRows = [] {
  std::array<TStylesheetRow, detail::CountStylesheets(kKptVersions) + detail::CountStylesheets(kKvzuVersions)> rows{};
  size_t i = 0;
  for (const bool later : {false, true}) {
    detail::AddStylesheets(kKptVersions, fkKPT, later, rows, i);
    detail::AddStylesheets(kKvzuVersions, fkKvzu, later, rows, i);
  }
  return rows;
}();

// The registry's formats without a stylesheet, by the name of their root
// element (without a prefix).
struct TRootElementRow {
  std::string_view Name;  // "extract_cadastral_plan_territory"
  TOstrevanFileKind Kind;
  std::string_view Version;
};

inline constexpr auto kRootElementRows = [] {
  std::array<TRootElementRow, detail::CountRootElements(kKptVersions) + detail::CountRootElements(kKvzuVersions)>
      rows{};
  size_t i = 0;
  for (const auto& version : kKptVersions)
    if (!version.RootElement.empty()) rows[i++] = {version.RootElement, fkKPT, version.Version};
  for (const auto& version : kKvzuVersions)
    if (!version.RootElement.empty()) rows[i++] = {version.RootElement, fkKvzu, version.Version};
  return rows;
}();

// The root elements of the registry's formats without a stylesheet begin so;
// such a root without a row is a format the program does not read.
inline constexpr std::string_view kRegistryRootPrefix = "extract_";

// The instruction content that stands for a row:
// type="text/xsl" href="https://<host><path>"
std::string StylesheetContent(const TStylesheetRow& row);

// The kind and version a stylesheet path of the registry names, as a reader
// of the report knows them: "/xsl/GKN/KPT/12/common.xsl" gives "KPT 12",
// "/xsl/GKN/Vidimus/08/common.xsl" "KVZU 08",
// "/xsl/EGRP/Reestr_Extract_Gkn/ZU/07/Common.xsl" "Reestr_Extract_Gkn/ZU 07".
// Empty for a path of another shape.
std::string DescribeStylesheetPath(std::string_view path);

class TOstrevanFile : public TRefObject {
 public:
  TOstrevanFile();
  ~TOstrevanFile() override;

  // Reads stream from its start up to the stylesheet instruction and
  // recognises the document; the outcome is in Kind and Version. The stream
  // stays the caller's and must outlive any further read through Parser().
  virtual void LoadFromStream(common::TStream& stream);
  // Reads top-level nodes (an element without its content) until the first xml-stylesheet
  // instruction and compares its content with the stylesheet rows. A root
  // element met first that names a format of its own ends the search there,
  // the parser standing behind the root's name.
  void Recognize();

  TOstrevanFileKind Kind() const { return kind_; }
  // "05" ... "10", a root element's name, or kUnknownVersion.
  const std::string& Version() const { return version_; }
  // A document of the registry in a version or format the program does not
  // read (a plan of a later version, a plot's passport, an extract on a
  // building): Kind stays fkUnknown and Version kUnknownVersion.
  bool Unsupported() const { return unsupported_; }
  // The kind and version as the document names them ("KPT 09", "KPZU 06",
  // "extract_about_property_build"), for a recognised or an unsupported
  // document; empty for one that is not the registry's.
  const std::string& FoundAs() const { return found_as_; }
  // Stands behind the node that ended the recognition.
  xml::TXMLSequentialParser& Parser() { return *parser_; }

 private:
  bool RecognizeStylesheet(std::u16string_view content);
  bool RecognizeRootElement(std::u16string_view name);

  std::unique_ptr<xml::TXMLSequentialParser> parser_;
  TOstrevanFileKind kind_ = fkUnknown;
  std::string version_ = kUnknownVersion;
  bool unsupported_ = false;
  std::string found_as_;
};

}  // namespace cadastral
