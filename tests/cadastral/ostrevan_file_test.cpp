// Recognition by the content of the xml-stylesheet instruction.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "cadastral/document_loading.h"
#include "support/document_builder.h"
#include "xml/xml_sequential_parser.h"

using namespace cadastral;
using cadtest::Recognize;
using cadtest::TRecognition;
using testdocs::TSchema;

namespace {

const TRecognition kUnknown{fkUnknown, "-1"};

// A KPT 09 plan whose stylesheet markup is written verbatim.
std::string PlanWithStylesheet(const std::string& markup, TSchema schema = TSchema::Kpt09) {
  testdocs::TBuildOptions options;
  options.stylesheet_text = markup;
  return testdocs::BuildDocument(testdocs::SampleDocument(schema), options);
}

std::string Instruction(std::string_view content) { return testdocs::StylesheetInstruction(content); }

TEST(Recognition, TheSevenRowsAreBuiltFromOneHost) {
  ASSERT_EQ(kRegistryPortalHost, testdocs::kRegistryHost);
  EXPECT_EQ(StylesheetContent(kStylesheetRows[0]),
            "type=\"text/xsl\" href=\"https://portal.rosreestr.ru/xsl/GKN/KPT/09/common.xsl\"");
  EXPECT_EQ(StylesheetContent(kStylesheetRows[6]),
            "type=\"text/xsl\" href=\"https://portal.rosreestr.ru/xsl/GKN/Vidimus/05/common.xsl\"");
  // Row 1 and row 7 on their own, in a document that holds nothing else.
  EXPECT_EQ(Recognize(Instruction(StylesheetContent(kStylesheetRows[0])) + "<KPT/>"), (TRecognition{fkKPT, "09"}));
  EXPECT_EQ(Recognize(Instruction(StylesheetContent(kStylesheetRows[6])) + "<r/>"), (TRecognition{fkKvzu, "05"}));
}

TEST(Recognition, TheRowsComeFromTheVersionTablesInTheirOrder) {
  const std::vector<std::tuple<std::string_view, TOstrevanFileKind, std::string_view>> expected = {
      {"/xsl/GKN/KPT/09/common.xsl", fkKPT, "09"},
      {"/xsl/GKN/KPT/08/common.xsl", fkKPT, "08"},
      {"/xsl/GKN/KPT/07/common.xsl", fkKPT, "07"},
      {"/xsl/GKN/KPT/06/common.xsl", fkKPT, "06"},
      {"/xsl/GKN/KPT/05/common.xsl", fkKPT, "05"},
      {"/xsl/GKN/Vidimus/06/common.xsl", fkKvzu, "06"},
      {"/xsl/GKN/Vidimus/05/common.xsl", fkKvzu, "05"},
      // The later versions behind the seven, each with both of its references.
      {"/xsl/GKN/KPT/10/common.xsl", fkKPT, "10"},
      {"/xsl/GKN/KPT_b/10/common.xsl", fkKPT, "10"},
      {"/xsl/GKN/Vidimus/07/common.xsl", fkKvzu, "07"},
      {"/xsl/EGRP/Reestr_Extract_Big/ZU/07/Common.xsl", fkKvzu, "07"},
  };
  ASSERT_EQ(kStylesheetRows.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const TStylesheetRow& row = kStylesheetRows[i];
    EXPECT_EQ(std::tie(row.Path, row.Kind, row.Version), expected[i]) << "row " << i + 1;
  }
  // A reader is found by the exact version text only.
  EXPECT_NE(FindVersion(kKptVersions, "05"), nullptr);
  EXPECT_EQ(FindVersion(kKptVersions, "5"), nullptr);
  EXPECT_EQ(FindVersion(kKvzuVersions, "08"), nullptr);
  EXPECT_EQ(FindVersion(kKvzuVersions, kUnknownVersion), nullptr);
}

TEST(Recognition, CaseOfTheContentIsIgnored) {
  EXPECT_EQ(Recognize(PlanWithStylesheet(
                Instruction("TYPE=\"text/xsl\" HREF=\"https://portal.rosreestr.ru/xsl/GKN/KPT/09/common.xsl\""))),
            (TRecognition{fkKPT, "09"}));
  EXPECT_EQ(Recognize(PlanWithStylesheet(
                Instruction("type=\"TEXT/XSL\" href=\"HTTPS://Portal.Rosreestr.RU/XSL/gkn/vidimus/06/COMMON.XSL\""))),
            (TRecognition{fkKvzu, "06"}));
}

TEST(Recognition, AnyOtherDifferenceInTheContentIsNotRecognised) {
  const std::string path = "/xsl/GKN/KPT/09/common.xsl";
  for (const std::string& markup : std::initializer_list<std::string>{
           "<?xml-stylesheet  type=\"text/xsl\" href=\"https://portal.rosreestr.ru" + path + "\"?>",  // two spaces
           "<?xml-stylesheet type=\"text/xsl\" href=\"https://portal.rosreestr.ru" + path +
               "\" ?>",  // blank at the end
           "<?xml-stylesheet type='text/xsl' href='https://portal.rosreestr.ru" + path + "'?>",
           "<?xml-stylesheet type=\"text/xsl\"  href=\"https://portal.rosreestr.ru" + path + "\"?>",
           "<?xml-stylesheet type=\"text/xsl\" href=\"http://portal.rosreestr.ru" + path + "\"?>",
           "<?xml-stylesheet type=\"text/xsl\" href=\"https://rosreestr.ru" + path + "\"?>",
           "<?xml-stylesheet type=\"text/xsl\" href=\"https://portal.rosreestr.ru/xsl/GKN/KPT/12/common.xsl\"?>",
           "<?xml-stylesheet href=\"https://portal.rosreestr.ru" + path + "\" type=\"text/xsl\"?>",
           "<?xml-stylesheet?>",
           // The target name is compared with its case.
           "<?Xml-stylesheet type=\"text/xsl\" href=\"https://portal.rosreestr.ru" + path + "\"?>",
           "<?xml-Stylesheet type=\"text/xsl\" href=\"https://portal.rosreestr.ru" + path + "\"?>",
       }) {
    EXPECT_EQ(Recognize(PlanWithStylesheet(markup)), kUnknown) << markup;
  }
}

TEST(Recognition, OnlyTheFirstInstructionCounts) {
  const std::string kpt08 = Instruction(testdocs::StylesheetContent(TSchema::Kpt08));
  const std::string kpt09 = Instruction(testdocs::StylesheetContent(TSchema::Kpt09));
  const std::string other = "<?xml-stylesheet type=\"text/xsl\" href=\"plan.xsl\"?>";
  EXPECT_EQ(Recognize(PlanWithStylesheet(kpt08 + kpt09)), (TRecognition{fkKPT, "08"}));
  EXPECT_EQ(Recognize(PlanWithStylesheet(other + kpt09)), kUnknown);
  // Other nodes ahead of it are passed over.
  EXPECT_EQ(Recognize(PlanWithStylesheet("<!-- выписка --><?xml-stylesheet-x a?><?other x?>" + kpt09)),
            (TRecognition{fkKPT, "09"}));
}

TEST(Recognition, DocumentTypeAndInstructionsAfterTheRootAreReachable) {
  const std::string kvzu = Instruction(testdocs::StylesheetContent(TSchema::Kvzu06));
  EXPECT_EQ(Recognize("<?xml version=\"1.0\"?>\r\n<!DOCTYPE KVZU>\r\n" + kvzu + "\r\n<KVZU/>"),
            (TRecognition{fkKvzu, "06"}));
  EXPECT_EQ(Recognize("<KVZU><a>x</a><?xml-stylesheet inside?></KVZU><!-- c -->" + kvzu), (TRecognition{fkKvzu, "06"}));
}

// A root element before the instruction is passed over without being built; an
// element of the instruction's name ends the recognition as before, whatever it holds.
TEST(Recognition, TheRootBeforeTheInstructionIsNotBuilt) {
  testdocs::TDocument doc = testdocs::SampleDocument(TSchema::Kpt09);
  testdocs::TBuildOptions options;
  options.stylesheet_placement = testdocs::TStylesheetPlacement::AfterRoot;
  options.target_size = 200000;
  const std::string bytes = testdocs::BuildDocument(doc, options);
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto file = TRef<TOstrevanFile>::Create();
  file->LoadFromStream(stream);
  EXPECT_EQ(file->Version(), "09");
  EXPECT_LT(file->Parser().Tree().NodeCount(), 10);

  const std::string content = testdocs::StylesheetContent(TSchema::Kpt09);
  EXPECT_EQ(Recognize("<xml-stylesheet>" + content + "</xml-stylesheet>" + Instruction(content)), kUnknown);
}

TEST(Recognition, InputThatIsNoDocumentIsUnknown) {
  EXPECT_EQ(Recognize(""), kUnknown);
  EXPECT_EQ(Recognize(std::string("PK\x03\x04\0\0\xff\xfe", 8)), kUnknown);
  EXPECT_EQ(Recognize("<KPT><CadastralBlocks/></KPT>"), kUnknown);
  // Damaged before the instruction: the error ends the nodes.
  EXPECT_EQ(Recognize("<?xml version=\"1.0\"?><a><b></a>" + Instruction(testdocs::StylesheetContent(TSchema::Kpt09))),
            kUnknown);
}

TEST(Recognition, LoadingStartsAtTheBeginningOfTheStream) {
  const std::string bytes = testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kpt07));
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(static_cast<int64_t>(bytes.size()));
  auto file = TRef<TOstrevanFile>::Create();
  EXPECT_EQ(file->Kind(), fkUnknown);
  EXPECT_EQ(file->Version(), kUnknownVersion);
  file->LoadFromStream(stream);
  EXPECT_EQ(file->Kind(), fkKPT);
  EXPECT_EQ(file->Version(), "07");
}

TEST(Recognition, ParserStandsBehindTheInstruction) {
  const std::string bytes = "<?xml version=\"1.0\"?><!-- a -->" +
                            Instruction(testdocs::StylesheetContent(TSchema::Kpt09)) + "<!-- b --><KPT n=\"1\"/>";
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto file = TRef<TOstrevanFile>::Create();
  file->LoadFromStream(stream);
  ASSERT_EQ(file->Version(), "09");
  xml::TXMLNode* node = nullptr;
  ASSERT_TRUE(file->Parser().ReadCompleteNode(node));
  EXPECT_EQ(node->NodeType, xml::TXMLNodeType::Comment);
  EXPECT_EQ(node->NodeValue(), u" b ");
  ASSERT_TRUE(file->Parser().ReadCompleteNode(node));
  EXPECT_EQ(node->NodeName(), u"KPT");
  EXPECT_FALSE(file->Parser().ReadCompleteNode(node));
}

}  // namespace
