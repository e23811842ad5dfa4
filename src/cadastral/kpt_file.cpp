#include "cadastral/kpt_file.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "cadastral/element_scan.h"
#include "cadastral/reading_functions.h"
#include "common/stream.h"
#include "xml/xml_sequential_parser.h"

namespace cadastral {

// --- the readers -----------------------------------------------------------------

namespace {

// Where one version keeps its values. Every step seeks forward from where the
// previous one stopped, so the order of the steps is part of the behaviour.
struct TKptPaths {
  std::u16string_view Block;
  std::u16string_view CoordSystem;  // empty: the version names none
  std::u16string_view Certification;
  std::string_view Number;
  std::string_view Date;
};

void ReadKptValues(TKPTFileInfoData& values, xml::TXMLSequentialParser& parser, const TKptPaths& paths) {
  if (parser.SeekElementPath(paths.Block)) values.CadastralNumber = ReadHeaderAttribute(parser, "CadastralNumber");

  if (paths.CoordSystem.empty())
    values.CoordSystemName = kKpt05CoordSystemName;
  else if (parser.SeekElementPath(paths.CoordSystem))
    values.CoordSystemName = ReadHeaderAttribute(parser, "Name");

  xml::TXMLNode* certification = nullptr;
  if (parser.SeekElementPath(paths.Certification) && parser.ReadCompleteNode(certification)) {
    values.CertificationDocNumber = ChildText(certification, paths.Number);
    values.CertificationDocDate = ChildText(certification, paths.Date);
  }
}

constexpr std::u16string_view kDistrictBlock =
    u"/Region_Cadastr/Package/Federal/Cadastral_Regions/Cadastral_Region/Cadastral_Districts/"
    u"Cadastral_District/Cadastral_Blocks/Cadastral_Block";
constexpr std::u16string_view kDistrictBlockCoordSystem =
    u"/Region_Cadastr/Package/Federal/Cadastral_Regions/Cadastral_Region/Cadastral_Districts/"
    u"Cadastral_District/Cadastral_Blocks/Cadastral_Block/Coord_System";
constexpr std::u16string_view kPackageCertification = u"/Region_Cadastr/Package/Certification_Doc";

}  // namespace

void TKPTFile9InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadKptValues(
      *this, parser,
      {u"/KPT/CadastralBlocks/CadastralBlock", u"/KPT/CadastralBlocks/CadastralBlock/CoordSystems/ns3:CoordSystem",
       u"/KPT/CertificationDoc", "ns6:Number", "ns6:Date"});
}

void TKPTFile8InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadKptValues(*this, parser,
                {u"/Region_Cadastr/Package/Cadastral_Blocks/Cadastral_Block",
                 u"/Region_Cadastr/Package/Cadastral_Blocks/Cadastral_Block/Coord_System", kPackageCertification,
                 "Number", "Date"});
}

void TKPTFile7InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadKptValues(*this, parser, {kDistrictBlock, kDistrictBlockCoordSystem, kPackageCertification, "Number", "Date"});
}

void TKPTFile6InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadKptValues(*this, parser, {kDistrictBlock, kDistrictBlockCoordSystem, kPackageCertification, "Number", "Date"});
}

void TKPTFile5InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  ReadKptValues(*this, parser, {kDistrictBlock, {}, kPackageCertification, "Number", "Date"});
}

// --- the readers of the later formats: by namespace and local name ---------------

namespace {

constexpr std::u16string_view kNsKpt10 = u"urn://x-artefacts-rosreestr-ru/outgoing/kpt/10.0.1";

std::vector<TQName> Join(std::vector<TQName> path, std::initializer_list<TQName> more) {
  path.insert(path.end(), more);
  return path;
}

}  // namespace

// Each value comes from the first element at its path, wherever in the
// document that stands: the order of the parts does not matter here.
void TKPTFile10InfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  const std::vector<TQName> block = {{kNsKpt10, u"KPT"}, {kNsKpt10, u"CadastralBlocks"}, {kNsKpt10, u"CadastralBlock"}};
  const std::vector<TQName> certification = {{kNsKpt10, u"KPT"}, {kNsKpt10, u"CertificationDoc"}};
  TElementScan scan;
  scan.TakeAttribute(block, u"CadastralNumber", CadastralNumber);
  // The first block's system, or when it has none the first of a later block.
  scan.TakeAttribute(Join(block, {{kNsKpt10, u"CoordSystems"}, {kNsEntitySpatial5, u"CoordSystem"}}), u"Name",
                     CoordSystemName);
  scan.TakeText(Join(certification, {{kNsCertificationDoc, u"Number"}}), CertificationDocNumber);
  scan.TakeText(Join(certification, {{kNsCertificationDoc, u"Date"}}), CertificationDocDate);
  scan.Run(parser.XMLReader());
  TrimBlanks(CertificationDocNumber);
  TrimBlanks(CertificationDocDate);
}

void TKPTTerritoryExtractInfoData::ReadValues(xml::TXMLSequentialParser& parser) {
  const TQName root{{}, u"extract_cadastral_plan_territory"};
  const std::vector<TQName> block = {root, {{}, u"cadastral_blocks"}, {{}, u"cadastral_block"}};
  const std::vector<TQName> requisites = {root, {{}, u"details_statement"}, {{}, u"group_top_requisites"}};
  std::string block_system, first_system;
  TElementScan scan;
  // Both from the first block only.
  scan.TakeText(Join(block, {{{}, u"cadastral_number"}}), CadastralNumber, block.size());
  scan.TakeText(Join(block, {{{}, u"spatial_data"}, {{}, u"entity_spatial"}, {{}, u"sk_id"}}), block_system,
                block.size());
  scan.TakeTextAnywhere({{}, u"sk_id"}, first_system);
  scan.TakeText(Join(requisites, {{{}, u"date_formation"}}), CertificationDocDate);
  scan.TakeText(Join(requisites, {{{}, u"registration_number"}}), CertificationDocNumber);
  scan.Run(parser.XMLReader());
  for (std::string* text :
       {&CadastralNumber, &block_system, &first_system, &CertificationDocDate, &CertificationDocNumber})
    TrimBlanks(*text);
  // A block without a boundary of its own: the system its parcels are drawn in.
  CoordSystemName = block_system.empty() ? first_system : block_system;
  CertificationDocDate = DateOf(CertificationDocDate);
}

// --- the file --------------------------------------------------------------------

TKPTFile::TKPTFile() : cadastral_blocks_(std::make_unique<TCadastralBlockList>()) {}

TKPTFile::~TKPTFile() {
  cadastral_blocks_.reset();
  RefDispose(info_data_);
}

void TKPTFile::LoadFromStream(common::TStream& stream) {
  RefDispose(info_data_);
  stream.SetPosition(0);
  TOstrevanFile::LoadFromStream(stream);
  RunVersionReader(kKptVersions, fkKPT, Kind(), Version(), Parser(), info_data_);
}

}  // namespace cadastral
