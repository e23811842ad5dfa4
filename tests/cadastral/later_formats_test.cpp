// The documents the registry issues today: KPT 10 and KVZU 07 by their two
// stylesheets each, the formats named by their root element, and the documents
// of a known kind in a version the program does not read.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "cadastral/document_loading.h"
#include "cadastral/reading_functions.h"
#include "support/document_builder.h"

using namespace cadastral;
using cadtest::TRecognition;
using cadtest::TValues;
using testdocs::TSchema;

namespace {

bool IsKpt(TSchema schema) { return testdocs::KindOf(schema) == testdocs::TDocumentKind::Kpt; }

struct TFound {
  TRecognition recognition;
  bool unsupported;
  std::string found_as;
  bool operator==(const TFound&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TFound& f) {
  return out << f.recognition << (f.unsupported ? " unsupported" : "") << " as \"" << f.found_as << "\"";
}

TFound Find(std::string_view bytes) {
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto file = TRef<TOstrevanFile>::Create();
  file->LoadFromStream(stream);
  return {{file->Kind(), file->Version()}, file->Unsupported(), file->FoundAs()};
}

const TRecognition kUnknown{fkUnknown, "-1"};

TValues Read(TSchema schema, const std::string& bytes) {
  if (IsKpt(schema)) {
    auto values = cadtest::ReadKpt(bytes);
    return values ? cadtest::ValuesOf(*values) : cadtest::NoRecord();
  }
  auto values = cadtest::ReadKvzu(bytes);
  return values ? cadtest::ValuesOf(*values) : cadtest::NoRecord();
}

TValues Read(const testdocs::TDocument& doc, const testdocs::TBuildOptions& options = {}) {
  return Read(doc.schema, testdocs::BuildDocument(doc, options));
}

// What the reader must take out of the document.
TValues Expected(const testdocs::TDocument& doc) {
  TValues v;
  v.certification_number = doc.certification->number.value();
  v.certification_date = doc.certification->date.value();
  if (IsKpt(doc.schema)) {
    v.cadastral_number = doc.blocks.at(0).cadastral_number.value();
    v.coord_system_name = doc.blocks.at(0).coord_systems.at(0).name.value();
  } else {
    v.cadastral_number = doc.parcels.at(0).cadastral_number.value();
    v.coord_system_name = doc.coord_systems.at(0).name.value();
    // A date-time gives its date.
    v.date_created = DateOf(doc.parcels.at(0).date_created.value());
  }
  return v;
}

std::string Replaced(std::string text, std::string_view what, std::string_view with) {
  const size_t at = text.find(what);
  if (at == std::string::npos) throw std::invalid_argument(std::string(what));
  return text.replace(at, what.size(), with);
}

// --- every later format in every layout and encoding ------------------------------

using TVariant = testdocs::TDocumentVariant;

class LaterFormats : public ::testing::TestWithParam<std::tuple<TSchema, TVariant>> {
 protected:
  TSchema schema() const { return std::get<0>(GetParam()); }
  testdocs::TBuildOptions options() const { return testdocs::VariantOptions(std::get<1>(GetParam())); }
};

TEST_P(LaterFormats, RecognisedAndEveryValueRead) {
  const testdocs::TDocument doc = testdocs::SampleDocument(schema());
  const std::string bytes = testdocs::BuildDocument(doc, options());
  const TFound found = Find(bytes);
  EXPECT_EQ(found.recognition,
            (TRecognition{IsKpt(schema()) ? fkKPT : fkKvzu, std::string(testdocs::VersionOf(schema()))}));
  EXPECT_FALSE(found.unsupported);
  const TValues values = Read(schema(), bytes);
  EXPECT_EQ(values, Expected(doc));
  EXPECT_NE(values.coord_system_name.find("\xD0"), std::string::npos) << values;
}

INSTANTIATE_TEST_SUITE_P(All, LaterFormats,
                         ::testing::Combine(::testing::ValuesIn(testdocs::kLaterSchemas),
                                            ::testing::Values(TVariant::Indented, TVariant::SingleLine, TVariant::Bom,
                                                              TVariant::Windows1251, TVariant::BomWithoutDeclaration,
                                                              TVariant::LaterGenerator)),
                         [](const auto& p) {
                           return std::string(testdocs::SchemaName(std::get<0>(p.param))) + "_" +
                                  testdocs::VariantName(std::get<1>(p.param));
                         });

// --- recognition ------------------------------------------------------------------

TEST(LaterRecognition, BothReferencesOfAVersionAndWhatTheyAreFoundAs) {
  struct TCase {
    TSchema schema;
    bool other;
    TFound expected;
  };
  for (const TCase& c : {
           TCase{TSchema::Kpt10, false, {{fkKPT, "10"}, false, "KPT 10"}},
           TCase{TSchema::Kpt10, true, {{fkKPT, "10"}, false, "KPT 10"}},
           TCase{TSchema::Kvzu07, false, {{fkKvzu, "07"}, false, "KVZU 07"}},
           TCase{TSchema::Kvzu07, true, {{fkKvzu, "07"}, false, "Reestr_Extract_Big/ZU 07"}},
           TCase{TSchema::Kpt09, false, {{fkKPT, "09"}, false, "KPT 09"}},
           TCase{TSchema::Kvzu05, false, {{fkKvzu, "05"}, false, "KVZU 05"}},
           TCase{TSchema::KptTerritory,
                 false,
                 {{fkKPT, "extract_cadastral_plan_territory"}, false, "extract_cadastral_plan_territory"}},
           TCase{TSchema::LandBaseParams,
                 false,
                 {{fkKvzu, "extract_base_params_land"}, false, "extract_base_params_land"}},
       }) {
    testdocs::TBuildOptions options;
    options.other_stylesheet = c.other;
    const testdocs::TDocument doc = testdocs::SampleDocument(c.schema);
    EXPECT_EQ(Find(testdocs::BuildDocument(doc, options)), c.expected) << testdocs::SchemaName(c.schema);
    if (c.other) {
      EXPECT_EQ(Read(doc, options), Expected(doc));
    }
  }
}

// A document of the registry that the program does not read is told apart
// from one that is not the registry's at all.
TEST(LaterRecognition, KnownKindsInVersionsNotReadAreUnsupported) {
  const auto with_stylesheet = [](const std::string& href) {
    testdocs::TBuildOptions options;
    options.stylesheet_text = "<?xml-stylesheet type=\"text/xsl\" href=\"" + href + "\"?>";
    return Find(testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kpt10), options));
  };
  EXPECT_EQ(with_stylesheet("https://portal.rosreestr.ru/xsl/GKN/KPT/12/common.xsl"),
            (TFound{kUnknown, true, "KPT 12"}));
  EXPECT_EQ(with_stylesheet("https://portal.rosreestr.ru/xsl/GKN/KPZU/06/common.xsl"),
            (TFound{kUnknown, true, "KPZU 06"}));
  EXPECT_EQ(with_stylesheet("https://portal.rosreestr.ru/xsl/GKN/Vidimus/08/common.xsl"),
            (TFound{kUnknown, true, "KVZU 08"}));
  EXPECT_EQ(with_stylesheet("http://portal.rosreestr.ru/xsl/GKN/KVOKS/07/common.xsl"),
            (TFound{kUnknown, true, "KVOKS 07"}));
  // The short land plot extract is another document than KVZU 07.
  EXPECT_EQ(with_stylesheet("https://portal.rosreestr.ru/xsl/EGRP/Reestr_Extract_Gkn/ZU/07/Common.xsl"),
            (TFound{kUnknown, true, "Reestr_Extract_Gkn/ZU 07"}));

  // Not the registry's, or no version in the reference: not a registry document.
  for (const std::string& href :
       {std::string("https://example.org/xsl/GKN/KPT/12/common.xsl"),
        std::string("https://portal.rosreestr.ru/xsl/GKN/KPT/common.xsl"),
        std::string("https://portal.rosreestr.ru/styles/KPT/12/common.xsl"),
        std::string("https://portal.rosreestr.ru/xsl/GKN/K<P>T/12/common.xsl"), std::string("plan.xsl")}) {
    EXPECT_EQ(with_stylesheet(href), (TFound{kUnknown, false, ""})) << href;
  }
  // A version the program reads, only written otherwise than its row, stays
  // what it always was: not recognised, and not unsupported either.
  testdocs::TBuildOptions options;
  options.stylesheet_text =
      "<?xml-stylesheet type='text/xsl' href='https://portal.rosreestr.ru/xsl/GKN/KPT/09/common.xsl'?>";
  EXPECT_EQ(Find(testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kpt09), options)),
            (TFound{kUnknown, false, ""}));
}

TEST(LaterRecognition, RootElementsOfFormatsNotRead) {
  for (const char* root :
       {"extract_about_property_build", "extract_base_params_build", "extract_about_property_room"}) {
    testdocs::TBuildOptions options;
    options.root_element = root;
    const std::string bytes = testdocs::BuildDocument(testdocs::SampleDocument(TSchema::LandProperty), options);
    EXPECT_EQ(Find(bytes), (TFound{kUnknown, true, root}));
    EXPECT_FALSE(cadtest::ReadKpt(bytes));
    EXPECT_FALSE(cadtest::ReadKvzu(bytes));
  }
  // Roots that name no format of the registry.
  for (const std::string& text :
       {std::string("<report><title>Список</title></report>"),
        std::string("<p:extract_about_property_land xmlns:p='urn:x'/>"), std::string("<Extract_about_property_land/>"),
        std::string("<extract_/>").insert(9, 120, 'x')}) {
    EXPECT_EQ(Find(text), (TFound{kUnknown, false, ""})) << text;
  }
}

TEST(LaterRecognition, AStylesheetAheadOfTheRootStillDecides) {
  testdocs::TBuildOptions options;
  options.stylesheet_text = testdocs::StylesheetInstruction(testdocs::StylesheetContent(TSchema::Kpt09));
  EXPECT_EQ(Find(testdocs::BuildDocument(testdocs::SampleDocument(TSchema::KptTerritory), options)),
            (TFound{{fkKPT, "09"}, false, "KPT 09"}));
  // Only the first element can be the root that names a format.
  EXPECT_EQ(Find("<other/><extract_base_params_land/>"), (TFound{kUnknown, false, ""}));
}

// Recognition stops at the root's name: damage behind it does not matter,
// and the reader finds what stands before the damage.
TEST(LaterRecognition, RootFormatsAreRecognisedAtTheRoot) {
  const testdocs::TDocument doc = testdocs::SampleDocument(TSchema::KptTerritory);
  testdocs::TBuildOptions options;
  options.truncate_after = "</cadastral_number>";
  const std::string bytes = testdocs::BuildDocument(doc, options);
  EXPECT_EQ(Find(bytes).recognition, (TRecognition{fkKPT, "extract_cadastral_plan_territory"}));
  TValues expected = Expected(doc);
  expected.coord_system_name.clear();
  EXPECT_EQ(Read(TSchema::KptTerritory, bytes), expected);

  options.truncate_after = "<extract_cadastral_plan_territory>";
  EXPECT_EQ(Find(testdocs::BuildDocument(doc, options)).recognition,
            (TRecognition{fkKPT, "extract_cadastral_plan_territory"}));
}

// The later rows are chosen by kind and version, the older ones by version alone.
TEST(LaterRecognition, AFileClassReadsOnlyItsOwnLaterFormats) {
  EXPECT_FALSE(cadtest::ReadKvzu(testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kpt07))));
  EXPECT_FALSE(cadtest::ReadKpt(testdocs::BuildDocument(testdocs::SampleDocument(TSchema::LandProperty))));
  EXPECT_FALSE(cadtest::ReadKvzu(testdocs::BuildDocument(testdocs::SampleDocument(TSchema::KptTerritory))));
  EXPECT_FALSE(cadtest::ReadKvzu(testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kpt10))));
  // KVZU 07 through the plan's file meets the older plan reader of its number.
  auto values = cadtest::ReadKpt(testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kvzu07)));
  ASSERT_TRUE(values);
  EXPECT_NE(dynamic_cast<TKPTFile7InfoData*>(values.get()), nullptr);
  EXPECT_EQ(cadtest::ValuesOf(*values), TValues{});
}

// --- KPT 10 and KVZU 07 -------------------------------------------------------------

class StylesheetLater : public ::testing::TestWithParam<TSchema> {
 protected:
  testdocs::TDocument sample() const { return testdocs::SampleDocument(GetParam()); }
};

TEST_P(StylesheetLater, AnyPrefixesAndTheRootPrefixedOrNot) {
  for (const char* main : {"", "ns2", "ns1"}) {
    for (const char* spatial : {"ns3", "spa", "ns4"}) {
      testdocs::TBuildOptions options = testdocs::LaterGeneratorOptions();
      options.main_prefix = main;
      options.spatial_prefix = spatial;
      EXPECT_EQ(Read(sample(), options), Expected(sample())) << "main " << main << " spatial " << spatial;
    }
  }
}

TEST_P(StylesheetLater, TheDateOfAnotherNamespaceIsNotTheCertificationDate) {
  for (testdocs::TBuildOptions options : {testdocs::TBuildOptions{}, testdocs::LaterGeneratorOptions()}) {
    options.document_date_in_certification = true;
    const std::string bytes = testdocs::BuildDocument(sample(), options);
    ASSERT_NE(bytes.find("<ns5:Date>2001-02-03</ns5:Date>"), std::string::npos);
    EXPECT_EQ(Read(GetParam(), bytes), Expected(sample()));
  }
}

TEST_P(StylesheetLater, ElementsInAnotherNamespaceAreNotTaken) {
  const std::string bytes = testdocs::BuildDocument(sample());
  TValues expected = Expected(sample());
  expected.coord_system_name.clear();
  EXPECT_EQ(Read(GetParam(), Replaced(bytes, "entity-spatial/5.0.1", "entity-spatial/2.0.1")), expected);
  expected = Expected(sample());
  expected.certification_number.clear();
  expected.certification_date.clear();
  EXPECT_EQ(Read(GetParam(), Replaced(bytes, "certification-doc/1.0", "certification-doc/2.0")), expected);
  // The plan of version 09's namespace under the stylesheet of 10: nothing matches.
  const std::string other_root = Replaced(bytes, IsKpt(GetParam()) ? "kpt/10.0.1" : "kvzu/7.0.1", "kpt/9.0.3");
  EXPECT_EQ(Read(GetParam(), other_root), TValues{});
}

// Unlike the older readers, these do not depend on the order of the parts.
TEST_P(StylesheetLater, TheOrderOfThePartsDoesNotMatter) {
  for (int order = 1; order < 4; ++order) {
    testdocs::TBuildOptions options;
    options.certification_first = order & 1;
    options.coord_systems_first = order & 2;
    EXPECT_EQ(Read(sample(), options), Expected(sample())) << "order " << order;
  }
}

TEST_P(StylesheetLater, TextsAreTrimmedAndJoined) {
  testdocs::TBuildOptions options;
  options.number_split = testdocs::TNumberSplit::CommentAndCData;
  EXPECT_EQ(Read(sample(), options), Expected(sample()));
  const std::string bytes = testdocs::BuildDocument(sample());
  EXPECT_EQ(Read(GetParam(), Replaced(bytes, ">2016-05-12<", ">\r\n      2016-05-12\r\n    <")), Expected(sample()));
}

TEST_P(StylesheetLater, MissingValuesStayEmpty) {
  testdocs::TDocument doc = sample();
  doc.certification.reset();
  TValues expected = Expected(sample());
  expected.certification_number.clear();
  expected.certification_date.clear();
  EXPECT_EQ(Read(doc), expected);

  doc = sample();
  (IsKpt(GetParam()) ? doc.blocks[0].coord_systems : doc.coord_systems)[0].name.reset();
  expected = Expected(sample());
  expected.coord_system_name.clear();
  EXPECT_EQ(Read(doc), expected);
}

INSTANTIATE_TEST_SUITE_P(Both, StylesheetLater, ::testing::Values(TSchema::Kpt10, TSchema::Kvzu07),
                         [](const auto& p) { return std::string(testdocs::SchemaName(p.param)); });

TEST(Kpt10, NumberFromTheFirstBlockSystemFromTheFirstBlockThatHasOne) {
  testdocs::TDocument doc = testdocs::SampleDocument(TSchema::Kpt10);
  testdocs::TCadastralBlock second = doc.blocks[0];
  second.cadastral_number = "50:20:0010337";
  second.coord_systems[0].name = "МСК-50, зона 1";
  doc.blocks[0].coord_systems.clear();
  doc.blocks.push_back(second);
  TValues expected = Expected(testdocs::SampleDocument(TSchema::Kpt10));
  expected.coord_system_name = "МСК-50, зона 1";
  EXPECT_EQ(Read(doc), expected);

  doc.blocks[0].cadastral_number.reset();
  expected.cadastral_number.clear();
  EXPECT_EQ(Read(doc), expected);
}

TEST(Kvzu07, RegistrationDateFallsBackToDateCreatedDoc) {
  testdocs::TDocument doc = testdocs::SampleDocument(TSchema::Kvzu07);
  doc.parcels[0].date_created.reset();
  doc.parcels[0].date_created_doc = "2004-02-11";
  TValues expected = Expected(testdocs::SampleDocument(TSchema::Kvzu07));
  expected.date_created = "2004-02-11";
  EXPECT_EQ(Read(doc), expected);
  doc.parcels[0].date_created = "2008-11-13";
  expected.date_created = "2008-11-13";
  EXPECT_EQ(Read(doc), expected);
}

// --- the formats without a stylesheet ----------------------------------------------

TEST(PlanTerritory, TheBlocksOwnSystemOrElseTheFirstOfTheDocument) {
  testdocs::TDocument doc = testdocs::SampleDocument(TSchema::KptTerritory);
  doc.blocks[0].parcels[0].coord_system = "МСК-50, зона 1";
  TValues expected = Expected(testdocs::SampleDocument(TSchema::KptTerritory));
  EXPECT_EQ(Read(doc), expected);  // the block's boundary names its own

  doc.blocks[0].coord_systems.clear();
  expected.coord_system_name = "МСК-50, зона 1";
  EXPECT_EQ(Read(doc), expected);  // the parcels' system, seen before the boundary

  // A second block's boundary is not the first block's.
  testdocs::TCadastralBlock second = testdocs::SampleDocument(TSchema::KptTerritory).blocks[0];
  second.cadastral_number = "50:20:0010337";
  second.coord_systems[0].name = "МСК-50, зона 3";
  doc.blocks.push_back(second);
  EXPECT_EQ(Read(doc), expected);

  doc.blocks[0].parcels.clear();
  expected.coord_system_name = "МСК-50, зона 3";
  EXPECT_EQ(Read(doc), expected);  // the first sk_id of the document

  doc.blocks.pop_back();
  expected.coord_system_name.clear();
  EXPECT_EQ(Read(doc), expected);
}

TEST(PlanTerritory, TheFirstBlockGivesTheNumber) {
  testdocs::TDocument doc = testdocs::SampleDocument(TSchema::KptTerritory);
  testdocs::TCadastralBlock second = doc.blocks[0];
  second.cadastral_number = "50:20:0010337";
  doc.blocks.push_back(second);
  TValues expected = Expected(doc);
  EXPECT_EQ(Read(doc), expected);
  doc.blocks[0].cadastral_number.reset();
  expected.cadastral_number.clear();
  EXPECT_EQ(Read(doc), expected);
}

TEST(PlanTerritory, DatesAndTextsAsTheStatementWritesThem) {
  testdocs::TDocument doc = testdocs::SampleDocument(TSchema::KptTerritory);
  doc.certification->date = "2021-03-15T10:21:07.123+03:00";
  TValues expected = Expected(testdocs::SampleDocument(TSchema::KptTerritory));
  EXPECT_EQ(Read(doc), expected);
  for (const char* date : {"15.03.2021", "2021-03-15Z", "2021-3-15T10:00:00"}) {
    doc.certification->date = date;
    expected.certification_date = date;
    EXPECT_EQ(Read(doc), expected) << date;
  }
  testdocs::TBuildOptions options;
  options.number_split = testdocs::TNumberSplit::CommentAndCData;
  EXPECT_EQ(Read(testdocs::SampleDocument(TSchema::KptTerritory), options),
            Expected(testdocs::SampleDocument(TSchema::KptTerritory)));
}

class LandExtracts : public ::testing::TestWithParam<TSchema> {
 protected:
  testdocs::TDocument sample() const { return testdocs::SampleDocument(GetParam()); }
};

TEST_P(LandExtracts, RegistrationDateAsDateOrDateTime) {
  for (const char* written :
       {"2012-06-30T00:00:00+04:00", "2012-06-30T00:00:00Z", "2012-06-30T00:00:00", "2012-06-30"}) {
    testdocs::TDocument doc = sample();
    doc.parcels[0].date_created = written;
    TValues expected = Expected(sample());
    expected.date_created = "2012-06-30";
    EXPECT_EQ(Read(doc), expected) << written;
  }
  testdocs::TDocument doc = sample();
  doc.parcels[0].date_created.reset();
  TValues expected = Expected(sample());
  expected.date_created.clear();
  EXPECT_EQ(Read(doc), expected);
}

TEST_P(LandExtracts, APlotWithoutContoursHasNoSystem) {
  testdocs::TDocument doc = sample();
  doc.parcels[0].contour.clear();
  TValues expected = Expected(sample());
  expected.coord_system_name.clear();
  EXPECT_EQ(Read(doc), expected);
  // The contour's own system.
  doc = sample();
  doc.parcels[0].coord_system = "МСК-50, зона 1";
  expected = Expected(sample());
  expected.coord_system_name = "МСК-50, зона 1";
  EXPECT_EQ(Read(doc), expected);
}

TEST_P(LandExtracts, ADamagedExtractGivesWhatStandsBeforeTheDamage) {
  testdocs::TBuildOptions options;
  options.truncate_after = "<cad_number>50:20";
  TValues expected;
  expected.certification_number = Expected(sample()).certification_number;
  expected.certification_date = Expected(sample()).certification_date;
  expected.date_created = Expected(sample()).date_created;
  EXPECT_EQ(Read(sample(), options), expected);
}

INSTANTIATE_TEST_SUITE_P(Both, LandExtracts, ::testing::Values(TSchema::LandProperty, TSchema::LandBaseParams),
                         [](const auto& p) { return std::string(testdocs::SchemaName(p.param)); });

TEST(ReadingFunctions, DateOfADateTime) {
  EXPECT_EQ(DateOf("2012-06-30T00:00:00+04:00"), "2012-06-30");
  EXPECT_EQ(DateOf("2012-06-30T"), "2012-06-30");
  EXPECT_EQ(DateOf("2012-06-30"), "2012-06-30");
  EXPECT_EQ(DateOf("2012-06-3xT00"), "2012-06-3xT00");
  EXPECT_EQ(DateOf("30.06.2012T00:00"), "30.06.2012T00:00");
  EXPECT_EQ(DateOf(""), "");
  std::string text = " \r\n\t x y \n";
  TrimBlanks(text);
  EXPECT_EQ(text, "x y");
  text = " \r\n ";
  TrimBlanks(text);
  EXPECT_EQ(text, "");
}

}  // namespace
