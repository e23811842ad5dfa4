#include "cadastral/kvzu_file.h"

#include <string_view>

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

TKvzuFile::~TKvzuFile() { RefDispose(info_data_); }

void TKvzuFile::LoadFromStream(common::TStream& stream) {
  RefDispose(info_data_);
  stream.SetPosition(0);
  TOstrevanFile::LoadFromStream(stream);
  // Chosen by the version alone: the caller has asked for the kind already.
  RunVersionReader(kKvzuVersions, Version(), Parser(), info_data_);
}

}  // namespace cadastral
