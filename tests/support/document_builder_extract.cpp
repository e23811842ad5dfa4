// The registry's formats without a stylesheet: a plan of territory
// (extract_cadastral_plan_territory) and the land plot extracts
// (extract_about_property_land, extract_base_params_land). Lower-case element
// names, no namespace; the statement's requisites come first, as the registry
// writes them.

#include <algorithm>
#include <string>

#include "support/document_builder.h"
#include "support/document_builder_internal.h"

namespace testdocs::internal {

namespace {

class TExtractWriter {
 public:
  TExtractWriter(const TDocument& document, const TBuildOptions& options, std::string& out)
      : doc_(document), options_(options), xml_(out, options.layout == TLayout::Indented) {}

  void Write() {
    if (options_.xml_declaration_text) {
      xml_.Misc(*options_.xml_declaration_text);
    } else if (options_.xml_declaration) {
      xml_.Misc(options_.encoding == TEncoding::Windows1251 ? "<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
                                                            : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    }
    if (options_.stylesheet_text && options_.stylesheet_placement == TStylesheetPlacement::BeforeRoot)
      xml_.Misc(*options_.stylesheet_text);
    // Indented, the root begins a line of its own anyway.
    if (options_.blank_line_before_root) xml_.Verbatim(options_.layout == TLayout::Indented ? "\r\n" : "\r\n\r\n");

    xml_.Start(options_.root_element.value_or(std::string(VersionOf(doc_.schema))));
    WriteStatement();
    if (doc_.schema == TSchema::KptTerritory) {
      if (!doc_.blocks.empty()) {
        xml_.Start("cadastral_blocks");
        for (size_t i = 0; i < doc_.blocks.size(); ++i) WriteBlock(doc_.blocks[i], i == 0);
        xml_.End();
      }
    } else {
      const std::string system = doc_.coord_systems.empty() ? std::string() : doc_.coord_systems[0].name.value_or("");
      if (!doc_.parcels.empty()) WriteLandRecord(doc_.parcels[0], system);
      if (doc_.schema == TSchema::LandProperty) WriteRights();
      xml_.Start("status");
      xml_.Leaf("code", "01");
      xml_.Leaf("value", "Актуальные");
      xml_.End();
    }
    xml_.End();
    if (options_.stylesheet_text && options_.stylesheet_placement == TStylesheetPlacement::AfterRoot)
      xml_.Misc(*options_.stylesheet_text);
    xml_.Finish();
  }

 private:
  void WriteStatement() {
    if (doc_.certification) {
      const TCertificationDoc& cert = *doc_.certification;
      xml_.Start("details_statement");
      xml_.Start("group_top_requisites");
      xml_.LeafIfAny({}, "organ_registr_rights", cert.organization);
      xml_.OptionalLeaf({}, "date_formation", cert.date);
      if (cert.number) {
        xml_.Start("registration_number");
        WriteNumber(*cert.number);
        xml_.End();
      }
      xml_.End();
      xml_.Start("group_lower_requisites");
      xml_.LeafIfAny({}, "full_name_position", cert.appointment);
      if (!cert.surname.empty()) {
        std::string initials;
        for (const std::string* name : {&cert.first_name, &cert.patronymic})
          if (!name->empty()) initials.append(InitialOf(*name)).append(".");
        xml_.Leaf("initials_surname", initials.empty() ? cert.surname : initials + " " + cert.surname);
      }
      xml_.End();
      xml_.End();
    }
    xml_.Start("details_request");
    xml_.Leaf("date_received_request", "2021-03-11");
    xml_.Leaf("date_receipt_request_reg_authority_rights", "2021-03-11");
    xml_.End();
  }

  // The first letter of a UTF-8 name.
  static std::string InitialOf(const std::string& name) {
    size_t length = 1;
    while (length < name.size() && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) ++length;
    return name.substr(0, length);
  }

  void WriteNumber(std::string_view number) {
    // The same cuts as the stylesheet schemas' certification number.
    static constexpr std::string_view kComment = "<!-- номер записан частями -->";
    const auto cut_at = [&](size_t at) {
      while (at < number.size() && (static_cast<unsigned char>(number[at]) & 0xC0) == 0x80) ++at;
      return at;
    };
    switch (options_.number_split) {
      case TNumberSplit::None:
        if (!number.empty()) xml_.Text(number);
        return;
      case TNumberSplit::Comment: {
        const size_t cut = cut_at(number.size() / 2);
        xml_.Text(number.substr(0, cut));
        xml_.Raw(kComment);
        xml_.Text(number.substr(cut));
        return;
      }
      case TNumberSplit::CData:
      case TNumberSplit::CommentAndCData: {
        const size_t cut = cut_at(number.size() / 2);
        xml_.Text(number.substr(0, cut));
        if (options_.number_split == TNumberSplit::CommentAndCData) xml_.Raw(kComment);
        xml_.Raw(std::string("<![CDATA[").append(number.substr(cut)).append("]]>"));
        return;
      }
    }
  }

  void WriteBlock(const TCadastralBlock& block, bool first) {
    const std::string system = block.coord_systems.empty() ? std::string() : block.coord_systems[0].name.value_or("");
    xml_.Start("cadastral_block");
    if (block.cadastral_number) xml_.Leaf("cadastral_number", *block.cadastral_number);
    xml_.Start("area_quarter");
    xml_.Leaf("area", block.area);
    xml_.Leaf("unit", "кв. м");
    xml_.End();

    const bool pad = first && options_.target_size > 0;
    if (!block.parcels.empty() || pad) {
      xml_.Start("record_data");
      xml_.Start("base_data");
      xml_.Start("land_records");
      for (const TParcel& parcel : block.parcels) WriteLandRecord(parcel, system);
      if (pad) PadLandRecords(block.cadastral_number.value_or("50:20:0010336"), block.parcels, system);
      xml_.End();
      xml_.End();
      xml_.End();
    }

    if (!block.contour.empty()) {
      xml_.Start("spatial_data");
      WriteEntitySpatial(block.contour, system);
      xml_.End();
    }
    if (!block.coord_systems.empty()) {
      xml_.Start("coord_systems");
      for (const TCoordSystem& coord : block.coord_systems) {
        xml_.Start("coord_system");
        if (coord.name) xml_.Leaf("sk_id", *coord.name);
        xml_.End();
      }
      xml_.End();
    }
    xml_.End();
  }

  // Generated land records until the size target is reached.
  void PadLandRecords(const std::string& block, const std::vector<TParcel>& given, const std::string& system) {
    int index = static_cast<int>(given.size()) + 1000;
    TParcel parcel = SampleParcel(block, index);
    const std::vector<TPoint> contour = parcel.contour;
    for (; xml_.Size() < options_.target_size; ++index) {
      parcel.cadastral_number->assign(block).append(":").append(std::to_string(index));
      parcel.address.note = "Московская область, р-н Одинцовский, д Жаворонки, дом " + std::to_string(index % 300 + 1);
      const double shift = 40.0 * (index % 1000);
      for (size_t i = 0; i < contour.size(); ++i) {
        parcel.contour[i].x = contour[i].x + shift;
        parcel.contour[i].y = contour[i].y + 40.0 * (index / 1000);
      }
      WriteLandRecord(parcel, system);
    }
  }

  void WriteLandRecord(const TParcel& parcel, const std::string& document_system) {
    xml_.Start("land_record");
    if (parcel.date_created) {
      xml_.Start("record_info");
      xml_.Leaf("registration_date", *parcel.date_created);
      xml_.End();
    }
    xml_.Start("object");
    xml_.Start("common_data");
    xml_.Start("type");
    xml_.Leaf("code", "002001001000");
    xml_.Leaf("value", "Земельный участок");
    xml_.End();
    if (parcel.cadastral_number) {
      xml_.Leaf("cad_number", *parcel.cadastral_number);
      const size_t colon = parcel.cadastral_number->rfind(':');
      if (colon != std::string::npos) xml_.Leaf("quarter_cad_number", parcel.cadastral_number->substr(0, colon));
    }
    xml_.End();
    xml_.End();

    xml_.Start("params");
    xml_.Start("category");
    xml_.Start("type");
    xml_.Leaf("code", parcel.category);
    xml_.End();
    xml_.End();
    xml_.Start("permitted_use");
    xml_.Start("permitted_use_established");
    xml_.Leaf("by_document", parcel.utilization_by_doc);
    xml_.End();
    xml_.End();
    xml_.Start("area");
    xml_.Leaf("value", parcel.area);
    xml_.End();
    xml_.End();

    xml_.Start("address_location");
    xml_.Start("address");
    xml_.LeafIfAny({}, "readable_address", parcel.address.note);
    xml_.End();
    xml_.End();

    if (!parcel.contour.empty()) {
      xml_.Start("contours_location");
      xml_.Start("contours");
      xml_.Start("contour");
      xml_.Leaf("number_pp", "1");
      WriteEntitySpatial(parcel.contour, parcel.coord_system.value_or(document_system));
      xml_.End();
      xml_.End();
      xml_.End();
    }
    xml_.End();
  }

  void WriteEntitySpatial(const std::vector<TPoint>& contour, const std::string& system) {
    xml_.Start("entity_spatial");
    if (!system.empty()) xml_.Leaf("sk_id", system);
    xml_.Start("spatials_elements");
    xml_.Start("spatial_element");
    xml_.Start("ordinates");
    for (size_t i = 0; i < contour.size(); ++i) {
      xml_.Start("ordinate");
      xml_.Leaf("x", FixedText(contour[i].x));
      xml_.Leaf("y", FixedText(contour[i].y));
      xml_.Leaf("ord_nmb", std::to_string(i + 1 == contour.size() && contour.size() > 1 ? 1 : i + 1));
      xml_.End();
    }
    xml_.End();
    xml_.End();
    xml_.End();
    xml_.End();
  }

  void WriteRights() {
    xml_.Start("right_records");
    xml_.Start("right_record");
    xml_.Start("right_data");
    xml_.Start("right_type");
    xml_.Leaf("code", "001001000000");
    xml_.Leaf("value", "Собственность");
    xml_.End();
    xml_.Leaf("right_number", "50-50/020-50/020/001/2016-1234/2");
    xml_.End();
    xml_.End();
    xml_.End();
  }

  const TDocument& doc_;
  const TBuildOptions& options_;
  TXmlWriter xml_;
};

}  // namespace

void WriteRootElementDocument(const TDocument& document, const TBuildOptions& options, std::string& out) {
  TExtractWriter(document, options, out).Write();
}

}  // namespace testdocs::internal
