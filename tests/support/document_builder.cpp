#include "support/document_builder.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "platform/text_conversion.h"
#include "support/document_builder_internal.h"

namespace testdocs {

namespace {

using internal::kSenderName;
using internal::kWindows1251;
using internal::TXmlWriter;

// Namespaces of the current schemas; the older schemas declare none.
constexpr std::string_view kNsKpt09 = "urn://x-artefacts-rosreestr-ru/outgoing/kpt/9.0.3";
constexpr std::string_view kNsKvzu06 = "urn://x-artefacts-rosreestr-ru/outgoing/kvzu/6.0.9";
constexpr std::string_view kNsKpt10 = "urn://x-artefacts-rosreestr-ru/outgoing/kpt/10.0.1";
constexpr std::string_view kNsKvzu07 = "urn://x-artefacts-rosreestr-ru/outgoing/kvzu/7.0.1";
constexpr std::string_view kNsAddress = "urn://x-artefacts-rosreestr-ru/commons/complex-types/address-output/4.0.1";
constexpr std::string_view kNsSpatial = "urn://x-artefacts-rosreestr-ru/commons/complex-types/entity-spatial/2.0.1";
constexpr std::string_view kNsSpatial5 = "urn://x-artefacts-rosreestr-ru/commons/complex-types/entity-spatial/5.0.1";
constexpr std::string_view kNsParametersOks =
    "urn://x-artefacts-rosreestr-ru/commons/complex-types/parameters-oks/2.0.1";
constexpr std::string_view kNsDocument = "urn://x-artefacts-rosreestr-ru/commons/complex-types/document-output/4.0.1";
constexpr std::string_view kNsCertification =
    "urn://x-artefacts-rosreestr-ru/commons/complex-types/certification-doc/1.0";
constexpr std::string_view kNsNaturalObjects =
    "urn://x-artefacts-rosreestr-ru/commons/complex-types/natural-objects-output/1.0.1";
constexpr std::string_view kNsCulturalHeritage =
    "urn://x-artefacts-rosreestr-ru/commons/complex-types/cultural-heritage/2.0.1";
constexpr std::string_view kNsSmevCommons = "urn://x-artefacts-smev-gov-ru/supplementary/commons/1.0.1";

struct TNamespace {
  std::string_view prefix;
  std::string_view uri;
};

class TDocumentWriter {
 public:
  TDocumentWriter(const TDocument& document, const TBuildOptions& options, std::string& out)
      : doc_(document),
        options_(options),
        xml_(out, options.layout == TLayout::Indented),
        schema_(document.schema),
        kpt_(KindOf(schema_) == TDocumentKind::Kpt),
        later_(schema_ == TSchema::Kpt10 || schema_ == TSchema::Kvzu07),
        modern_(later_ || schema_ == TSchema::Kpt09 || schema_ == TSchema::Kvzu06) {
    spatial_ = options.spatial_prefix.value_or(modern_ ? "ns3" : "");
    const char* usual_certification = !modern_ ? "" : kpt_ ? "ns6" : "ns8";
    certification_ = options.certification_prefix.value_or(usual_certification);
    person_ = !modern_ ? "" : kpt_ ? "ns7" : "ns9";
    main_ = modern_ ? options.main_prefix.value_or("") : "";
    // The address keeps a prefix of its own when the document's elements take "ns2".
    address_ = !modern_ ? "" : main_ == "ns2" ? "adr" : "ns2";
    spatial_uri_ = later_ ? kNsSpatial5 : kNsSpatial;
    xml_.SetMainPrefix(main_);
  }

  void Write() {
    if (options_.xml_declaration_text) {
      xml_.Misc(*options_.xml_declaration_text);
    } else if (options_.xml_declaration) {
      if (options_.encoding == TEncoding::Windows1251)
        xml_.Misc("<?xml version=\"1.0\" encoding=\"windows-1251\"?>");
      else if (modern_)
        xml_.Misc("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>");
      else
        xml_.Misc("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    }
    if (options_.stylesheet_placement == TStylesheetPlacement::BeforeRoot) WriteStylesheet();
    // Indented, the root begins a line of its own anyway.
    if (options_.blank_line_before_root) xml_.Verbatim(options_.layout == TLayout::Indented ? "\r\n" : "\r\n\r\n");
    if (KindOf(schema_) == TDocumentKind::Kpt)
      WriteKpt();
    else
      WriteKvzu();
    if (options_.stylesheet_placement == TStylesheetPlacement::AfterRoot) WriteStylesheet();
    xml_.Finish();
  }

 private:
  void WriteStylesheet() {
    if (options_.stylesheet_text)
      xml_.Misc(*options_.stylesheet_text);
    else
      xml_.Misc(StylesheetInstruction(StylesheetContent(schema_, kRegistryHost, options_.other_stylesheet)));
  }

  // Declarations on the root element. A prefix is declared once, so that a switched
  // prefix that collides with another one still gives a well-formed document.
  void WriteNamespaces(std::vector<TNamespace> spaces) {
    if (!modern_) {
      if (!spatial_.empty()) spaces.push_back({spatial_, kNsSpatial});
      if (!certification_.empty()) spaces.push_back({certification_, kNsCertification});
    }
    std::vector<std::string_view> declared;
    // A main prefix leaves the default namespace undeclared.
    if (!main_.empty()) declared.push_back("");
    for (const TNamespace& space : spaces) {
      bool seen = false;
      for (std::string_view prefix : declared) seen = seen || prefix == space.prefix;
      if (seen) continue;
      declared.push_back(space.prefix);
      if (space.prefix.empty())
        xml_.Attr("xmlns", space.uri);
      else
        xml_.Attr(std::string("xmlns:").append(space.prefix), space.uri);
    }
  }

  void WriteEDocument(std::string_view code_type) {
    xml_.Start("eDocument");
    xml_.Attr("CodeType", code_type);
    xml_.Attr("Version", VersionOf(schema_));
    xml_.Start("Sender");
    xml_.Attr("Name", kSenderName);
    xml_.End();
    xml_.End();
  }

  // ---- plans of territory

  void WriteKpt() {
    if (modern_) {
      xml_.Start("KPT");
      WriteNamespaces({{main_, later_ ? kNsKpt10 : kNsKpt09},
                       {address_, kNsAddress},
                       {spatial_, spatial_uri_},
                       {"ns4", kNsParametersOks},
                       {"ns5", kNsDocument},
                       {certification_, kNsCertification},
                       {"ns7", kNsSmevCommons}});
      if (options_.certification_first) WriteCertification();
      if (!doc_.blocks.empty()) {
        xml_.Start("CadastralBlocks");
        WriteBlocks();
        xml_.End();
      }
      if (!options_.certification_first) WriteCertification();
      xml_.End();
      return;
    }

    xml_.Start("Region_Cadastr");
    WriteNamespaces({});
    WriteEDocument("014");
    xml_.Start("Package");
    if (options_.certification_first) WriteCertification();
    if (schema_ == TSchema::Kpt08) {
      if (!doc_.blocks.empty()) {
        xml_.Start("Cadastral_Blocks");
        WriteBlocks();
        xml_.End();
      }
    } else {
      WriteFederalChain();
    }
    if (!options_.certification_first) WriteCertification();
    xml_.End();
    xml_.End();
  }

  // KPT 05 to 07: country, region and district around the blocks.
  void WriteFederalChain() {
    std::string_view block = "50:20:0010336";
    for (const TCadastralBlock& b : doc_.blocks)
      if (b.cadastral_number) {
        block = *b.cadastral_number;
        break;
      }
    const size_t first_colon = block.find(':');
    const size_t second_colon = block.find(':', first_colon == block.npos ? 0 : first_colon + 1);
    xml_.Start("Federal");
    xml_.Attr("Name", "Российская Федерация");
    xml_.Start("Cadastral_Regions");
    xml_.Start("Cadastral_Region");
    xml_.Attr("CadastralNumber", block.substr(0, first_colon));
    xml_.Attr("Name", doc_.region_name);
    xml_.Start("Cadastral_Districts");
    xml_.Start("Cadastral_District");
    xml_.Attr("CadastralNumber", block.substr(0, second_colon));
    xml_.Attr("Name", doc_.district_name);
    if (!doc_.blocks.empty()) {
      xml_.Start("Cadastral_Blocks");
      WriteBlocks();
      xml_.End();
    }
    for (int i = 0; i < 5; ++i) xml_.End();
  }

  void WriteBlocks() {
    for (size_t i = 0; i < doc_.blocks.size(); ++i) WriteBlock(doc_.blocks[i], i == 0);
  }

  void WriteBlock(const TCadastralBlock& block, bool first) {
    xml_.Start(modern_ ? "CadastralBlock" : "Cadastral_Block");
    xml_.OptionalAttr("CadastralNumber", block.cadastral_number);
    if (options_.coord_systems_first) WriteCoordSystems(block.coord_systems);

    xml_.Start("Area");
    xml_.Leaf("Total", block.area);
    xml_.Leaf("Unit", "055");
    xml_.End();

    const std::string_view ent_sys = EntSys(block.coord_systems);
    const bool pad = first && options_.target_size > 0;
    if (!block.parcels.empty() || pad) {
      xml_.Start("Parcels");
      for (const TParcel& parcel : block.parcels) WriteParcel(parcel, ent_sys);
      if (pad) PadParcels(block.cadastral_number.value_or("50:20:0010336"), block.parcels, ent_sys);
      xml_.End();
    }

    if (!block.contour.empty()) {
      xml_.Start(modern_ ? "SpatialData" : "Spatial_Data");
      WriteEntitySpatial(block.contour, ent_sys);
      xml_.End();
    }
    if (!options_.coord_systems_first) WriteCoordSystems(block.coord_systems);
    xml_.End();
  }

  // ---- land plot extracts

  enum class TSection { Parcels, Certification, CoordSystems };

  void WriteKvzu() {
    if (modern_) {
      xml_.Start("KVZU");
      WriteNamespaces({{main_, later_ ? kNsKvzu07 : kNsKvzu06},
                       {address_, kNsAddress},
                       {spatial_, spatial_uri_},
                       {"ns4", kNsNaturalObjects},
                       {"ns5", kNsDocument},
                       {"ns6", kNsParametersOks},
                       {"ns7", kNsCulturalHeritage},
                       {certification_, kNsCertification},
                       {"ns9", kNsSmevCommons}});
      std::vector<TSection> order = {TSection::Parcels, TSection::Certification};
      if (options_.certification_first) std::swap(order[0], order[1]);
      const auto certification = order[0] == TSection::Certification ? order.begin() : order.begin() + 1;
      if (options_.coord_systems_first)
        order.insert(certification, TSection::CoordSystems);
      else
        order.push_back(TSection::CoordSystems);
      for (TSection section : order) {
        switch (section) {
          case TSection::Parcels:
            WriteKvzuParcels();
            break;
          case TSection::Certification:
            WriteCertification();
            break;
          case TSection::CoordSystems:
            WriteCoordSystems(doc_.coord_systems);
            break;
        }
      }
      xml_.End();
      return;
    }

    // Version 05 keeps the coordinate systems outside the package.
    xml_.Start("Region_Cadastr_Vidimus_KV");
    WriteNamespaces({});
    WriteEDocument("111");
    if (options_.coord_systems_first) WriteCoordSystems(doc_.coord_systems);
    xml_.Start("Package");
    if (options_.certification_first) WriteCertification();
    WriteKvzuParcels();
    if (!options_.certification_first) WriteCertification();
    xml_.End();
    if (!options_.coord_systems_first) WriteCoordSystems(doc_.coord_systems);
    xml_.End();
  }

  void WriteKvzuParcels() {
    const bool pad = options_.target_size > 0;
    if (doc_.parcels.empty() && !pad) return;
    const std::string_view ent_sys = EntSys(doc_.coord_systems);
    xml_.Start("Parcels");
    for (const TParcel& parcel : doc_.parcels) WriteParcel(parcel, ent_sys);
    if (pad) {
      std::string block = "50:20:0010336";
      if (!doc_.parcels.empty() && doc_.parcels[0].cadastral_number) {
        const std::string& number = *doc_.parcels[0].cadastral_number;
        block = number.substr(0, number.rfind(':'));
      }
      PadParcels(block, doc_.parcels, ent_sys);
    }
    xml_.End();
  }

  // ---- parts shared by the kinds

  // Generated parcels until the size target is reached, numbered on from the highest
  // number among the given ones.
  void PadParcels(const std::string& block, const std::vector<TParcel>& given, std::string_view ent_sys) {
    int index = 0;
    for (const TParcel& p : given) {
      if (!p.cadastral_number) continue;
      const std::string& number = *p.cadastral_number;
      int last = 0;
      const char* begin = number.data() + number.rfind(':') + 1;
      std::from_chars(begin, number.data() + number.size(), last);
      index = std::max(index, last);
    }
    ++index;
    TParcel parcel = SampleParcel(block, index);
    const std::vector<TPoint> contour = parcel.contour;
    for (; xml_.Size() < options_.target_size; ++index) {
      parcel.cadastral_number->assign(block).append(":").append(std::to_string(index));
      parcel.address.house = std::to_string(index % 300 + 1);
      const double shift = 40.0 * (index % 1000);
      for (size_t i = 0; i < contour.size(); ++i) {
        parcel.contour[i].x = contour[i].x + shift;
        parcel.contour[i].y = contour[i].y + 40.0 * (index / 1000);
      }
      WriteParcel(parcel, ent_sys);
    }
  }

  static std::string_view EntSys(const std::vector<TCoordSystem>& systems) {
    return systems.empty() ? std::string_view() : std::string_view(systems[0].id);
  }

  void WriteParcel(const TParcel& parcel, std::string_view ent_sys) {
    xml_.Start("Parcel");
    xml_.OptionalAttr("CadastralNumber", parcel.cadastral_number);
    if (!modern_) xml_.Attr("Name", "01");
    xml_.Attr("State", parcel.state);
    xml_.OptionalAttr("DateCreated", parcel.date_created);
    xml_.OptionalAttr("DateCreatedDoc", parcel.date_created_doc);

    if (schema_ == TSchema::Kvzu06 || schema_ == TSchema::Kvzu07) xml_.Leaf("Name", "01");
    const bool areas = schema_ == TSchema::Kpt05 || schema_ == TSchema::Kpt06 || schema_ == TSchema::Kpt07;
    if (areas) {
      xml_.Start("Areas");
      xml_.Start("Area");
      xml_.Leaf("Type", "009");
    } else {
      xml_.Start("Area");
    }
    xml_.Leaf("Area", parcel.area);
    xml_.Leaf("Unit", "055");
    xml_.End();
    if (areas) xml_.End();

    xml_.Start("Location");
    WriteAddress(parcel.address);
    xml_.End();

    if (modern_) {
      xml_.Leaf("Category", parcel.category);
      xml_.Start("Utilization");
      xml_.Attr("Utilization", parcel.utilization);
    } else {
      xml_.Start("Category");
      xml_.Attr("Category", parcel.category);
      xml_.End();
      xml_.Start("Utilization");
      xml_.Attr("Kind", parcel.utilization);
    }
    xml_.Attr("ByDoc", parcel.utilization_by_doc);
    xml_.End();

    WriteEntitySpatial(parcel.contour, ent_sys);
    xml_.End();
  }

  void WriteAddress(const TAddress& address) {
    const std::string_view p = address_;
    xml_.Start("Address");
    xml_.LeafIfAny(p, modern_ ? "OKATO" : "Code_OKATO", address.okato);
    xml_.LeafIfAny(p, modern_ ? "KLADR" : "Code_KLADR", address.kladr);
    xml_.LeafIfAny(p, modern_ ? "PostalCode" : "Postal_Code", address.postal_code);
    xml_.LeafIfAny(p, "Region", address.region);
    NamedPart(p, "District", address.district, "р-н");
    NamedPart(p, "Locality", address.locality, "д");
    NamedPart(p, "Street", address.street, "ул");
    if (!address.house.empty()) {
      xml_.Start(p, "Level1");
      xml_.Attr("Type", "д");
      xml_.Attr("Value", address.house);
      xml_.End();
    }
    xml_.LeafIfAny(p, "Note", address.note);
    xml_.End();
  }

  void NamedPart(std::string_view prefix, std::string_view element, std::string_view name, std::string_view type) {
    if (name.empty()) return;
    xml_.Start(prefix, element);
    xml_.Attr("Name", name);
    xml_.Attr("Type", type);
    xml_.End();
  }

  void WriteEntitySpatial(const std::vector<TPoint>& contour, std::string_view ent_sys) {
    if (contour.empty()) return;
    // Only the current schemas put the spatial elements into their own namespace.
    const std::string_view p = modern_ ? std::string_view(spatial_) : std::string_view();
    xml_.Start(modern_ ? "EntitySpatial" : "Entity_Spatial");
    if (!ent_sys.empty()) xml_.Attr(modern_ ? "EntSys" : "Ent_Sys", ent_sys);
    xml_.Start(p, modern_ ? "SpatialElement" : "Spatial_Element");
    const size_t count = contour.size();
    for (size_t i = 0; i < count; ++i) {
      // The closing point repeats the first one under its number.
      const bool closing = i + 1 == count && count > 1 && contour[i].x == contour[0].x && contour[i].y == contour[0].y;
      const int number = closing ? 1 : static_cast<int>(i) + 1;
      xml_.Start(p, modern_ ? "SpelementUnit" : "Spelement_Unit");
      xml_.Attr(modern_ ? "TypeUnit" : "Type_Unit", "Точка");
      xml_.Attr(modern_ ? "SuNmb" : "Su_Nmb", number);
      xml_.Start(p, "Ordinate");
      xml_.Attr("X", contour[i].x);
      xml_.Attr("Y", contour[i].y);
      xml_.Attr(modern_ ? "OrdNmb" : "Ord_Nmb", number);
      if (modern_) xml_.Attr("DeltaGeopoint", "0.1");
      xml_.End();
      xml_.End();
    }
    xml_.End();
    xml_.End();
  }

  // KPT 09 and both extracts group the systems; KPT 06 to 08 list them in the block.
  void WriteCoordSystems(const std::vector<TCoordSystem>& systems) {
    if (systems.empty()) return;
    const bool grouped = modern_ || KindOf(schema_) == TDocumentKind::Kvzu;
    if (grouped) xml_.Start(modern_ ? "CoordSystems" : "Coord_Systems");
    for (const TCoordSystem& system : systems) {
      xml_.Start(spatial_, modern_ ? "CoordSystem" : "Coord_System");
      xml_.OptionalAttr("Name", system.name);
      xml_.Attr(modern_ ? "CsId" : "Cs_Id", system.id);
      xml_.End();
    }
    if (grouped) xml_.End();
  }

  void WriteCertification() {
    if (!doc_.certification) return;
    const TCertificationDoc& cert = *doc_.certification;
    const std::string_view p = certification_;
    xml_.Start(modern_ ? "CertificationDoc" : "Certification_Doc");
    xml_.LeafIfAny(p, "Organization", cert.organization);
    // Another document's date, in the namespace of documents, must not pass for this one.
    if (modern_ && options_.document_date_in_certification) xml_.Leaf("ns5", "Date", "2001-02-03");
    xml_.OptionalLeaf(p, "Date", cert.date);
    if (cert.number) {
      xml_.Start(p, "Number");
      WriteNumber(*cert.number);
      xml_.End();
    }
    xml_.LeafIfAny(p, "Appointment", cert.appointment);
    if (!cert.surname.empty() || !cert.first_name.empty() || !cert.patronymic.empty()) {
      xml_.Start(p, "FIO");
      xml_.LeafIfAny(person_, "Surname", cert.surname);
      xml_.LeafIfAny(person_, "First", cert.first_name);
      xml_.LeafIfAny(person_, "Patronymic", cert.patronymic);
      xml_.End();
    }
    xml_.End();
  }

  // Cut points fall on character boundaries, so the pieces stay valid UTF-8.
  static size_t CutAt(std::string_view text, size_t at) {
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    return at;
  }

  void WriteNumber(std::string_view number) {
    static constexpr std::string_view kComment = "<!-- номер записан частями -->";
    const size_t n = number.size();
    switch (options_.number_split) {
      case TNumberSplit::None:
        if (!number.empty()) xml_.Text(number);
        return;
      case TNumberSplit::Comment: {
        const size_t cut = CutAt(number, n / 2);
        xml_.Text(number.substr(0, cut));
        xml_.Raw(kComment);
        xml_.Text(number.substr(cut));
        return;
      }
      case TNumberSplit::CData: {
        const size_t cut = CutAt(number, n / 2);
        xml_.Text(number.substr(0, cut));
        xml_.Raw(std::string("<![CDATA[").append(number.substr(cut)).append("]]>"));
        return;
      }
      case TNumberSplit::CommentAndCData: {
        const size_t first = CutAt(number, n / 3);
        const size_t second = CutAt(number, std::max(first, 2 * n / 3));
        xml_.Text(number.substr(0, first));
        xml_.Raw(kComment);
        xml_.Raw(std::string("<![CDATA[").append(number.substr(first, second - first)).append("]]>"));
        xml_.Text(number.substr(second));
        return;
      }
    }
  }

  const TDocument& doc_;
  const TBuildOptions& options_;
  TXmlWriter xml_;
  TSchema schema_;
  bool kpt_;
  bool later_;   // KPT 10, KVZU 07
  bool modern_;  // KPT 09, KVZU 06 and the later ones: namespaces, camel-case names
  std::string spatial_;
  std::string certification_;
  std::string main_;
  std::string_view person_;
  std::string_view address_;
  std::string_view spatial_uri_;
};

}  // namespace

TDocumentKind KindOf(TSchema schema) {
  switch (schema) {
    case TSchema::Kvzu05:
    case TSchema::Kvzu06:
    case TSchema::Kvzu07:
    case TSchema::LandProperty:
    case TSchema::LandBaseParams:
      return TDocumentKind::Kvzu;
    default:
      return TDocumentKind::Kpt;
  }
}

std::string_view VersionOf(TSchema schema) {
  switch (schema) {
    case TSchema::Kpt05:
    case TSchema::Kvzu05:
      return "05";
    case TSchema::Kpt06:
    case TSchema::Kvzu06:
      return "06";
    case TSchema::Kpt07:
    case TSchema::Kvzu07:
      return "07";
    case TSchema::Kpt08:
      return "08";
    case TSchema::Kpt09:
      return "09";
    case TSchema::Kpt10:
      return "10";
    case TSchema::KptTerritory:
      return "extract_cadastral_plan_territory";
    case TSchema::LandProperty:
      return "extract_about_property_land";
    case TSchema::LandBaseParams:
      return "extract_base_params_land";
  }
  return {};
}

std::string_view SchemaName(TSchema schema) {
  switch (schema) {
    case TSchema::Kpt05:
      return "KPT_05";
    case TSchema::Kpt06:
      return "KPT_06";
    case TSchema::Kpt07:
      return "KPT_07";
    case TSchema::Kpt08:
      return "KPT_08";
    case TSchema::Kpt09:
      return "KPT_09";
    case TSchema::Kvzu05:
      return "KVZU_05";
    case TSchema::Kvzu06:
      return "KVZU_06";
    case TSchema::Kpt10:
      return "KPT_10";
    case TSchema::Kvzu07:
      return "KVZU_07";
    case TSchema::KptTerritory:
      return "KPT_territory";
    case TSchema::LandProperty:
      return "KVZU_property_land";
    case TSchema::LandBaseParams:
      return "KVZU_base_params_land";
  }
  return {};
}

bool HasStylesheet(TSchema schema) {
  return schema != TSchema::KptTerritory && schema != TSchema::LandProperty && schema != TSchema::LandBaseParams;
}

std::string_view NamespaceOf(TSchema schema) {
  switch (schema) {
    case TSchema::Kpt09:
      return kNsKpt09;
    case TSchema::Kvzu06:
      return kNsKvzu06;
    case TSchema::Kpt10:
      return kNsKpt10;
    case TSchema::Kvzu07:
      return kNsKvzu07;
    default:
      return {};
  }
}

std::string StylesheetPath(TSchema schema, bool other) {
  if (!HasStylesheet(schema)) return {};
  if (other && schema == TSchema::Kpt10) return "/xsl/GKN/KPT_b/10/common.xsl";
  if (other && schema == TSchema::Kvzu07) return "/xsl/EGRP/Reestr_Extract_Big/ZU/07/Common.xsl";
  const char* kind = KindOf(schema) == TDocumentKind::Kpt ? "KPT" : "Vidimus";
  return std::string("/xsl/GKN/").append(kind).append("/").append(VersionOf(schema)).append("/common.xsl");
}

std::string StylesheetContent(TSchema schema, std::string_view host, bool other) {
  return std::string("type=\"text/xsl\" href=\"https://")
      .append(host)
      .append(StylesheetPath(schema, other))
      .append("\"");
}

std::string StylesheetInstruction(std::string_view content) {
  return std::string("<?xml-stylesheet ").append(content).append("?>");
}

TBuildOptions LaterGeneratorOptions() {
  TBuildOptions options;
  options.spatial_prefix = "spa";
  options.certification_prefix = "cer";
  options.blank_line_before_root = true;
  options.xml_declaration_text = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>";
  return options;
}

TBuildOptions VariantOptions(TDocumentVariant variant) {
  TBuildOptions options;
  switch (variant) {
    case TDocumentVariant::Indented:
      break;
    case TDocumentVariant::SingleLine:
      options.layout = TLayout::SingleLine;
      break;
    case TDocumentVariant::Bom:
      options.byte_order_mark = true;
      break;
    case TDocumentVariant::Windows1251:
      options.encoding = TEncoding::Windows1251;
      break;
    case TDocumentVariant::BomWithoutDeclaration:
      options.byte_order_mark = true;
      options.xml_declaration = false;
      break;
    case TDocumentVariant::LaterGenerator:
      options = LaterGeneratorOptions();
      break;
  }
  return options;
}

const char* VariantName(TDocumentVariant variant) {
  constexpr const char* kNames[] = {"Indented",      "SingleLine", "Bom", "Windows1251", "BomWithoutDeclaration",
                                    "LaterGenerator"};
  return kNames[static_cast<int>(variant)];
}

TParcel SampleParcel(std::string_view block_number, int index) {
  TParcel parcel;
  parcel.cadastral_number = std::string(block_number).append(":").append(std::to_string(index));
  parcel.date_created = "2008-11-13";
  parcel.area = std::to_string(600 + 25 * (index % 40));
  parcel.category = "003002000000";
  parcel.utilization = "141001000000";
  parcel.utilization_by_doc = "для индивидуального жилищного строительства";
  const std::string house = std::to_string(index % 300 + 1);
  parcel.address = {"46241000017",
                    "500230000420003",
                    "143020",
                    "50",
                    "Одинцовский",
                    "Жаворонки",
                    "Лесная",
                    house,
                    "Московская область, р-н Одинцовский, д Жаворонки, ул Лесная, дом " + house};
  const double x = 468120.37 + 40.0 * (index % 1000);
  const double y = 2191034.18 + 40.0 * (index / 1000);
  parcel.contour = {{x, y}, {x, y + 30.12}, {x + 29.87, y + 30.12}, {x + 29.87, y}, {x, y}};
  return parcel;
}

TDocument SampleDocument(TSchema schema) {
  TDocument doc;
  doc.schema = schema;
  doc.region_name = "Московская область";
  doc.district_name = "Одинцовский";
  const std::string block_number = "50:20:0010336";
  const TCoordSystem system{std::string("МСК-50, зона 2"), "ID0"};

  if (KindOf(schema) == TDocumentKind::Kpt) {
    TCadastralBlock block;
    block.cadastral_number = block_number;
    block.area = "1254300";
    block.parcels.push_back(SampleParcel(block_number, 101));
    block.contour = {{467900.00, 2190900.00},
                     {467900.00, 2192100.00},
                     {468950.00, 2192100.00},
                     {468950.00, 2190900.00},
                     {467900.00, 2190900.00}};
    if (schema != TSchema::Kpt05) block.coord_systems.push_back(system);
    doc.blocks.push_back(std::move(block));
  } else {
    doc.parcels.push_back(SampleParcel(block_number, 101));
    doc.coord_systems.push_back(system);
  }
  if (!HasStylesheet(schema) && !doc.parcels.empty()) doc.parcels[0].date_created = "2012-06-30T00:00:00+04:00";

  TCertificationDoc cert;
  cert.organization = std::string(kSenderName);
  cert.date = "2016-05-12";
  cert.number = "50/201/16-412345";
  if (!HasStylesheet(schema)) {
    cert.date = "2021-03-15";
    cert.number = "КУВИ-001/2021-1234567";
  }
  cert.appointment = "Инженер 1 категории";
  cert.surname = "Смирнова";
  cert.first_name = "Ольга";
  cert.patronymic = "Викторовна";
  doc.certification = std::move(cert);
  return doc;
}

std::string BuildDocument(const TDocument& document, const TBuildOptions& options) {
  std::string text;
  text.reserve(options.target_size > 0 ? options.target_size + 64 * 1024 : 16 * 1024);
  if (HasStylesheet(document.schema))
    TDocumentWriter(document, options, text).Write();
  else
    internal::WriteRootElementDocument(document, options, text);

  if (options.truncate_after) {
    const size_t at = text.find(*options.truncate_after);
    if (at == std::string::npos)
      throw std::invalid_argument("truncation marker not in the document: " + *options.truncate_after);
    text.resize(at + options.truncate_after->size());
  }
  if (options.encoding == TEncoding::Windows1251) text = platform::Utf8ToCodePage(kWindows1251, text);
  if (options.byte_order_mark) text.insert(0, "\xEF\xBB\xBF");
  if (options.truncate_at && *options.truncate_at < text.size()) text.resize(*options.truncate_at);
  return text;
}

}  // namespace testdocs
