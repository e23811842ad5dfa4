#pragma once
// The schema versions the program reads, one table per kind: the version text,
// the stylesheet path that names it, and its values reader. The recognition
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

// --- the readers of the extracts on a land plot (kvzu_file.cpp) ----------------------

class TKvzuFile6InfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKvzuFile5InfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};

// --- the tables ----------------------------------------------------------------------

template <typename Values>
struct TVersionRow {
  std::string_view Version;         // "09"
  std::string_view StylesheetPath;  // "/xsl/GKN/KPT/09/common.xsl", on the registry portal
  TRef<Values> (*NewReader)();
};

template <typename Values, typename Reader>
TRef<Values> NewReader() {
  return TRef<Reader>::Create();
}

// Plans of territory, in the order their stylesheets are compared.
inline constexpr std::array<TVersionRow<TKPTFileInfoData>, 5> kKptVersions = {{
    {"09", "/xsl/GKN/KPT/09/common.xsl", NewReader<TKPTFileInfoData, TKPTFile9InfoData>},
    {"08", "/xsl/GKN/KPT/08/common.xsl", NewReader<TKPTFileInfoData, TKPTFile8InfoData>},
    {"07", "/xsl/GKN/KPT/07/common.xsl", NewReader<TKPTFileInfoData, TKPTFile7InfoData>},
    {"06", "/xsl/GKN/KPT/06/common.xsl", NewReader<TKPTFileInfoData, TKPTFile6InfoData>},
    {"05", "/xsl/GKN/KPT/05/common.xsl", NewReader<TKPTFileInfoData, TKPTFile5InfoData>},
}};

// Extracts on a land plot, likewise.
inline constexpr std::array<TVersionRow<TKvzuFileInfoData>, 2> kKvzuVersions = {{
    {"06", "/xsl/GKN/Vidimus/06/common.xsl", NewReader<TKvzuFileInfoData, TKvzuFile6InfoData>},
    {"05", "/xsl/GKN/Vidimus/05/common.xsl", NewReader<TKvzuFileInfoData, TKvzuFile5InfoData>},
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
// leaves info_data empty.
template <typename Values, size_t N>
void RunVersionReader(const std::array<TVersionRow<Values>, N>& rows, std::string_view version,
                      xml::TXMLSequentialParser& parser, Values*& info_data) {
  const TVersionRow<Values>* row = FindVersion(rows, version);
  if (!row) return;
  const TRef<Values> reader = row->NewReader();
  RefAssign(info_data, reader.get());
  info_data->ReadValues(parser);
}

}  // namespace cadastral
