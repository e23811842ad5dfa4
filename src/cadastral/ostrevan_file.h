#pragma once
// One registry document being read: recognises its kind and schema version by
// the content of its xml-stylesheet instruction.

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

// The stylesheet references in the order they are compared: every plan of
// territory version, then every land plot extract version, each kind newest first.
inline constexpr auto kStylesheetRows = [] {
  std::array<TStylesheetRow, kKptVersions.size() + kKvzuVersions.size()> rows{};
  size_t i = 0;
  for (const auto& version : kKptVersions) rows[i++] = {version.StylesheetPath, fkKPT, version.Version};
  for (const auto& version : kKvzuVersions) rows[i++] = {version.StylesheetPath, fkKvzu, version.Version};
  return rows;
}();

// The instruction content that stands for a row:
// type="text/xsl" href="https://<host><path>"
std::string StylesheetContent(const TStylesheetRow& row);

class TOstrevanFile : public TRefObject {
 public:
  TOstrevanFile();
  ~TOstrevanFile() override;

  // Reads stream from its start up to the stylesheet instruction and
  // recognises the document; the outcome is in Kind and Version. The stream
  // stays the caller's and must outlive any further read through Parser().
  virtual void LoadFromStream(common::TStream& stream);
  // Reads top-level nodes (an element without its content) until the first xml-stylesheet
  // instruction and compares its content with the stylesheet rows.
  void Recognize();

  TOstrevanFileKind Kind() const { return kind_; }
  // "05" ... "09", or kUnknownVersion.
  const std::string& Version() const { return version_; }
  // Stands behind the node that ended the recognition.
  xml::TXMLSequentialParser& Parser() { return *parser_; }

 private:
  std::unique_ptr<xml::TXMLSequentialParser> parser_;
  TOstrevanFileKind kind_ = fkUnknown;
  std::string version_ = kUnknownVersion;
};

}  // namespace cadastral
