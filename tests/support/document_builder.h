#pragma once
// Writes registry documents for tests and benchmarks: plans of territory (KPT 05 to 10
// and extract_cadastral_plan_territory) and land plot extracts (KVZU 05 to 07,
// extract_about_property_land and extract_base_params_land) with the element nesting
// and namespace declarations of each schema, filled from a description of the values,
// plus switches that bend a document into the awkward shapes met in practice.
//
//   testdocs::TDocument doc = testdocs::SampleDocument(testdocs::TSchema::Kpt09);
//   doc.blocks[0].coord_systems.clear();          // no coordinate system in this plan
//   testdocs::TBuildOptions options;
//   options.layout = testdocs::TLayout::SingleLine;
//   options.encoding = testdocs::TEncoding::Windows1251;
//   std::string bytes = testdocs::BuildDocument(doc, options);

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testdocs {

enum class TSchema {
  Kpt05,
  Kpt06,
  Kpt07,
  Kpt08,
  Kpt09,
  Kvzu05,
  Kvzu06,
  // Stylesheet schemas of 2017 onward, in namespaces of their own.
  Kpt10,
  Kvzu07,
  // The registry's formats without a stylesheet and without namespaces, named by
  // their root element.
  KptTerritory,    // extract_cadastral_plan_territory
  LandProperty,    // extract_about_property_land
  LandBaseParams,  // extract_base_params_land
};
// The schemas of 2010 to 2016.
inline constexpr std::array<TSchema, 7> kEarlierSchemas = {
    TSchema::Kpt05, TSchema::Kpt06, TSchema::Kpt07, TSchema::Kpt08, TSchema::Kpt09, TSchema::Kvzu05, TSchema::Kvzu06};
inline constexpr std::array<TSchema, 5> kLaterSchemas = {TSchema::Kpt10, TSchema::Kvzu07, TSchema::KptTerritory,
                                                         TSchema::LandProperty, TSchema::LandBaseParams};
inline constexpr std::array<TSchema, 12> kAllSchemas = {
    TSchema::Kpt05,  TSchema::Kpt06,        TSchema::Kpt07,        TSchema::Kpt08,
    TSchema::Kpt09,  TSchema::Kvzu05,       TSchema::Kvzu06,       TSchema::Kpt10,
    TSchema::Kvzu07, TSchema::KptTerritory, TSchema::LandProperty, TSchema::LandBaseParams};

enum class TDocumentKind { Kpt, Kvzu };
TDocumentKind KindOf(TSchema schema);
// "05" ... "10" as the stylesheet reference writes it; for a format without a
// stylesheet its root element's name.
std::string_view VersionOf(TSchema schema);
// "KPT_09", "KVZU_05", "KPT_territory": usable as a test name.
std::string_view SchemaName(TSchema schema);
// False for the formats named by their root element.
bool HasStylesheet(TSchema schema);
// The namespace of the document's own elements; empty for the schemas that have none.
std::string_view NamespaceOf(TSchema schema);

// The host that every stylesheet reference of the registry names.
inline constexpr std::string_view kRegistryHost = "portal.rosreestr.ru";
// "/xsl/GKN/KPT/09/common.xsl", "/xsl/GKN/Vidimus/05/common.xsl", ...; with other,
// the second reference of a version that has two ("/xsl/GKN/KPT_b/10/common.xsl",
// "/xsl/EGRP/Reestr_Extract_Big/ZU/07/Common.xsl"). Empty for a format without one.
std::string StylesheetPath(TSchema schema, bool other = false);
// type="text/xsl" href="https://<host><path>": the instruction's content.
std::string StylesheetContent(TSchema schema, std::string_view host = kRegistryHost, bool other = false);
// <?xml-stylesheet CONTENT?>
std::string StylesheetInstruction(std::string_view content);

// Texts are UTF-8. An optional value that is empty (std::nullopt) leaves its attribute
// or element out of the document; an empty string writes it empty.

struct TPoint {
  double x = 0;
  double y = 0;
};

struct TAddress {
  std::string okato;
  std::string kladr;
  std::string postal_code;
  std::string region;    // region code, "50"
  std::string district;  // names, without their type word
  std::string locality;
  std::string street;
  std::string house;
  std::string note;  // the whole address as one text
};

struct TParcel {
  std::optional<std::string> cadastral_number;
  std::optional<std::string> date_created;
  // Registration date under the older system; the registry writes it only for such plots.
  std::optional<std::string> date_created_doc;
  std::string state = "06";
  std::string area;  // square metres
  std::string category;
  std::string utilization;         // classifier code
  std::string utilization_by_doc;  // permitted use as the documents word it
  TAddress address;
  std::vector<TPoint> contour;  // closed: the last point repeats the first
  // Formats without a stylesheet: the coordinate system its contour names; unset, the
  // block's (plan) or the extract's.
  std::optional<std::string> coord_system;
};

struct TCoordSystem {
  std::optional<std::string> name;
  std::string id = "ID0";
};

// KPT only. The block's coordinate systems stand behind its parcels, as in real plans.
struct TCadastralBlock {
  std::optional<std::string> cadastral_number;
  std::string area;  // square metres
  std::vector<TParcel> parcels;
  std::vector<TPoint> contour;
  std::vector<TCoordSystem> coord_systems;
};

struct TCertificationDoc {
  std::string organization;
  std::optional<std::string> date;
  std::optional<std::string> number;
  std::string appointment;
  std::string surname;
  std::string first_name;
  std::string patronymic;
};

struct TDocument {
  TSchema schema = TSchema::Kpt09;
  std::vector<TCadastralBlock> blocks;      // KPT; none leaves the blocks element out
  std::vector<TParcel> parcels;             // KVZU; none leaves the parcels element out
  std::vector<TCoordSystem> coord_systems;  // KVZU: the extract's own list
  std::optional<TCertificationDoc> certification;
  // KPT 05 to 07 nest the blocks in their region and district; their numbers come from
  // the first block's cadastral number.
  std::string region_name;
  std::string district_name;
};

// A document of the schema with every value the sorting reads: one block with one
// parcel (KPT) or one parcel (KVZU), one coordinate system (none in KPT 05, whose plans
// carry none), a certification; Cyrillic names and addresses. The KVZU parcel has
// "DateCreated" but no "DateCreatedDoc", as most extracts do. In the formats without a
// stylesheet the certification is the statement's requisites (its number one of the
// registry's "КУВИ-..." numbers) and a plot's registration date a date-time.
TDocument SampleDocument(TSchema schema);
// Parcel number index of the block, with an address and a contour of its own.
TParcel SampleParcel(std::string_view block_number, int index);

enum class TLayout {
  Indented,   // one element a line, two spaces a level, CR LF line ends
  SingleLine  // no line breaks and no white space between the markup at all
};

enum class TEncoding {
  Utf8,
  Windows1251  // the declaration says so and the bytes are encoded so
};

enum class TStylesheetPlacement {
  BeforeRoot,  // behind the XML declaration, where the registry writes it
  AfterRoot,   // behind the root element's end tag
  None
};

// How the certification number's text is split (the joined text stays the number).
enum class TNumberSplit {
  None,
  Comment,         // first half, a comment, second half
  CData,           // first half, then the second half as a CDATA section
  CommentAndCData  // a third, a comment, a third as a CDATA section, the last third
};

struct TBuildOptions {
  TLayout layout = TLayout::Indented;
  TEncoding encoding = TEncoding::Utf8;
  // Written in front of whatever encoding is chosen; with windows-1251 that makes a
  // deliberately inconsistent document.
  bool byte_order_mark = false;
  bool xml_declaration = true;
  // Written verbatim in place of the declaration, such as the later generator's
  // <?xml version="1.0" encoding="UTF-8" ?>.
  std::optional<std::string> xml_declaration_text;
  // White space between the instruction (or the declaration) and the root element: a
  // blank line, as the later generator writes.
  bool blank_line_before_root = false;

  TStylesheetPlacement stylesheet_placement = TStylesheetPlacement::BeforeRoot;
  // Written verbatim in place of the schema's own instruction: capitals, quotes,
  // blanks, another host, two instructions, a comment in front... A format without a
  // stylesheet gets it in front of its root element.
  std::optional<std::string> stylesheet_text;
  // KPT 10 and KVZU 07: the second stylesheet reference of the version.
  bool other_stylesheet = false;
  // Formats without a stylesheet: another root element's name (an extract of a kind
  // the program does not read).
  std::optional<std::string> root_element;

  // KPT 10 and KVZU 07: prefix of the document's own elements, declared on the root;
  // none (the default) declares the document's namespace as the default one.
  std::optional<std::string> main_prefix;

  // Prefix of the coordinate system elements: "ns3" in KPT 09 and KVZU 06, where it
  // also stands on the other spatial elements; none in the older versions. An empty
  // text writes them without a prefix. A prefix that a version does not use otherwise
  // is declared on the root element.
  std::optional<std::string> spatial_prefix;
  // Prefix of the certification document's children: "ns6" in KPT 09 and 10, "ns8" in
  // KVZU 06 and 07, none in the older versions.
  std::optional<std::string> certification_prefix;
  // KPT 09, 10, KVZU 06, 07: a "Date" of the document-output namespace (prefix "ns5") in
  // the certification document, ahead of the certification's own date.
  bool document_date_in_certification = false;

  // The certification document before the blocks (KPT) or the parcels (KVZU).
  bool certification_first = false;
  // KPT: each block's coordinate systems right behind its start tag, before its parcels.
  // KVZU: the coordinate systems before the certification document (in KVZU 05 before
  // the package that holds it).
  bool coord_systems_first = false;

  TNumberSplit number_split = TNumberSplit::None;

  // When not 0, generated parcels are appended to the first block (KPT) or to the
  // parcels (KVZU) until the text reaches this many bytes (counted before any
  // re-encoding); the document ends a little above it.
  std::size_t target_size = 0;

  // Damage: cut the text just behind the first occurrence of this UTF-8 marker (before
  // re-encoding; std::invalid_argument when it does not occur) ...
  std::optional<std::string> truncate_after;
  // ... or keep only this many bytes of the finished document.
  std::optional<std::size_t> truncate_at;
};

// The later generator of the registry's stylesheet schemas: other prefixes ("spa" for
// the spatial elements, "cer" for the certification's), a blank line before the root,
// and a declaration with a blank before its "?>".
TBuildOptions LaterGeneratorOptions();

// The layouts and encodings a reader is tried with, and their names in test names.
enum class TDocumentVariant { Indented, SingleLine, Bom, Windows1251, BomWithoutDeclaration, LaterGenerator };
TBuildOptions VariantOptions(TDocumentVariant variant);
const char* VariantName(TDocumentVariant variant);

// The document's bytes.
std::string BuildDocument(const TDocument& document, const TBuildOptions& options = {});

}  // namespace testdocs
