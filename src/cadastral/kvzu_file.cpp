#include "cadastral/kvzu_file.h"

#include <string_view>
#include <vector>

#include "cadastral/element_scan.h"
#include "cadastral/reading_functions.h"
#include "common/stream.h"
#include "platform/text_conversion.h"
#include "xml/xml_sequential_parser.h"

namespace cadastral {

namespace {

// Where one version keeps its values; the steps run in this order, each
// seeking forward from where the previous one stopped.
struct TKvzuPaths {
  std::u16string_view Parcel;
  std::u16string_view Certification;
  std::string_view Date;
  std::string_view Number;
  std::u16string_view CoordSystems;
  std::string_view CoordSystem;
};

void ReadKvzuValues(TKvzuFileInfoData& values, xml::TXMLSequentialParser& parser, const TKvzuPaths& paths) {
  xml::TXMLNode* parcel = nullptr;
  if (parser.SeekElementPath(paths.Parcel) && parser.ReadElementHeader(parcel)) {
    values.CadastralNumber = platform::Utf16ToUtf8(parcel->GetAttribute(u"CadastralNumber"));
    // The registry writes "DateCreatedDoc" only for plots registered under the
    // older system; every other plot has its date in "DateCreated".
    values.DateCreated = platform::Utf16ToUtf8(parcel->GetAttribute(u"DateCreatedDoc"));
    if (values.DateCreated.empty()) values.DateCreated = platform::Utf16ToUtf8(parcel->GetAttribute(u"DateCreated"));
  }

  xml::TXMLNode* certification = nullptr;
  if (parser.SeekElementPath(paths.Certification) && parser.ReadCompleteNode(certification)) {
    values.CertificationDocDate = ChildText(certification, paths.Date);
    values.CertificationDocNumber = ChildText(certification, paths.Number);
  }

  xml::TXMLNode* systems = nullptr;
  if (parser.SeekElementPath(paths.CoordSystems) && parser.ReadCompleteNode(systems))
    values.CoordSystemName = ChildAttribute(systems, paths.CoordSystem, "Name");
}

}  // namespace

void TKvzuFile6InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadKvzuValues(*this, parser,
                 {u"/KVZU/Parcels/Parcel", u"/KVZU/CertificationDoc", "ns8:Date", "ns8:Number", u"/KVZU/CoordSystems",
                  "ns3:CoordSystem"});
}

void TKvzuFile5InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadKvzuValues(
      *this, parser,
      {u"/Region_Cadastr_Vidimus_KV/Package/Parcels/Parcel", u"/Region_Cadastr_Vidimus_KV/Package/Certification_Doc",
       "Date", "Number", u"/Region_Cadastr_Vidimus_KV/Coord_Systems", "Coord_System"});
}

// --- the readers of the later formats: by namespace and local name ---------------

namespace {

constexpr std::u16string_view kNsKvzu07 = u"urn://x-artefacts-rosreestr-ru/outgoing/kvzu/7.0.1";

std::vector<TQName> Join(std::vector<TQName> path, std::initializer_list<TQName> more) {
  path.insert(path.end(), more);
  return path;
}

// Both land plot extracts without a stylesheet hold one plot record.
void ReadLandExtract(TKvzuFileInfoData& values, xml::TXMLSequentialParser& parser, std::u16string_view root_name) {
  const TQName root{{}, root_name};
  const std::vector<TQName> record = {root, {{}, u"land_record"}};
  const std::vector<TQName> requisites = {root, {{}, u"details_statement"}, {{}, u"group_top_requisites"}};
  TElementScan scan;
  scan.TakeText(Join(record, {{{}, u"object"}, {{}, u"common_data"}, {{}, u"cad_number"}}), values.CadastralNumber,
                record.size());
  scan.TakeText(Join(record, {{{}, u"record_info"}, {{}, u"registration_date"}}), values.DateCreated, record.size());
  scan.TakeText(
      Join(record,
           {{{}, u"contours_location"}, {{}, u"contours"}, {{}, u"contour"}, {{}, u"entity_spatial"}, {{}, u"sk_id"}}),
      values.CoordSystemName, record.size());
  scan.TakeText(Join(requisites, {{{}, u"date_formation"}}), values.CertificationDocDate);
  scan.TakeText(Join(requisites, {{{}, u"registration_number"}}), values.CertificationDocNumber);
  scan.Run(parser.XMLReader());
  for (std::string* text : {&values.CadastralNumber, &values.DateCreated, &values.CoordSystemName,
                            &values.CertificationDocDate, &values.CertificationDocNumber})
    TrimBlanks(*text);
  values.DateCreated = DateOf(values.DateCreated);
  values.CertificationDocDate = DateOf(values.CertificationDocDate);
}

}  // namespace

// Each value comes from the first element at its path, wherever in the
// document that stands: the order of the parts does not matter here.
void TKvzuFile7InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  const std::vector<TQName> parcel = {{kNsKvzu07, u"KVZU"}, {kNsKvzu07, u"Parcels"}, {kNsKvzu07, u"Parcel"}};
  const std::vector<TQName> certification = {{kNsKvzu07, u"KVZU"}, {kNsKvzu07, u"CertificationDoc"}};
  std::string date_created_doc;
  TElementScan scan;
  scan.TakeAttribute(parcel, u"CadastralNumber", CadastralNumber);
  scan.TakeAttribute(parcel, u"DateCreated", DateCreated);
  scan.TakeAttribute(parcel, u"DateCreatedDoc", date_created_doc);
  scan.TakeText(Join(certification, {{kNsCertificationDoc, u"Number"}}), CertificationDocNumber);
  scan.TakeText(Join(certification, {{kNsCertificationDoc, u"Date"}}), CertificationDocDate);
  scan.TakeAttribute({{kNsKvzu07, u"KVZU"}, {kNsKvzu07, u"CoordSystems"}, {kNsEntitySpatial5, u"CoordSystem"}}, u"Name",
                     CoordSystemName);
  scan.Run(parser.XMLReader());
  TrimBlanks(CertificationDocNumber);
  TrimBlanks(CertificationDocDate);
  // Plots registered under the older system may carry only "DateCreatedDoc".
  if (DateCreated.empty()) DateCreated = date_created_doc;
}

void TKvzuPropertyLandInfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadLandExtract(*this, parser, u"extract_about_property_land");
}

void TKvzuBaseParamsLandInfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadLandExtract(*this, parser, u"extract_base_params_land");
}

// --- the file --------------------------------------------------------------------

TKvzuFile::~TKvzuFile() { RefDispose(info_data_); }

void TKvzuFile::LoadFromStream(common::TStream& stream) {
  RefDispose(info_data_);
  stream.SetPosition(0);
  TOstrevanFile::LoadFromStream(stream);
  RunVersionReader(kKvzuVersions, fkKvzu, Kind(), Version(), Parser(), info_data_);
}

}  // namespace cadastral
