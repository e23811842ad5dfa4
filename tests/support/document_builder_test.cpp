#include "support/document_builder.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <set>
#include <string>
#include <vector>

#include "platform/text_conversion.h"

using namespace testdocs;

namespace {

std::string QName(xmlNodePtr node) {
  std::string name;
  if (node->ns != nullptr && node->ns->prefix != nullptr)
    name.append(reinterpret_cast<const char*>(node->ns->prefix)).append(":");
  return name.append(reinterpret_cast<const char*>(node->name));
}

std::optional<std::string> Attr(xmlNodePtr node, const char* name) {
  xmlChar* value = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
  if (value == nullptr) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

std::string Content(xmlNodePtr node) {
  xmlChar* value = xmlNodeGetContent(node);
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

std::vector<std::string> Split(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = path.starts_with('/') ? 1 : 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

void Collect(xmlNodePtr node, const std::vector<std::string>& parts, size_t level, std::vector<xmlNodePtr>& found) {
  if (node->type != XML_ELEMENT_NODE || QName(node) != parts[level]) return;
  if (level + 1 == parts.size()) {
    found.push_back(node);
    return;
  }
  for (xmlNodePtr child = node->children; child != nullptr; child = child->next)
    Collect(child, parts, level + 1, found);
}

// Elements below node whose chain of qualified names (prefix included, as the readers
// compare them) equals the relative path, in document order.
std::vector<xmlNodePtr> FindFrom(xmlNodePtr node, std::string_view path) {
  std::vector<xmlNodePtr> found;
  const std::vector<std::string> parts = Split(path);
  for (xmlNodePtr child = node->children; child != nullptr; child = child->next) Collect(child, parts, 0, found);
  return found;
}

std::optional<std::string> ChildText(xmlNodePtr node, std::string_view name) {
  const std::vector<xmlNodePtr> found = FindFrom(node, name);
  if (found.empty()) return std::nullopt;
  return Content(found[0]);
}

bool Before(xmlNodePtr a, xmlNodePtr b) { return xmlXPathCmpNodes(a, b) == 1; }

// A document parsed by libxml2, with every error it reported (namespace errors too).
class TParsed {
 public:
  explicit TParsed(const std::string& bytes) {
    xmlSetStructuredErrorFunc(this, &TParsed::OnError);
    doc_ = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "test.xml", nullptr, XML_PARSE_NONET);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
  }
  ~TParsed() {
    if (doc_ != nullptr) xmlFreeDoc(doc_);
  }
  TParsed(const TParsed&) = delete;
  TParsed& operator=(const TParsed&) = delete;

  bool WellFormed() const { return doc_ != nullptr && errors_.empty(); }
  // The string value of an XPath expression, with prefixes for the namespaces
  // (k: the document's own, s: spatial 5.0.1, c: certification, d: document-output).
  std::string XPath(const std::string& expression, std::string_view own_namespace = {}) const {
    xmlXPathContextPtr context = xmlXPathNewContext(doc_);
    const std::string own(own_namespace);
    const std::pair<const char*, const char*> spaces[] = {
        {"k", own.c_str()},
        {"s", "urn://x-artefacts-rosreestr-ru/commons/complex-types/entity-spatial/5.0.1"},
        {"c", "urn://x-artefacts-rosreestr-ru/commons/complex-types/certification-doc/1.0"},
        {"d", "urn://x-artefacts-rosreestr-ru/commons/complex-types/document-output/4.0.1"}};
    for (const auto& [prefix, uri] : spaces)
      xmlXPathRegisterNs(context, reinterpret_cast<const xmlChar*>(prefix), reinterpret_cast<const xmlChar*>(uri));
    const std::string wrapped = "string(" + expression + ")";
    xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(wrapped.c_str()), context);
    std::string text = result && result->stringval ? reinterpret_cast<const char*>(result->stringval) : "<error>";
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(context);
    return text;
  }
  const std::string& Errors() const { return errors_; }

  // Absolute path, the root element's name first.
  std::vector<xmlNodePtr> Find(std::string_view path) const {
    return FindFrom(reinterpret_cast<xmlNodePtr>(doc_), path);
  }
  xmlNodePtr First(std::string_view path) const {
    const std::vector<xmlNodePtr> found = Find(path);
    return found.empty() ? nullptr : found[0];
  }
  // Names of the nodes at the top level: instruction targets, the root's name, "#comment".
  std::vector<std::string> TopLevel() const {
    std::vector<std::string> names;
    for (xmlNodePtr node = doc_->children; node != nullptr; node = node->next)
      names.push_back(node->type == XML_COMMENT_NODE ? "#comment" : QName(node));
    return names;
  }
  xmlNodePtr TopNode(size_t index) const {
    xmlNodePtr node = doc_->children;
    while (node != nullptr && index-- > 0) node = node->next;
    return node;
  }

 private:
  // Warnings (such as a reserved instruction target) do not make a document ill-formed.
  static void OnError(void* self, xmlErrorPtr error) {
    if (error->level < XML_ERR_ERROR) return;
    static_cast<TParsed*>(self)->errors_.append(error->message ? error->message : "?");
  }
  xmlDocPtr doc_ = nullptr;
  std::string errors_;
};

// Where the readers look, written out independently of the builder.
struct TPaths {
  std::string root;
  std::string block;  // KPT: the cadastral block; KVZU: the parcel
  std::string coord;  // the element with the coordinate system's "Name"
  std::string cert;
  std::string number;
  std::string date;
  std::string parcel;
  std::string address_note;  // relative to the parcel
  std::string ordinate;      // relative to the parcel
};

TPaths PathsOf(TSchema schema) {
  const std::string old_block =
      "/Region_Cadastr/Package/Federal/Cadastral_Regions/Cadastral_Region/"
      "Cadastral_Districts/Cadastral_District/Cadastral_Blocks/Cadastral_Block";
  const std::string old_ordinate = "Entity_Spatial/Spatial_Element/Spelement_Unit/Ordinate";
  const std::string new_ordinate = "EntitySpatial/ns3:SpatialElement/ns3:SpelementUnit/ns3:Ordinate";
  switch (schema) {
    case TSchema::Kpt05:
    case TSchema::Kpt06:
    case TSchema::Kpt07:
      return {"Region_Cadastr", old_block, old_block + "/Coord_System",   "/Region_Cadastr/Package/Certification_Doc",
              "Number",         "Date",    old_block + "/Parcels/Parcel", "Location/Address/Note",
              old_ordinate};
    case TSchema::Kpt08: {
      const std::string block = "/Region_Cadastr/Package/Cadastral_Blocks/Cadastral_Block";
      return {"Region_Cadastr", block,  block + "/Coord_System",   "/Region_Cadastr/Package/Certification_Doc",
              "Number",         "Date", block + "/Parcels/Parcel", "Location/Address/Note",
              old_ordinate};
    }
    case TSchema::Kpt09: {
      const std::string block = "/KPT/CadastralBlocks/CadastralBlock";
      return {"KPT",
              block,
              block + "/CoordSystems/ns3:CoordSystem",
              "/KPT/CertificationDoc",
              "ns6:Number",
              "ns6:Date",
              block + "/Parcels/Parcel",
              "Location/Address/ns2:Note",
              new_ordinate};
    }
    case TSchema::Kvzu05: {
      const std::string parcel = "/Region_Cadastr_Vidimus_KV/Package/Parcels/Parcel";
      return {"Region_Cadastr_Vidimus_KV",
              parcel,
              "/Region_Cadastr_Vidimus_KV/Coord_Systems/Coord_System",
              "/Region_Cadastr_Vidimus_KV/Package/Certification_Doc",
              "Number",
              "Date",
              parcel,
              "Location/Address/Note",
              old_ordinate};
    }
    case TSchema::Kvzu06:
      return {"KVZU",
              "/KVZU/Parcels/Parcel",
              "/KVZU/CoordSystems/ns3:CoordSystem",
              "/KVZU/CertificationDoc",
              "ns8:Number",
              "ns8:Date",
              "/KVZU/Parcels/Parcel",
              "Location/Address/ns2:Note",
              new_ordinate};
    default:  // the later schemas are looked at by namespace below
      return {};
  }
}

bool IsKpt(TSchema schema) { return KindOf(schema) == TDocumentKind::Kpt; }
bool Modern(TSchema schema) { return schema == TSchema::Kpt09 || schema == TSchema::Kvzu06; }

class EverySchema : public ::testing::TestWithParam<TSchema> {};

}  // namespace

TEST_P(EverySchema, SampleIsWellFormedAndHoldsTheValuesWhereTheReadersLook) {
  const TSchema schema = GetParam();
  const TPaths paths = PathsOf(schema);
  for (TLayout layout : {TLayout::Indented, TLayout::SingleLine}) {
    for (TEncoding encoding : {TEncoding::Utf8, TEncoding::Windows1251}) {
      SCOPED_TRACE(testing::Message() << "layout " << int(layout) << " encoding " << int(encoding));
      TBuildOptions options;
      options.layout = layout;
      options.encoding = encoding;
      const TParsed doc(BuildDocument(SampleDocument(schema), options));
      ASSERT_TRUE(doc.WellFormed()) << doc.Errors();

      const std::vector<std::string> top = {"xml-stylesheet", paths.root};
      ASSERT_EQ(doc.TopLevel(), top);
      EXPECT_EQ(Content(doc.TopNode(0)), StylesheetContent(schema));

      xmlNodePtr block = doc.First(paths.block);
      ASSERT_NE(block, nullptr);
      EXPECT_EQ(Attr(block, "CadastralNumber"), IsKpt(schema) ? "50:20:0010336" : "50:20:0010336:101");

      xmlNodePtr cert = doc.First(paths.cert);
      ASSERT_NE(cert, nullptr);
      EXPECT_EQ(ChildText(cert, paths.number), "50/201/16-412345");
      EXPECT_EQ(ChildText(cert, paths.date), "2016-05-12");
      EXPECT_TRUE(Before(block, cert));

      xmlNodePtr coord = doc.First(paths.coord);
      if (schema == TSchema::Kpt05) {
        EXPECT_EQ(coord, nullptr);
      } else {
        ASSERT_NE(coord, nullptr);
        EXPECT_EQ(Attr(coord, "Name"), "МСК-50, зона 2");
        // The readers go forward only: the systems follow what the step before found.
        EXPECT_TRUE(Before(IsKpt(schema) ? block : cert, coord));
      }
      if (!IsKpt(schema)) {
        EXPECT_EQ(Attr(block, "DateCreated"), "2008-11-13");
        EXPECT_EQ(Attr(block, "DateCreatedDoc"), std::nullopt);
      }
      if (Modern(schema)) {
        EXPECT_NE(std::string(reinterpret_cast<const char*>(coord->ns->href)).find("/entity-spatial/"),
                  std::string::npos);
        xmlNodePtr number = FindFrom(cert, paths.number)[0];
        EXPECT_NE(std::string(reinterpret_cast<const char*>(number->ns->href)).find("/certification-doc/"),
                  std::string::npos);
      }

      // The parcel around the values: its address in Cyrillic and a closed contour.
      xmlNodePtr parcel = doc.First(paths.parcel);
      ASSERT_NE(parcel, nullptr);
      EXPECT_EQ(ChildText(parcel, paths.address_note),
                "Московская область, р-н Одинцовский, д Жаворонки, ул Лесная, дом 102");
      const std::vector<xmlNodePtr> points = FindFrom(parcel, paths.ordinate);
      ASSERT_EQ(points.size(), 5u);
      EXPECT_EQ(Attr(points[0], "X"), Attr(points[4], "X"));
    }
  }
}

TEST_P(EverySchema, MissingValuesAreLeftOut) {
  const TSchema schema = GetParam();
  const TPaths paths = PathsOf(schema);
  TDocument doc = SampleDocument(schema);
  std::vector<TCoordSystem>& systems = IsKpt(schema) ? doc.blocks[0].coord_systems : doc.coord_systems;
  systems = {TCoordSystem{std::nullopt, "ID0"}};
  if (IsKpt(schema)) {
    doc.blocks[0].cadastral_number.reset();
  } else {
    doc.parcels[0].cadastral_number.reset();
    doc.parcels[0].date_created = "";  // empty, not missing
  }
  doc.certification->number.reset();
  {
    const TParsed parsed(BuildDocument(doc));
    ASSERT_TRUE(parsed.WellFormed()) << parsed.Errors();
    xmlNodePtr block = parsed.First(paths.block);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Attr(block, "CadastralNumber"), std::nullopt);
    if (!IsKpt(schema)) {
      EXPECT_EQ(Attr(block, "DateCreated"), "");
    }
    ASSERT_NE(parsed.First(paths.coord), nullptr);
    EXPECT_EQ(Attr(parsed.First(paths.coord), "Name"), std::nullopt);
    xmlNodePtr cert = parsed.First(paths.cert);
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(ChildText(cert, paths.number), std::nullopt);
    EXPECT_EQ(ChildText(cert, paths.date), "2016-05-12");
  }

  systems.clear();
  doc.blocks.clear();
  doc.parcels.clear();
  doc.certification.reset();
  const TParsed parsed(BuildDocument(doc));
  ASSERT_TRUE(parsed.WellFormed()) << parsed.Errors();
  EXPECT_EQ(parsed.First(paths.block), nullptr);
  EXPECT_EQ(parsed.First(paths.coord), nullptr);
  EXPECT_EQ(parsed.First(paths.cert), nullptr);
}

INSTANTIATE_TEST_SUITE_P(DocumentBuilder, EverySchema, ::testing::ValuesIn(kEarlierSchemas),
                         [](const ::testing::TestParamInfo<TSchema>& param) {
                           return std::string(SchemaName(param.param));
                         });

TEST(DocumentBuilder, StylesheetTextsAndPlacement) {
  EXPECT_EQ(StylesheetContent(TSchema::Kpt09),
            "type=\"text/xsl\" href=\"https://portal.rosreestr.ru/xsl/GKN/KPT/09/common.xsl\"");
  EXPECT_EQ(StylesheetInstruction(StylesheetContent(TSchema::Kvzu05, "example.org")),
            "<?xml-stylesheet type=\"text/xsl\" "
            "href=\"https://example.org/xsl/GKN/Vidimus/05/common.xsl\"?>");

  const TDocument sample = SampleDocument(TSchema::Kpt08);
  TBuildOptions options;
  options.stylesheet_placement = TStylesheetPlacement::AfterRoot;
  EXPECT_EQ(TParsed(BuildDocument(sample, options)).TopLevel(),
            (std::vector<std::string>{"Region_Cadastr", "xml-stylesheet"}));
  options.stylesheet_placement = TStylesheetPlacement::None;
  EXPECT_EQ(TParsed(BuildDocument(sample, options)).TopLevel(), std::vector<std::string>{"Region_Cadastr"});

  // Verbatim text stands where the instruction would, after the declaration.
  const std::string text =
      "<!-- выгрузка --><?xml-stylesheet  type='text/xsl' href='https://portal.rosreestr.ru"
      "/xsl/GKN/KPT/08/common.xsl' ?><?Xml-stylesheet x?>";
  options.stylesheet_placement = TStylesheetPlacement::BeforeRoot;
  options.stylesheet_text = text;
  const std::string bytes = BuildDocument(sample, options);
  EXPECT_TRUE(bytes.starts_with("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + text + "\r\n"));
  const TParsed parsed(bytes);
  ASSERT_TRUE(parsed.WellFormed()) << parsed.Errors();
  EXPECT_EQ(parsed.TopLevel(),
            (std::vector<std::string>{"#comment", "xml-stylesheet", "Xml-stylesheet", "Region_Cadastr"}));
}

TEST(DocumentBuilder, LayoutEncodingAndByteOrderMark) {
  const TDocument sample = SampleDocument(TSchema::Kvzu06);
  TBuildOptions options;
  const std::string indented = BuildDocument(sample, options);
  size_t lines = 0;
  for (size_t i = 0; i < indented.size(); ++i) {
    if (indented[i] != '\n') continue;
    ++lines;
    ASSERT_GT(i, 0u);
    EXPECT_EQ(indented[i - 1], '\r');
  }
  EXPECT_GT(lines, 30u);
  EXPECT_NE(indented.find("\r\n      <Location>"), std::string::npos);

  options.layout = TLayout::SingleLine;
  const std::string single = BuildDocument(sample, options);
  EXPECT_EQ(single.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(single.find("> <"), std::string::npos);

  options.encoding = TEncoding::Windows1251;
  const std::string cp1251 = BuildDocument(sample, options);
  EXPECT_TRUE(cp1251.starts_with("<?xml version=\"1.0\" encoding=\"windows-1251\"?><?xml-stylesheet"));
  EXPECT_FALSE(platform::IsValidUtf8(cp1251));
  EXPECT_NE(cp1251.find(platform::Utf8ToCodePage(1251, "Name=\"МСК-50, зона 2\"")), std::string::npos);

  options.encoding = TEncoding::Utf8;
  options.byte_order_mark = true;
  const std::string bom = BuildDocument(sample, options);
  EXPECT_EQ(bom, "\xEF\xBB\xBF" + single);
  EXPECT_TRUE(TParsed(bom).WellFormed());

  options.xml_declaration = false;
  EXPECT_TRUE(BuildDocument(sample, options).starts_with("\xEF\xBB\xBF<?xml-stylesheet "));
}

TEST(DocumentBuilder, OtherPrefixesStayDeclared) {
  TBuildOptions options;
  options.spatial_prefix = "sp";
  {
    const TParsed doc(BuildDocument(SampleDocument(TSchema::Kpt09), options));
    ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
    const std::string block = "/KPT/CadastralBlocks/CadastralBlock";
    EXPECT_EQ(doc.First(block + "/CoordSystems/ns3:CoordSystem"), nullptr);
    xmlNodePtr coord = doc.First(block + "/CoordSystems/sp:CoordSystem");
    ASSERT_NE(coord, nullptr);
    EXPECT_EQ(Attr(coord, "Name"), "МСК-50, зона 2");
    EXPECT_EQ(
        FindFrom(doc.First(block + "/Parcels/Parcel"), "EntitySpatial/sp:SpatialElement/sp:SpelementUnit/sp:Ordinate")
            .size(),
        5u);
  }
  {
    const TParsed doc(BuildDocument(SampleDocument(TSchema::Kpt08), options));
    ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
    EXPECT_NE(doc.First("/Region_Cadastr/Package/Cadastral_Blocks/Cadastral_Block/sp:Coord_System"), nullptr);
  }
  // A prefix the schema already uses for something else, and no prefix at all.
  options.spatial_prefix = "";
  options.certification_prefix = "ns2";
  const TParsed doc(BuildDocument(SampleDocument(TSchema::Kvzu06), options));
  ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
  EXPECT_NE(doc.First("/KVZU/CoordSystems/CoordSystem"), nullptr);
  EXPECT_EQ(ChildText(doc.First("/KVZU/CertificationDoc"), "ns2:Number"), "50/201/16-412345");
}

TEST(DocumentBuilder, ElementsOutOfOrder) {
  TBuildOptions options;
  options.certification_first = true;
  for (TSchema schema : kEarlierSchemas) {
    SCOPED_TRACE(SchemaName(schema));
    const TPaths paths = PathsOf(schema);
    const TParsed doc(BuildDocument(SampleDocument(schema), options));
    ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
    EXPECT_TRUE(Before(doc.First(paths.cert), doc.First(paths.block)));
  }

  options.certification_first = false;
  options.coord_systems_first = true;
  for (TSchema schema : {TSchema::Kvzu05, TSchema::Kvzu06}) {
    const TPaths paths = PathsOf(schema);
    const TParsed doc(BuildDocument(SampleDocument(schema), options));
    ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
    EXPECT_TRUE(Before(doc.First(paths.coord), doc.First(paths.cert)));
  }
  const TPaths paths = PathsOf(TSchema::Kpt07);
  const TParsed doc(BuildDocument(SampleDocument(TSchema::Kpt07), options));
  ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
  EXPECT_TRUE(Before(doc.First(paths.coord), doc.First(paths.parcel)));
}

TEST(DocumentBuilder, TwoBlocksSeveralParcelsAndMarkupInValues) {
  TDocument doc = SampleDocument(TSchema::Kpt06);
  TCadastralBlock second = doc.blocks[0];
  second.cadastral_number = "50:20:0010337";
  second.coord_systems[0].name = "МСК-50 <зона 1> & \"старая\"";
  doc.blocks[0].coord_systems.clear();
  doc.blocks.push_back(second);
  const TPaths paths = PathsOf(TSchema::Kpt06);
  const TParsed kpt(BuildDocument(doc));
  ASSERT_TRUE(kpt.WellFormed()) << kpt.Errors();
  const std::vector<xmlNodePtr> blocks = kpt.Find(paths.block);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(Attr(blocks[0], "CadastralNumber"), "50:20:0010336");
  const std::vector<xmlNodePtr> systems = kpt.Find(paths.coord);
  ASSERT_EQ(systems.size(), 1u);
  EXPECT_EQ(systems[0]->parent, blocks[1]);
  EXPECT_EQ(Attr(systems[0], "Name"), "МСК-50 <зона 1> & \"старая\"");

  TDocument kvzu = SampleDocument(TSchema::Kvzu05);
  for (int i = 102; i <= 103; ++i) kvzu.parcels.push_back(SampleParcel("50:20:0010336", i));
  const TParsed extract(BuildDocument(kvzu));
  ASSERT_TRUE(extract.WellFormed()) << extract.Errors();
  const std::vector<xmlNodePtr> parcels = extract.Find(PathsOf(TSchema::Kvzu05).parcel);
  ASSERT_EQ(parcels.size(), 3u);
  EXPECT_EQ(Attr(parcels[0], "CadastralNumber"), "50:20:0010336:101");
  EXPECT_EQ(Attr(parcels[2], "CadastralNumber"), "50:20:0010336:103");
}

TEST(DocumentBuilder, CertificationNumberSplitByCommentAndCData) {
  struct TCase {
    TNumberSplit split;
    int comments;
    int sections;
  };
  for (TSchema schema : {TSchema::Kpt09, TSchema::Kvzu05}) {
    for (const TCase& c : {TCase{TNumberSplit::Comment, 1, 0}, TCase{TNumberSplit::CData, 0, 1},
                           TCase{TNumberSplit::CommentAndCData, 1, 1}}) {
      SCOPED_TRACE(testing::Message() << SchemaName(schema) << " split " << int(c.split));
      TDocument doc = SampleDocument(schema);
      doc.certification->number = "ЗУ-№5";  // cut points fall inside characters
      TBuildOptions options;
      options.number_split = c.split;
      options.layout = TLayout::SingleLine;
      const TPaths paths = PathsOf(schema);
      const TParsed parsed(BuildDocument(doc, options));
      ASSERT_TRUE(parsed.WellFormed()) << parsed.Errors();
      xmlNodePtr number = FindFrom(parsed.First(paths.cert), paths.number).at(0);
      EXPECT_EQ(Content(number), "ЗУ-№5");
      int comments = 0, sections = 0;
      for (xmlNodePtr child = number->children; child != nullptr; child = child->next) {
        comments += child->type == XML_COMMENT_NODE;
        sections += child->type == XML_CDATA_SECTION_NODE;
      }
      EXPECT_EQ(comments, c.comments);
      EXPECT_EQ(sections, c.sections);
    }
  }
}

TEST(DocumentBuilder, TruncatedDocuments) {
  const TDocument sample = SampleDocument(TSchema::Kpt09);
  TBuildOptions options;
  options.truncate_after = "<CertificationDoc>";
  const std::string cut = BuildDocument(sample, options);
  EXPECT_TRUE(cut.ends_with("<CertificationDoc>"));
  EXPECT_TRUE(BuildDocument(sample).starts_with(cut));
  EXPECT_FALSE(TParsed(cut).WellFormed());

  options.encoding = TEncoding::Windows1251;
  EXPECT_TRUE(BuildDocument(sample, options).ends_with("<CertificationDoc>"));

  options = {};
  options.truncate_at = 300;
  EXPECT_EQ(BuildDocument(sample, options).size(), 300u);
  options.truncate_after = "<NoSuchElement>";
  EXPECT_THROW(BuildDocument(sample, options), std::invalid_argument);
}

TEST(DocumentBuilder, SizeTargetAppendsParcels) {
  for (TSchema schema : {TSchema::Kpt09, TSchema::Kpt05, TSchema::Kvzu06}) {
    SCOPED_TRACE(SchemaName(schema));
    const size_t target = 2 * 1024 * 1024;
    TBuildOptions options;
    options.target_size = target;
    const std::string bytes = BuildDocument(SampleDocument(schema), options);
    EXPECT_GE(bytes.size(), target);
    EXPECT_LT(bytes.size(), target + 16 * 1024);

    const TPaths paths = PathsOf(schema);
    const TParsed doc(bytes);
    ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
    const std::vector<xmlNodePtr> parcels = doc.Find(paths.parcel);
    ASSERT_GT(parcels.size(), 500u);
    std::set<std::string> numbers;
    for (xmlNodePtr parcel : parcels) numbers.insert(Attr(parcel, "CadastralNumber").value());
    EXPECT_EQ(numbers.size(), parcels.size());
    // The values still stand where they did: the systems and certification at the end.
    EXPECT_TRUE(Before(parcels.back(), doc.First(paths.cert)));
    if (schema != TSchema::Kpt05) {
      EXPECT_TRUE(Before(parcels.back(), doc.First(paths.coord)));
    }
  }
}

// The later schemas, looked at by namespace and local name as their readers do.
TEST(DocumentBuilder, LaterSchemasHoldTheirValuesByNamespace) {
  struct TVariant {
    const char* name;
    TBuildOptions options;
  };
  std::vector<TVariant> variants = {{"default", {}}, {"later generator", LaterGeneratorOptions()}};
  variants.push_back({"prefixed root", LaterGeneratorOptions()});
  variants.back().options.main_prefix = "ns2";
  variants.push_back({"windows-1251, one line", {}});
  variants.back().options.encoding = TEncoding::Windows1251;
  variants.back().options.layout = TLayout::SingleLine;
  variants.push_back({"document date", {}});
  variants.back().options.document_date_in_certification = true;
  variants.back().options.other_stylesheet = true;

  for (TSchema schema : kLaterSchemas) {
    for (const TVariant& variant : variants) {
      SCOPED_TRACE(testing::Message() << SchemaName(schema) << ", " << variant.name);
      const std::string bytes = BuildDocument(SampleDocument(schema), variant.options);
      const TParsed doc(bytes);
      ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
      const std::string ns(NamespaceOf(schema));
      const std::string root(VersionOf(schema));
      if (!HasStylesheet(schema)) {
        ASSERT_EQ(doc.TopLevel(), std::vector<std::string>{root});
        EXPECT_EQ(doc.XPath("/*/details_statement/group_top_requisites/date_formation"), "2021-03-15");
        EXPECT_EQ(doc.XPath("/*/details_statement/group_top_requisites/registration_number"), "КУВИ-001/2021-1234567");
        if (schema == TSchema::KptTerritory) {
          const std::string block = "/extract_cadastral_plan_territory/cadastral_blocks/cadastral_block";
          EXPECT_EQ(doc.XPath(block + "/cadastral_number"), "50:20:0010336");
          EXPECT_EQ(doc.XPath(block + "/spatial_data/entity_spatial/sk_id"), "МСК-50, зона 2");
          EXPECT_EQ(doc.XPath("count(" + block + "/record_data/base_data/land_records/land_record)"), "1");
        } else {
          const std::string record = "/" + root + "/land_record";
          EXPECT_EQ(doc.XPath(record + "/object/common_data/cad_number"), "50:20:0010336:101");
          EXPECT_EQ(doc.XPath(record + "/record_info/registration_date"), "2012-06-30T00:00:00+04:00");
          EXPECT_EQ(doc.XPath(record + "/contours_location/contours/contour/entity_spatial/sk_id"), "МСК-50, зона 2");
          EXPECT_EQ(doc.XPath("count(" + record + "/contours_location//ordinate)"), "5");
        }
        continue;
      }
      ASSERT_EQ(doc.TopLevel(), (std::vector<std::string>{"xml-stylesheet", QName(doc.TopNode(1))}));
      EXPECT_EQ(Content(doc.TopNode(0)), StylesheetContent(schema, kRegistryHost, variant.options.other_stylesheet));
      EXPECT_EQ(doc.XPath("local-name(/*)"), root == "10" ? "KPT" : "KVZU");
      EXPECT_EQ(doc.XPath("namespace-uri(/*)"), ns);
      const std::string top = IsKpt(schema) ? "/k:KPT" : "/k:KVZU";
      const std::string coord = IsKpt(schema) ? top + "/k:CadastralBlocks/k:CadastralBlock/k:CoordSystems/s:CoordSystem"
                                              : top + "/k:CoordSystems/s:CoordSystem";
      EXPECT_EQ(doc.XPath(coord + "/@Name", ns), "МСК-50, зона 2");
      EXPECT_EQ(doc.XPath(top + "/k:CertificationDoc/c:Number", ns), "50/201/16-412345");
      EXPECT_EQ(doc.XPath(top + "/k:CertificationDoc/c:Date", ns), "2016-05-12");
      EXPECT_EQ(doc.XPath("count(" + top + "/k:CertificationDoc/d:Date)", ns),
                variant.options.document_date_in_certification ? "1" : "0");
      if (IsKpt(schema)) {
        EXPECT_EQ(doc.XPath(top + "/k:CadastralBlocks/k:CadastralBlock/@CadastralNumber", ns), "50:20:0010336");
      } else {
        EXPECT_EQ(doc.XPath(top + "/k:Parcels/k:Parcel/@CadastralNumber", ns), "50:20:0010336:101");
        EXPECT_EQ(doc.XPath(top + "/k:Parcels/k:Parcel/@DateCreated", ns), "2008-11-13");
      }
      if (variant.options.main_prefix) {
        EXPECT_EQ(QName(doc.TopNode(1)).substr(0, 4), "ns2:");
      }
      if (variant.options.blank_line_before_root) {
        EXPECT_NE(bytes.find("encoding=\"UTF-8\" ?>"), std::string::npos);
        EXPECT_NE(bytes.find("?>\r\n\r\n<"), std::string::npos);
      }
    }
  }
}

TEST(DocumentBuilder, AnotherRootAndAStylesheetForTheFormatsWithout) {
  TBuildOptions options;
  options.root_element = "extract_about_property_build";
  options.stylesheet_text = StylesheetInstruction(StylesheetContent(TSchema::Kpt09));
  const TParsed doc(BuildDocument(SampleDocument(TSchema::LandProperty), options));
  ASSERT_TRUE(doc.WellFormed()) << doc.Errors();
  EXPECT_EQ(doc.TopLevel(), (std::vector<std::string>{"xml-stylesheet", "extract_about_property_build"}));
}
