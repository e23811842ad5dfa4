// The plan of territory readers and the reading functions.

#include <gtest/gtest.h>

#include <string>

#include "cadastral/document_loading.h"
#include "cadastral/reading_functions.h"
#include "support/document_builder.h"
#include "xml/xml_document.h"
#include "xml/xml_sequential_parser.h"

using namespace cadastral;
using cadtest::ReadKpt;
using cadtest::TValues;
using testdocs::TSchema;

namespace {

TValues ReadPlan(const testdocs::TDocument& doc, const testdocs::TBuildOptions& options = {}) {
  auto values = ReadKpt(testdocs::BuildDocument(doc, options));
  return values ? cadtest::ValuesOf(*values) : cadtest::NoRecord();
}

testdocs::TDocument Plan09() { return testdocs::SampleDocument(TSchema::Kpt09); }

TValues Sample09() {
  const testdocs::TDocument doc = Plan09();
  return {*doc.blocks[0].cadastral_number,
          *doc.blocks[0].coord_systems[0].name,
          *doc.certification->number,
          *doc.certification->date,
          {}};
}

TEST(KptFile, AnotherPrefixOfTheCoordinateSystemConsumesTheRest) {
  testdocs::TBuildOptions options;
  options.spatial_prefix = "ns5";
  EXPECT_EQ(ReadPlan(Plan09(), options), cadtest::NumberOnly(Sample09().cadastral_number));
  options.spatial_prefix = "";
  EXPECT_EQ(ReadPlan(Plan09(), options), cadtest::NumberOnly(Sample09().cadastral_number));
}

TEST(KptFile, CertificationAheadOfTheBlocksIsNotFound) {
  testdocs::TBuildOptions options;
  options.certification_first = true;
  TValues expected = Sample09();
  expected.certification_number.clear();
  expected.certification_date.clear();
  EXPECT_EQ(ReadPlan(Plan09(), options), expected);
}

TEST(KptFile, CoordinateSystemIsTakenFromALaterBlock) {
  for (TSchema schema : {TSchema::Kpt09, TSchema::Kpt08, TSchema::Kpt06}) {
    testdocs::TDocument doc = testdocs::SampleDocument(schema);
    testdocs::TCadastralBlock second = doc.blocks[0];
    second.cadastral_number = "50:20:0010337";
    second.coord_systems[0].name = "МСК-50, зона 1";
    second.parcels = {testdocs::SampleParcel("50:20:0010337", 5)};
    doc.blocks[0].coord_systems.clear();
    doc.blocks.push_back(second);
    const TValues values = ReadPlan(doc);
    EXPECT_EQ(values.cadastral_number, *doc.blocks[0].cadastral_number) << testdocs::SchemaName(schema);
    EXPECT_EQ(values.coord_system_name, "МСК-50, зона 1") << testdocs::SchemaName(schema);
    EXPECT_EQ(values.certification_number, *doc.certification->number) << testdocs::SchemaName(schema);
  }
}

TEST(KptFile, BlockWithoutNumberLeavesOnlyThatFieldEmpty) {
  testdocs::TDocument doc = Plan09();
  doc.blocks[0].cadastral_number.reset();
  TValues expected = Sample09();
  expected.cadastral_number.clear();
  EXPECT_EQ(ReadPlan(doc), expected);
  doc.blocks[0].cadastral_number = "";
  EXPECT_EQ(ReadPlan(doc), expected);
}

TEST(KptFile, MissingCoordinateSystemAlsoHidesTheCertification) {
  testdocs::TDocument doc = Plan09();
  doc.blocks[0].coord_systems.clear();
  EXPECT_EQ(ReadPlan(doc), cadtest::NumberOnly(Sample09().cadastral_number));
  doc.blocks.clear();
  EXPECT_EQ(ReadPlan(doc), TValues{});
}

TEST(KptFile, Version05HasTheFixedCoordinateSystemText) {
  EXPECT_EQ(kKpt05CoordSystemName, "Без системы координат (05 версия)");
  testdocs::TDocument doc = testdocs::SampleDocument(TSchema::Kpt05);
  doc.blocks[0].coord_systems = {{"СК-63, зона С", "ID1"}};  // whatever the plan holds
  TValues values = ReadPlan(doc);
  EXPECT_EQ(values.coord_system_name, kKpt05CoordSystemName);
  EXPECT_EQ(values.cadastral_number, *doc.blocks[0].cadastral_number);
  EXPECT_EQ(values.certification_date, *doc.certification->date);
  doc.blocks.clear();
  EXPECT_EQ(ReadPlan(doc), cadtest::CoordSystemOnly(std::string(kKpt05CoordSystemName)));
}

TEST(KptFile, CertificationNumberSplitByCommentAndCDataIsJoined) {
  for (auto split :
       {testdocs::TNumberSplit::Comment, testdocs::TNumberSplit::CData, testdocs::TNumberSplit::CommentAndCData}) {
    for (TSchema schema : {TSchema::Kpt09, TSchema::Kpt07}) {
      testdocs::TBuildOptions options;
      options.number_split = split;
      const testdocs::TDocument doc = testdocs::SampleDocument(schema);
      EXPECT_EQ(ReadPlan(doc, options).certification_number, *doc.certification->number)
          << testdocs::SchemaName(schema) << " split " << static_cast<int>(split);
    }
  }
}

TEST(KptFile, ValuesAreTakenAsWritten) {
  testdocs::TDocument doc = Plan09();
  doc.blocks[0].cadastral_number = " 50:20:0010336 ";
  doc.certification->date = "12.05.2016";
  doc.certification->number = "";
  const TValues values = ReadPlan(doc);
  EXPECT_EQ(values.cadastral_number, " 50:20:0010336 ");
  EXPECT_EQ(values.certification_date, "12.05.2016");
  EXPECT_EQ(values.certification_number, "");
}

TEST(KptFile, UnrecognisedDocumentHandsOutNoRecord) {
  testdocs::TBuildOptions options;
  options.stylesheet_placement = testdocs::TStylesheetPlacement::None;
  const std::string bytes = testdocs::BuildDocument(Plan09(), options);
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto file = TRef<TKPTFile>::Create();
  file->LoadFromStream(stream);
  EXPECT_EQ(file->Version(), kUnknownVersion);
  EXPECT_EQ(file->InfoData(), nullptr);
}

TEST(KptFile, CadastralBlocksKeepTheirReferencesUntilTheFileGoes) {
  struct TBlock : TRefObject {};
  const auto block = TRef<TBlock>::Create();
  testdocs::TDocument doc = Plan09();
  doc.blocks.push_back(doc.blocks[0]);
  const std::string bytes = testdocs::BuildDocument(doc);
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  {
    auto file = TRef<TKPTFile>::Create();
    EXPECT_EQ(file->CadastralBlocks().Count(), 0);
    file->CadastralBlocks().Add(block.get());
    EXPECT_EQ(block->RefCount(), 2);
    // Reading a plan of two blocks neither fills the list nor empties it.
    file->LoadFromStream(stream);
    ASSERT_NE(file->InfoData(), nullptr);
    ASSERT_EQ(file->CadastralBlocks().Count(), 1);
    EXPECT_EQ(file->CadastralBlocks()[0], block.get());
  }
  EXPECT_EQ(block->RefCount(), 1);
}

TEST(KptFile, RecordOutlivesTheFile) {
  const std::string bytes = testdocs::BuildDocument(Plan09());
  TRef<TKPTFileInfoData> values;
  {
    common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
    auto file = TRef<TKPTFile>::Create();
    file->LoadFromStream(stream);
    ASSERT_NE(file->InfoData(), nullptr);
    EXPECT_EQ(file->InfoData()->RefCount(), 1);
    values = TRef<TKPTFileInfoData>(file->InfoData());
    EXPECT_EQ(values->RefCount(), 2);
    EXPECT_NE(dynamic_cast<TKPTFile9InfoData*>(values.get()), nullptr);
  }
  EXPECT_EQ(values->RefCount(), 1);
  EXPECT_EQ(cadtest::ValuesOf(*values), Sample09());
}

// --- reading functions -----------------------------------------------------------

struct ParsedText {
  explicit ParsedText(std::u16string_view text) { EXPECT_TRUE(doc.LoadFromXML(text)); }
  xml::TXMLNode* root() { return doc.DocumentElement(); }
  xml::TXMLDocument doc;
};

TEST(ReadingFunctions, ChildTextJoinsTextAtAnyDepthAndTakesTheFirstChild) {
  ParsedText t(
      u"<Док><Номер>50/<!-- x -->201<![CDATA[/16]]><b>-4</b>&amp;5</Номер><Номер>другой</Номер>"
      u"<ns6:Date>2016</ns6:Date><Date>нет</Date></Док>");
  EXPECT_EQ(ChildText(t.root(), "Номер"), "50/201/16-4&5");
  EXPECT_EQ(ChildText(t.root(), "ns6:Date"), "2016");
  EXPECT_EQ(ChildText(t.root(), "Date"), "нет");
  EXPECT_EQ(ChildText(t.root(), "date"), "");
  EXPECT_EQ(ChildText(t.root(), "Missing"), "");
  EXPECT_EQ(ChildText(nullptr, "Номер"), "");
}

TEST(ReadingFunctions, ChildAttributeReadsTheFirstChildOfThatName) {
  ParsedText t(u"<s><x/><ns3:CoordSystem Name=\"МСК-66, зона 1\"/><ns3:CoordSystem Name=\"второй\"/></s>");
  EXPECT_EQ(ChildAttribute(t.root(), "ns3:CoordSystem", "Name"), "МСК-66, зона 1");
  EXPECT_EQ(ChildAttribute(t.root(), "ns3:CoordSystem", "name"), "");
  EXPECT_EQ(ChildAttribute(t.root(), "CoordSystem", "Name"), "");
  EXPECT_EQ(ChildAttribute(t.root(), "x", "Name"), "");
}

TEST(ReadingFunctions, ReadHeaderAttributeReadsTheCurrentOrTheNextChildElement) {
  const std::string bytes = "<a><b n=\"1\"><c n=\"два\"/></b><d/></a>";
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  xml::TXMLSequentialParser parser;
  parser.InitStream(stream);
  ASSERT_TRUE(parser.SeekElementPath(u"/a/b"));
  EXPECT_EQ(ReadHeaderAttribute(parser, "n"), "1");
  EXPECT_EQ(ReadHeaderAttribute(parser, "n"), "два");  // the next child element
  EXPECT_EQ(ReadHeaderAttribute(parser, "n"), "");     // b ends first
}

}  // namespace
