#pragma once
// The schema versions the program reads, one table per kind: the version text,
// the stylesheet path that names it (or the root element, for the registry's
// formats that carry no stylesheet), and its values reader. The recognition
// rows are made of these tables, so a new version is one row here and one
// reader (declared here, its ReadValues beside the file class of its kind).

#include <array>
#include <cstddef>
#include <string_view>

#include "cadastral/file_info_data.h"
#include "cadastral/ref_object.h"

namespace xml {
class TXMLSequentialParser;
}

namespace cadastral {

// --- the readers of the plans of territory (kpt_file.cpp) --------------------------

class TKPTFile9InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTFile8InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTFile7InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTFile6InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTFile5InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
// Version 10 and the plan of territory without a stylesheet
// (extract_cadastral_plan_territory) come from generators that differ in their
// prefixes: read by namespace and local name.
class TKPTFile10InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTTerritoryExtractInfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};

// --- the readers of the extracts on a land plot (kvzu_file.cpp) ----------------------

class TKvzuFile6InfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKvzuFile5InfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
// Version 07 and the land plot extracts without a stylesheet, one reader per
// root element, read by namespace and local name.
class TKvzuFile7InfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKvzuPropertyLandInfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKvzuBaseParamsLandInfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};

// --- the tables ----------------------------------------------------------------------

template <typename Values>
struct TVersionRow {
  std::string_view Version;              // "09"; a root-element format: its root's name
  std::string_view StylesheetPath = {};  // "/xsl/GKN/KPT/09/common.xsl", on the registry portal
  TRef<Values> (*NewReader)();
  // A second stylesheet that names the same version, when there is one.
  std::string_view OtherStylesheetPath = {};
  // A format recognised by its root element (no stylesheet, no namespace).
  std::string_view RootElement = {};
  // A version of 2017 onward: its stylesheets are compared after those of
  // the older versions, which keep their places.
  bool Later = false;
};

template <typename Values, typename Reader>
TRef<Values> NewReader() {
  return TRef<Reader>::Create();
}

// Plans of territory: the versions of 2010 to 2016, newest first, then the later ones.
inline constexpr std::array<TVersionRow<TKPTFileInfoData>, 7> kKptVersions = {{
    {"09", "/xsl/GKN/KPT/09/common.xsl", NewReader<TKPTFileInfoData, TKPTFile9InfoData>},
    {"08", "/xsl/GKN/KPT/08/common.xsl", NewReader<TKPTFileInfoData, TKPTFile8InfoData>},
    {"07", "/xsl/GKN/KPT/07/common.xsl", NewReader<TKPTFileInfoData, TKPTFile7InfoData>},
    {"06", "/xsl/GKN/KPT/06/common.xsl", NewReader<TKPTFileInfoData, TKPTFile6InfoData>},
    {"05", "/xsl/GKN/KPT/05/common.xsl", NewReader<TKPTFileInfoData, TKPTFile5InfoData>},
    {.Version = "10",
     .StylesheetPath = "/xsl/GKN/KPT/10/common.xsl",
     .NewReader = NewReader<TKPTFileInfoData, TKPTFile10InfoData>,
     .OtherStylesheetPath = "/xsl/GKN/KPT_b/10/common.xsl",
     .Later = true},
    {.Version = "extract_cadastral_plan_territory",
     .NewReader = NewReader<TKPTFileInfoData, TKPTTerritoryExtractInfoData>,
     .RootElement = "extract_cadastral_plan_territory",
     .Later = true},
}};

// Extracts on a land plot, likewise.
inline constexpr std::array<TVersionRow<TKvzuFileInfoData>, 5> kKvzuVersions = {{
    {"06", "/xsl/GKN/Vidimus/06/common.xsl", NewReader<TKvzuFileInfoData, TKvzuFile6InfoData>},
    {"05", "/xsl/GKN/Vidimus/05/common.xsl", NewReader<TKvzuFileInfoData, TKvzuFile5InfoData>},
    // The short extract under "/xsl/EGRP/Reestr_Extract_Gkn/ZU/07/Common.xsl" is
    // another document (its root is no KVZU) and has no row.
    {.Version = "07",
     .StylesheetPath = "/xsl/GKN/Vidimus/07/common.xsl",
     .NewReader = NewReader<TKvzuFileInfoData, TKvzuFile7InfoData>,
     .OtherStylesheetPath = "/xsl/EGRP/Reestr_Extract_Big/ZU/07/Common.xsl",
     .Later = true},
    {.Version = "extract_about_property_land",
     .NewReader = NewReader<TKvzuFileInfoData, TKvzuPropertyLandInfoData>,
     .RootElement = "extract_about_property_land",
     .Later = true},
    {.Version = "extract_base_params_land",
     .NewReader = NewReader<TKvzuFileInfoData, TKvzuBaseParamsLandInfoData>,
     .RootElement = "extract_base_params_land",
     .Later = true},
}};

// The row of the version (compared exactly), or none.
template <typename Values, size_t N>
constexpr const TVersionRow<Values>* FindVersion(const std::array<TVersionRow<Values>, N>& rows,
                                                 std::string_view version) {
  for (const TVersionRow<Values>& row : rows)
    if (row.Version == version) return &row;
  return nullptr;
}

// Creates the reader of the version, places it in info_data (which must be
// empty) and lets it read the parser's document. A version without a row
// leaves info_data empty. The versions of 2010 to 2016 are chosen by their
// number alone, whatever the document's kind (the caller has asked for the
// kind already); a later one only for a document of the rows' kind, so that
// a plan of version 07 never meets the reader of the extracts of 07.
template <typename Values, size_t N>
void RunVersionReader(const std::array<TVersionRow<Values>, N>& rows, TOstrevanFileKind rows_kind,
                      TOstrevanFileKind kind, std::string_view version, xml::TXMLSequentialParser& parser,
                      Values*& info_data) {
  const TVersionRow<Values>* row = FindVersion(rows, version);
  if (!row || (row->Later && kind != rows_kind)) return;
  const TRef<Values> reader = row->NewReader();
  RefAssign(info_data, reader.get());
  info_data->ReadValues(parser);
}

}  // namespace cadastral
