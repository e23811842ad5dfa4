// Every schema version through recognition and its values reader, in the
// layouts and encodings the registry's documents come in.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "cadastral/document_loading.h"
#include "support/document_builder.h"

using namespace cadastral;
using cadtest::TRecognition;
using cadtest::TValues;
using testdocs::TSchema;

namespace {

using TVariant = testdocs::TDocumentVariant;

bool IsKpt(TSchema schema) { return testdocs::KindOf(schema) == testdocs::TDocumentKind::Kpt; }

TRecognition Expected(TSchema schema) {
  return {IsKpt(schema) ? fkKPT : fkKvzu, std::string(testdocs::VersionOf(schema))};
}

// What the reader of the schema must take out of the sample document.
TValues ExpectedValues(TSchema schema, const testdocs::TDocument& doc) {
  TValues v;
  v.certification_number = doc.certification->number.value();
  v.certification_date = doc.certification->date.value();
  if (IsKpt(schema)) {
    v.cadastral_number = doc.blocks.at(0).cadastral_number.value();
    v.coord_system_name = schema == TSchema::Kpt05 ? std::string(kKpt05CoordSystemName)
                                                   : doc.blocks.at(0).coord_systems.at(0).name.value();
  } else {
    v.cadastral_number = doc.parcels.at(0).cadastral_number.value();
    v.coord_system_name = doc.coord_systems.at(0).name.value();
    // The sample parcel has "DateCreated" only, as most extracts do.
    v.date_created = doc.parcels.at(0).date_created.value();
  }
  return v;
}

TValues Read(TSchema schema, const std::string& bytes) {
  if (IsKpt(schema)) {
    auto values = cadtest::ReadKpt(bytes);
    return values ? cadtest::ValuesOf(*values) : cadtest::NoRecord();
  }
  auto values = cadtest::ReadKvzu(bytes);
  return values ? cadtest::ValuesOf(*values) : cadtest::NoRecord();
}

class DocumentSchemas : public ::testing::TestWithParam<std::tuple<TSchema, TVariant>> {
 protected:
  TSchema schema() const { return std::get<0>(GetParam()); }
  testdocs::TBuildOptions options() const { return testdocs::VariantOptions(std::get<1>(GetParam())); }
  testdocs::TDocument sample() const { return testdocs::SampleDocument(schema()); }
};

TEST_P(DocumentSchemas, RecognisesKindAndVersionAndReadsEveryValue) {
  const testdocs::TDocument doc = sample();
  const std::string bytes = testdocs::BuildDocument(doc, options());
  EXPECT_EQ(cadtest::Recognize(bytes), Expected(schema()));
  const TValues values = Read(schema(), bytes);
  EXPECT_EQ(values, ExpectedValues(schema(), doc));
  // The values are the document's own text: Cyrillic arrives intact whatever
  // the encoding.
  EXPECT_NE(values.coord_system_name.find("\xD0"), std::string::npos) << values;
}

// The readers look forward from the instruction: behind the root element they
// find nothing, and the record still comes back.
TEST_P(DocumentSchemas, InstructionAfterTheRootIsRecognisedButYieldsNoValues) {
  testdocs::TBuildOptions options = this->options();
  options.stylesheet_placement = testdocs::TStylesheetPlacement::AfterRoot;
  const std::string bytes = testdocs::BuildDocument(sample(), options);
  EXPECT_EQ(cadtest::Recognize(bytes), Expected(schema()));
  TValues empty;
  if (schema() == TSchema::Kpt05) empty.coord_system_name = kKpt05CoordSystemName;
  EXPECT_EQ(Read(schema(), bytes), empty);
}

TEST_P(DocumentSchemas, WithoutInstructionNothingIsRecognised) {
  testdocs::TBuildOptions options = this->options();
  options.stylesheet_placement = testdocs::TStylesheetPlacement::None;
  const std::string bytes = testdocs::BuildDocument(sample(), options);
  EXPECT_EQ(cadtest::Recognize(bytes), (TRecognition{fkUnknown, "-1"}));
  EXPECT_FALSE(cadtest::ReadKpt(bytes));
  EXPECT_FALSE(cadtest::ReadKvzu(bytes));
}

// A document cut right behind its instruction is recognised from what was read
// before the damage; its reader finds nothing behind it.
TEST_P(DocumentSchemas, DamagedDocumentIsRecognisedUpToTheError) {
  testdocs::TBuildOptions options = this->options();
  options.truncate_after = "common.xsl\"?>";
  const std::string bytes = testdocs::BuildDocument(sample(), options);
  EXPECT_EQ(cadtest::Recognize(bytes), Expected(schema()));
  TValues empty;
  if (schema() == TSchema::Kpt05) empty.coord_system_name = kKpt05CoordSystemName;
  EXPECT_EQ(Read(schema(), bytes), empty);

  // Cut inside the certification: the values before it are still read.
  options.truncate_after = IsKpt(schema()) && schema() != TSchema::Kpt09 ? "<Certification_Doc>"
                           : schema() == TSchema::Kvzu05                 ? "<Certification_Doc>"
                                                                         : "<CertificationDoc>";
  const testdocs::TDocument doc = sample();
  TValues expected = ExpectedValues(schema(), doc);
  expected.certification_number.clear();
  expected.certification_date.clear();
  if (!IsKpt(schema())) expected.coord_system_name.clear();  // comes after the certification
  EXPECT_EQ(Read(schema(), testdocs::BuildDocument(doc, options)), expected);
}

// The reader is chosen by the version alone; the sort run asks for the kind first.
TEST_P(DocumentSchemas, TheOtherFileClassChoosesByVersionAlone) {
  const std::string bytes = testdocs::BuildDocument(sample(), options());
  const std::string version(testdocs::VersionOf(schema()));
  if (IsKpt(schema())) {
    auto values = cadtest::ReadKvzu(bytes);
    ASSERT_EQ(static_cast<bool>(values), version == "05" || version == "06");
    if (values) {
      EXPECT_EQ(cadtest::ValuesOf(*values), TValues{});
    }
  } else {
    auto values = cadtest::ReadKpt(bytes);
    ASSERT_TRUE(values);
    TValues expected;
    if (version == "05") expected.coord_system_name = kKpt05CoordSystemName;
    EXPECT_EQ(cadtest::ValuesOf(*values), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(AllSchemas, DocumentSchemas,
                         ::testing::Combine(::testing::ValuesIn(testdocs::kEarlierSchemas),
                                            ::testing::Values(TVariant::Indented, TVariant::SingleLine, TVariant::Bom,
                                                              TVariant::Windows1251)),
                         [](const auto& p) {
                           return std::string(testdocs::SchemaName(std::get<0>(p.param))) + "_" +
                                  testdocs::VariantName(std::get<1>(p.param));
                         });

}  // namespace
