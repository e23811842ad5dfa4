#include "cadastral/kpt_file.h"

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
  // Chosen by the version alone: the caller has asked for the kind already.
  RunVersionReader(kKptVersions, Version(), Parser(), info_data_);
}

}  // namespace cadastral
