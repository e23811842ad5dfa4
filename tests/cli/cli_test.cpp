#include "cli/cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/csv_report.h"
#include "platform/file_system.h"
#include "sorting/settings_file.h"
#include "support/document_builder.h"
#include "support/temp_folder.h"
#include "support/zip_writer.h"

namespace fs = std::filesystem;
using testdocs::TSchema;

namespace {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratch_.Path();
    in_ = root_ + D + "Входящие";
    out_ = root_ + D + "Разложено";
    platform::ForceDirectories(in_);
  }

  void Archive(const std::string& name, TSchema schema) {
    support::TZipWriter zip;
    zip.Add("документ.xml", testdocs::BuildDocument(testdocs::SampleDocument(schema))).flags |= support::kFlagUtf8Name;
    zip.Add("документ.xml.sig", "sig").flags |= support::kFlagUtf8Name;
    zip.Save(in_ + D + name);
  }
  int Run(std::vector<std::string> args) {
    out_text_.str("");
    err_text_.str("");
    return cli::RunCli(args, out_text_, err_text_, false);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(platform::ToPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  const char D = platform::kPathDelimiter;
  support::TTempFolder scratch_{"vorlanex_cli"};
  std::string root_, in_, out_;
  std::ostringstream out_text_, err_text_;
};

}  // namespace

TEST(CliOptions, ParsesEveryOptionAndRejectsMistakes) {
  std::string error;
  auto o = cli::ParseOptions({"--input", "a", "--output=b", "--no-recursive", "--copy", "--rule-kpt", "{Номер региона}",
                              "--rule-kvzu=x", "--dry-run", "--report", "r.csv", "--quiet"},
                             error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->input, "a");
  EXPECT_EQ(o->output, "b");
  EXPECT_FALSE(o->recursive);
  EXPECT_TRUE(o->copy && o->dry_run && o->quiet);
  EXPECT_EQ(o->kpt_rule, "{Номер региона}");
  EXPECT_EQ(o->kvzu_rule, "x");
  EXPECT_EQ(o->report, "r.csv");

  auto defaults = cli::ParseOptions({"--input", "a", "--output", "b"}, error);
  ASSERT_TRUE(defaults);
  EXPECT_TRUE(defaults->recursive);
  EXPECT_FALSE(defaults->copy);
  EXPECT_NE(defaults->kpt_rule.find("{Дата удостоверения}"), std::string::npos);

  EXPECT_FALSE(cli::ParseOptions({"--input", "a"}, error));
  EXPECT_NE(error.find("output"), std::string::npos);
  EXPECT_FALSE(cli::ParseOptions({"--output", "b"}, error));
  EXPECT_FALSE(cli::ParseOptions({"--input"}, error));
  EXPECT_FALSE(cli::ParseOptions({"--input", "a", "--output", "b", "--colour"}, error));
  EXPECT_NE(error.find("--colour"), std::string::npos);
  EXPECT_FALSE(cli::ParseOptions({"--input", "a", "--output", "b", "--copy=yes"}, error));
  EXPECT_TRUE(cli::ParseOptions({"--help"}, error));
}

TEST_F(CliTest, HelpVersionAndBadArguments) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_text_.str().find("--dry-run"), std::string::npos);
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out_text_.str().rfind("vorlanex-cli ", 0), 0u);
  EXPECT_EQ(Run({"--bogus"}), 2);
  EXPECT_EQ(Run({"--input", root_ + D + "нет такой", "--output", out_}), 2);
  EXPECT_NE(err_text_.str().find("нет такой"), std::string::npos);
}

TEST_F(CliTest, SortsIntoCyrillicFoldersAndPrintsTheSummary) {
  Archive("план.zip", TSchema::Kpt09);
  Archive("выписка.zip", TSchema::Kvzu06);
  ASSERT_EQ(Run({"--input", in_, "--output", out_}), 0) << err_text_.str();
  EXPECT_EQ(out_text_.str(), "Обработано файлов: 2\nИз них файлов КПТ: 1\nИз них файлов КВЗУ: 1\n");
  const std::string kpt = out_ + D + "МСК-50, зона 2" + D + "50" + D + "20" + D + "00 10 33 6" + D + "2016-05-12" + D;
  EXPECT_EQ(Read(kpt + "документ.xml.sig"), "sig");
}

TEST_F(CliTest, DryRunCreatesNothingAndSaysWhereDocumentsWouldGo) {
  Archive("план.zip", TSchema::Kpt08);
  ASSERT_EQ(Run({"--input", in_, "--output", out_, "--dry-run"}), 0);
  EXPECT_FALSE(fs::exists(platform::ToPath(out_)));
  EXPECT_NE(out_text_.str().find("план.zip [документ.xml] -> " + out_ + D + "МСК-50"), std::string::npos);
}

TEST_F(CliTest, ReportHasARowPerDocumentAndArchiveAndDamageGivesExitOne) {
  Archive("план.zip", TSchema::Kpt09);
  support::TZipWriter foreign;
  foreign.Add("readme.txt", "x");
  foreign.Save(in_ + D + "прочее.zip");
  std::string damaged = foreign.Build();
  damaged.resize(damaged.size() - 30);
  support::SaveBytes(in_ + D + "damaged.zip", damaged);
  const std::string report = root_ + D + "отчёт.csv";
  EXPECT_EQ(Run({"--input", in_, "--output", out_, "--copy", "--report", report}), 1);
  EXPECT_NE(err_text_.str().find("damaged.zip"), std::string::npos);

  const std::string csv = Read(report);
  ASSERT_EQ(csv.rfind("\xEF\xBB\xBF"
                      "Архив;",
                      0),
            0u);
  std::vector<std::string> rows;
  std::istringstream lines(csv);
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 4u);  // heading, one document, two archives without documents
  const std::string doc_row = "план.zip;документ.xml;КПТ;09;50:20:0010336;МСК-50, зона 2;50/201/16-412345;2016-05-12;;";
  bool found = false;
  for (const auto& row : rows)
    found |= row.find(doc_row) != std::string::npos && row.find(";скопирован\r") != std::string::npos;
  EXPECT_TRUE(found) << csv;
  EXPECT_EQ(cli::TCsvReport::Field("a;b\"c"), "\"a;b\"\"c\"");
}

TEST_F(CliTest, SettingsFileGivesFoldersSwitchesAndRulesAndOptionsWin) {
  Archive("план.zip", TSchema::Kpt09);
  platform::ForceDirectories(in_ + D + "вложенная");
  Archive(std::string("вложенная") + D + "выписка.zip", TSchema::Kvzu06);
  const std::string settings = root_ + D + sorting::kSettingsFileName;
  // As the window writes it: copy, no sub-folders, a rule with a full stop typed by hand.
  sorting::SaveSettingsFile(settings, {}, {in_, out_, false, false}, {"{Номер региона}\\v.1", ""});

  ASSERT_EQ(Run({"--settings", settings}), 0) << err_text_.str();
  EXPECT_EQ(out_text_.str(), "Обработано файлов: 1\nИз них файлов КПТ: 1\n");
  EXPECT_TRUE(fs::exists(platform::ToPath(out_ + D + "50" + D + "v_1" + D + "план.zip")));

  // Each option given on the command line wins over the file.
  const std::string other = root_ + D + "другая";
  ASSERT_EQ(Run({"--settings", settings, "--output", other, "--recursive", "--unpack", "--rule-kpt", "К"}), 0)
      << err_text_.str();
  EXPECT_EQ(out_text_.str(), "Обработано файлов: 2\nИз них файлов КПТ: 1\nИз них файлов КВЗУ: 1\n");
  EXPECT_EQ(Read(other + D + "К" + D + "документ.xml.sig"), "sig");
  // The file's empty KVZU rule puts the extract into the output folder itself.
  EXPECT_EQ(Read(other + D + "документ.xml.sig"), "sig");
}

TEST_F(CliTest, SettingsFileThatIsMissingOrDamagedIsABadArgument) {
  const std::string settings = root_ + D + sorting::kSettingsFileName;
  EXPECT_EQ(Run({"--settings", settings}), 2);
  EXPECT_NE(err_text_.str().find("does not exist"), std::string::npos);
  support::SaveBytes(settings, "<root><FolderSettings");
  EXPECT_EQ(Run({"--settings", settings, "--input", in_, "--output", out_}), 2);
  EXPECT_NE(err_text_.str().find("(файл: \"" + settings + "\")"), std::string::npos) << err_text_.str();
  // A file without the folders still needs them on the command line.
  support::SaveBytes(settings, "<root/>");
  EXPECT_EQ(Run({"--settings", settings}), 2);
  EXPECT_NE(err_text_.str().find("input folder is missing"), std::string::npos);
}
