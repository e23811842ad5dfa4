// The land plot extract readers.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "cadastral/document_loading.h"
#include "support/document_builder.h"

using namespace cadastral;
using cadtest::TValues;
using testdocs::TSchema;

namespace {

TValues ReadExtract(const testdocs::TDocument& doc, const testdocs::TBuildOptions& options = {}) {
  auto values = cadtest::ReadKvzu(testdocs::BuildDocument(doc, options));
  return values ? cadtest::ValuesOf(*values) : cadtest::NoRecord();
}

TValues Expected(const testdocs::TDocument& doc) {
  const testdocs::TParcel& parcel = doc.parcels.at(0);
  return {*parcel.cadastral_number, *doc.coord_systems.at(0).name, *doc.certification->number, *doc.certification->date,
          parcel.date_created.value_or("")};
}

class KvzuFile : public ::testing::TestWithParam<TSchema> {
 protected:
  testdocs::TDocument sample() const { return testdocs::SampleDocument(GetParam()); }
};

// "DateCreatedDoc" is set only for plots registered under the older system; the
// others carry their date in "DateCreated", in both versions.
TEST_P(KvzuFile, RegistrationDateFallsBackToDateCreated) {
  struct Case {
    std::optional<std::string> date_created_doc, date_created;
    std::string expected;
  };
  for (const Case& c : {Case{"2004-02-11", "2008-11-13", "2004-02-11"}, Case{"2004-02-11", std::nullopt, "2004-02-11"},
                        Case{std::nullopt, "2008-11-13", "2008-11-13"}, Case{"", "2008-11-13", "2008-11-13"},
                        Case{std::nullopt, std::nullopt, ""}, Case{"", "", ""}}) {
    testdocs::TDocument doc = sample();
    doc.parcels[0].date_created_doc = c.date_created_doc;
    doc.parcels[0].date_created = c.date_created;
    TValues expected = Expected(doc);
    expected.date_created = c.expected;
    EXPECT_EQ(ReadExtract(doc), expected)
        << c.date_created_doc.value_or("<none>") << " / " << c.date_created.value_or("<none>");
  }
}

TEST_P(KvzuFile, ValuesComeFromTheFirstParcel) {
  testdocs::TDocument doc = sample();
  for (int i = 2; i <= 4; ++i) {
    testdocs::TParcel parcel = testdocs::SampleParcel("50:20:0010336", 100 + i);
    parcel.date_created_doc = "2001-01-0" + std::to_string(i);
    doc.parcels.push_back(parcel);
  }
  EXPECT_EQ(ReadExtract(doc), Expected(doc));
}

TEST_P(KvzuFile, AnotherPrefixOfTheCoordinateSystemLeavesOnlyItsName) {
  testdocs::TBuildOptions options;
  options.spatial_prefix = GetParam() == TSchema::Kvzu06 ? "ns4" : "ns3";
  TValues expected = Expected(sample());
  expected.coord_system_name.clear();
  EXPECT_EQ(ReadExtract(sample(), options), expected);
}

TEST_P(KvzuFile, CoordinateSystemsAheadOfTheCertificationAreNotFound) {
  testdocs::TBuildOptions options;
  options.coord_systems_first = true;
  TValues expected = Expected(sample());
  expected.coord_system_name.clear();
  EXPECT_EQ(ReadExtract(sample(), options), expected);
}

TEST_P(KvzuFile, WithoutCertificationNeitherItNorTheCoordinateSystemIsRead) {
  testdocs::TDocument doc = sample();
  doc.certification.reset();
  TValues expected = Expected(sample());
  expected.certification_number.clear();
  expected.certification_date.clear();
  expected.coord_system_name.clear();
  EXPECT_EQ(ReadExtract(doc), expected);
}

TEST_P(KvzuFile, CertificationNumberSplitIsJoined) {
  testdocs::TBuildOptions options;
  options.number_split = testdocs::TNumberSplit::CommentAndCData;
  options.layout = testdocs::TLayout::SingleLine;
  EXPECT_EQ(ReadExtract(sample(), options), Expected(sample()));
}

INSTANTIATE_TEST_SUITE_P(BothVersions, KvzuFile, ::testing::Values(TSchema::Kvzu05, TSchema::Kvzu06),
                         [](const auto& p) { return std::string(testdocs::SchemaName(p.param)); });

TEST(KvzuFileRecord, ReaderMatchesTheVersionAndOutlivesTheFile) {
  const std::string bytes = testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kvzu06));
  TRef<TKvzuFileInfoData> values;
  {
    common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
    auto file = TRef<TKvzuFile>::Create();
    file->LoadFromStream(stream);
    EXPECT_EQ(file->Kind(), fkKvzu);
    values = TRef<TKvzuFileInfoData>(file->InfoData());
  }
  ASSERT_TRUE(values);
  EXPECT_NE(dynamic_cast<TKvzuFile6InfoData*>(values.get()), nullptr);
  EXPECT_EQ(values->RefCount(), 1);
  EXPECT_EQ(values->DateCreated, "2008-11-13");
}

}  // namespace
