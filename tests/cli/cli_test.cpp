#include "cli/cli.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

#include "cli/csv_report.h"
#include "cli/interrupt.h"
#include "platform/file_system.h"
#include "sorting/output_rules.h"
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
  int Run(std::vector<std::string> args, const std::string& engine_directory = {}) {
    out_text_.str("");
    err_text_.str("");
    return cli::RunCli(args, out_text_, err_text_, false, engine_directory);
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
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
  auto short_help = cli::ParseOptions({"-h"}, error);
  ASSERT_TRUE(short_help);
  EXPECT_TRUE(short_help->help);
}

TEST(CliOptions, OnConflictIsRenameUnlessToldAndRefusesOtherWords) {
  using sorting::TConflictPolicy;
  std::string error;
  EXPECT_EQ(cli::ParseOptions({"--input", "a", "--output", "b"}, error)->on_conflict, TConflictPolicy::Rename);
  for (const auto& [word, policy] :
       {std::pair{"rename", TConflictPolicy::Rename}, std::pair{"keep", TConflictPolicy::Keep},
        std::pair{"replace", TConflictPolicy::Replace}}) {
    auto o = cli::ParseOptions({"--input", "a", "--output", "b", "--on-conflict", word}, error);
    ASSERT_TRUE(o) << word << ": " << error;
    EXPECT_EQ(o->on_conflict, policy) << word;
  }
  EXPECT_EQ(cli::ParseOptions({"--input", "a", "--output", "b", "--on-conflict=keep"}, error)->on_conflict,
            TConflictPolicy::Keep);
  EXPECT_FALSE(cli::ParseOptions({"--input", "a", "--output", "b", "--on-conflict", "overwrite"}, error));
  EXPECT_NE(error.find("overwrite"), std::string::npos) << error;
  EXPECT_FALSE(cli::ParseOptions({"--input", "a", "--output", "b", "--on-conflict"}, error));
}

TEST(CliOptions, UnknownPlaceholdersAreTheBracedTextsNoRuleReplaces) {
  EXPECT_TRUE(cli::UnknownPlaceholders(sorting::kDefaultKptRule).empty());
  EXPECT_TRUE(cli::UnknownPlaceholders(sorting::kDefaultKvzuRule).empty());
  // Placeholders are replaced ignoring case; a lone brace is no text in braces.
  EXPECT_TRUE(cli::UnknownPlaceholders("{номер региона}\\}{ДАТА ПОСТАНОВКИ}\\a{b").empty());
  EXPECT_EQ(cli::UnknownPlaceholders("{Region}\\{x{Номер района}\\{Дата удостоверения }\\{}"),
            (std::vector<std::string>{"{Region}", "{Дата удостоверения }", "{}"}));
}

TEST_F(CliTest, HelpVersionAndBadArguments) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_text_.str().find("--dry-run"), std::string::npos);
  EXPECT_NE(out_text_.str().find("--on-conflict"), std::string::npos);
  const std::string usage = out_text_.str();
  EXPECT_EQ(Run({"-h"}), 0);
  EXPECT_EQ(out_text_.str(), usage);
  // Without arguments the usage, as a mistake: nothing was asked for.
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(err_text_.str(), usage);
  EXPECT_EQ(out_text_.str(), "");
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
  EXPECT_NE(err_text_.str().find("файл настроек не найден"), std::string::npos);
  support::SaveBytes(settings, "<root><FolderSettings");
  EXPECT_EQ(Run({"--settings", settings, "--input", in_, "--output", out_}), 2);
  EXPECT_NE(err_text_.str().find("(файл: \"" + settings + "\")"), std::string::npos) << err_text_.str();
  // A file without the folders still needs them on the command line.
  support::SaveBytes(settings, "<root/>");
  EXPECT_EQ(Run({"--settings", settings}), 2);
  EXPECT_NE(err_text_.str().find("не указана входная папка"), std::string::npos);
}

TEST_F(CliTest, MissingEngineIsOneMessageNamingTheFolderAndStatusTwo) {
  Archive("план.zip", TSchema::Kpt09);
  Archive("выписка.zip", TSchema::Kvzu06);
  const std::string empty = root_ + D + "без модуля" + D;
  platform::ForceDirectories(empty);
  EXPECT_EQ(Run({"--input", in_, "--output", out_}, empty), 2);
  const auto lines = Lines(err_text_.str());
  ASSERT_EQ(lines.size(), 1u) << err_text_.str();
  EXPECT_NE(lines[0].find(empty), std::string::npos) << lines[0];
  EXPECT_EQ(out_text_.str(), "");
  EXPECT_FALSE(fs::exists(platform::ToPath(out_)));
}

TEST_F(CliTest, InputMayNameOneArchiveButNoOtherFile) {
  Archive("план.zip", TSchema::Kpt09);
  EXPECT_NE(Run({"--input", in_ + D + "план.zip", "--output", out_}), 2) << err_text_.str();
  EXPECT_EQ(err_text_.str(), "");
  support::SaveBytes(in_ + D + "список.txt", "x");
  EXPECT_EQ(Run({"--input", in_ + D + "список.txt", "--output", out_}), 2);
  EXPECT_NE(err_text_.str().find("список.txt"), std::string::npos);
  EXPECT_EQ(Run({"--input", in_ + D + "нет.zip", "--output", out_}), 2);
  EXPECT_NE(err_text_.str().find("нет.zip"), std::string::npos);
}

TEST_F(CliTest, RuleWithUnknownPlaceholderIsWarnedOfBeforeTheRun) {
  Archive("план.zip", TSchema::Kpt09);
  ASSERT_EQ(Run({"--input", in_, "--output", out_, "--quiet", "--rule-kpt", "{Region}\\{Номер района}"}), 0);
  const auto lines = Lines(err_text_.str());
  ASSERT_EQ(lines.size(), 1u) << err_text_.str();
  EXPECT_NE(lines[0].find("{Region}"), std::string::npos);
  EXPECT_NE(lines[0].find("КПТ"), std::string::npos);
  // A warning, not a refusal: the rule is applied as typed.
  EXPECT_EQ(Read(out_ + D + "{Region}" + D + "20" + D + "документ.xml.sig"), "sig");
}

TEST_F(CliTest, EachFailureIsOneLineNamingArchiveEntryAndReason) {
  // An entry whose CRC does not match: not extracted.
  support::TZipWriter bad_crc;
  bad_crc.Add("документ.xml", testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kpt09))).crc = 1;
  bad_crc.Entries().back().flags |= support::kFlagUtf8Name;
  bad_crc.Save(in_ + D + "испорчен.zip");
  // Not a ZIP archive at all.
  support::SaveBytes(in_ + D + "не архив.zip", "просто текст");
  const std::string report = root_ + D + "отчёт.csv";
  EXPECT_EQ(Run({"--input", in_, "--output", out_, "--report", report}), 1);
  const auto lines = Lines(err_text_.str());
  ASSERT_EQ(lines.size(), 2u) << err_text_.str();
  const std::string& crc_line = lines[0].find("испорчен.zip") != std::string::npos ? lines[0] : lines[1];
  const std::string& open_line = &crc_line == &lines[0] ? lines[1] : lines[0];
  EXPECT_EQ(crc_line.rfind(in_ + D + "испорчен.zip [документ.xml]: ", 0), 0u) << crc_line;
  EXPECT_GT(crc_line.size(), (in_ + D + "испорчен.zip [документ.xml]: ").size() + 20) << "a reason";
  EXPECT_EQ(open_line.rfind(in_ + D + "не архив.zip: архив не прочитан: ", 0), 0u) << open_line;
  // The report says the same, in Russian for what the command line words itself.
  EXPECT_NE(Read(report).find("не архив.zip;;;;;;;;;;архив не прочитан: "), std::string::npos) << Read(report);

  // A folder that cannot be made: the output folder is a file.
  fs::remove(platform::ToPath(in_ + D + "испорчен.zip"));
  fs::remove(platform::ToPath(in_ + D + "не архив.zip"));
  Archive("план.zip", TSchema::Kpt09);
  support::SaveBytes(out_, "файл");
  EXPECT_EQ(Run({"--input", in_, "--output", out_}), 1);
  ASSERT_EQ(Lines(err_text_.str()).size(), 1u) << err_text_.str();
  EXPECT_EQ(err_text_.str().rfind(in_ + D + "план.zip [документ.xml]: ", 0), 0u) << err_text_.str();
}

TEST_F(CliTest, AnUnsupportedDocumentIsALineOfItsOwnAndCountedInTheSummary) {
  testdocs::TBuildOptions kpzu;
  kpzu.stylesheet_text =
      "<?xml-stylesheet type=\"text/xsl\" href=\"https://portal.rosreestr.ru/xsl/GKN/KPZU/06/common.xsl\"?>";
  support::TZipWriter zip;
  zip.Add("kpzu.xml", testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kpt10), kpzu));
  zip.Add("report.xml", "<?xml version=\"1.0\"?><report/>");
  zip.Save(in_ + D + "kpzu.zip");
  const std::string report = root_ + D + "отчёт.csv";
  EXPECT_EQ(Run({"--input", in_, "--output", out_, "--report", report, "--quiet"}), 1);
  EXPECT_EQ(Lines(err_text_.str()),
            std::vector<std::string>{in_ + D + "kpzu.zip [kpzu.xml]: не поддерживается: KPZU 06"});
  EXPECT_NE(out_text_.str().find("Документов неподдерживаемых версий: 1"), std::string::npos) << out_text_.str();
  EXPECT_NE(out_text_.str().find("Не распознано документов: 1"), std::string::npos) << out_text_.str();
  EXPECT_NE(Read(report).find("kpzu.xml;;;;;;;;;не поддерживается: KPZU 06"), std::string::npos) << Read(report);
  EXPECT_NE(Read(report).find("report.xml;;;;;;;;;не документ реестра"), std::string::npos) << Read(report);
}

TEST_F(CliTest, TheReportNamesInnerArchivesAfterTheirOuterOne) {
  support::TZipWriter inner;
  inner.Add("план.xml", testdocs::BuildDocument(testdocs::SampleDocument(TSchema::KptTerritory))).flags |=
      support::kFlagUtf8Name;
  support::TZipWriter signature;
  signature.Add("план.xml.sig", "sig").flags |= support::kFlagUtf8Name;
  support::TZipWriter outer;
  outer.Add("план.xml.zip", inner.Build()).flags |= support::kFlagUtf8Name;
  outer.Add("план.xml.sig.zip", signature.Build()).flags |= support::kFlagUtf8Name;
  outer.Save(in_ + D + "ответ.zip");
  const std::string report = root_ + D + "отчёт.csv";
  EXPECT_EQ(Run({"--input", in_, "--output", out_, "--report", report, "--quiet"}), 0) << err_text_.str();
  EXPECT_NE(out_text_.str().find("Обработано файлов: 1"), std::string::npos) << out_text_.str();
  EXPECT_NE(out_text_.str().find("Из них файлов КПТ: 1"), std::string::npos) << out_text_.str();
  const std::string text = Read(report);
  EXPECT_NE(text.find(in_ + D + "ответ.zip › план.xml.zip;план.xml;КПТ;extract_cadastral_plan_territory;"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(in_ + D + "ответ.zip › план.xml.sig.zip;план.xml.sig;КПТ;"), std::string::npos) << text;
}

namespace {

// Calls RequestInterrupt when the first character is written to it, as though
// Ctrl+C came right after the run said its first word.
class InterruptingBuffer : public std::stringbuf {
 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    cli::RequestInterrupt();
    return std::stringbuf::xsputn(s, n);
  }
  int_type overflow(int_type c) override {
    cli::RequestInterrupt();
    return std::stringbuf::overflow(c);
  }
};

}  // namespace

TEST_F(CliTest, InterruptStopsAfterTheArchiveInHandKeepsItsRowsAndExitsWith130) {
  for (const char* name : {"а.zip", "б.zip", "в.zip"}) Archive(name, TSchema::Kpt09);
  const std::string report = root_ + D + "отчёт.csv";
  // Several jobs may have begun the next archives: they changed nothing and are not told.
  for (const char* jobs : {"1", "4"}) {
    SCOPED_TRACE(jobs);
    InterruptingBuffer buffer;
    std::ostream out(&buffer);
    cli::ClearInterrupt();
    // The dry run's line about the first document is the first thing on standard output.
    const int status = cli::RunCli({"--input", in_, "--output", out_, "--dry-run", "--report", report, "--jobs", jobs},
                                   out, err_text_, false);
    cli::ClearInterrupt();
    EXPECT_EQ(status, 130);
    const auto lines = Lines(buffer.str());
    ASSERT_GE(lines.size(), 3u) << buffer.str();
    // The summary counts what was done.
    EXPECT_EQ(lines[1], "Обработано файлов: 1");
    EXPECT_EQ(lines.back(), "Сортировка прервана: обработано архивов 1 из 3.");
    const std::string csv = Read(report);
    EXPECT_EQ(Lines(csv).size(), 2u) << csv;  // the heading and the first archive's document
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
  }
}

TEST_F(CliTest, InterruptBeforeTheFirstArchiveHandlesNone) {
  Archive("план.zip", TSchema::Kpt09);
  cli::RequestInterrupt();
  const int status = Run({"--input", in_, "--output", out_});
  cli::ClearInterrupt();
  EXPECT_EQ(status, 130);
  EXPECT_EQ(out_text_.str(), "Обработано файлов: 0\nСортировка прервана: обработано архивов 0 из 1.\n");
  EXPECT_FALSE(fs::exists(platform::ToPath(out_)));
}

#ifndef _WIN32
extern char** environ;

namespace {

// The real program, built beside the tests; started with its standard output
// and error in files.
const std::string kProgram = platform::ExecutableDirectory() + "vorlanex-cli";

pid_t Start(const std::vector<std::string>& args, const std::string& out_file, const std::string& err_file) {
  std::vector<std::string> all = {kProgram};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

}  // namespace

TEST_F(CliTest, SigintDuringALongRunStopsItLeavesOnlyWholePlacementsAndExitsWith130) {
  // Plans with a large entry each, so that the run is still busy for a second or
  // more when the signal comes.
  constexpr int kArchives = 10;
  const std::string big(32 << 20, '\0');
  for (int i = 0; i < kArchives; ++i) {
    auto doc = testdocs::SampleDocument(TSchema::Kpt09);
    doc.blocks[0].cadastral_number = "50:20:00103" + std::to_string(10 + i);
    support::TZipWriter zip;
    zip.Add("документ.xml", testdocs::BuildDocument(doc)).flags |= support::kFlagUtf8Name;
    zip.Add("документ.xml.sig", "sig").flags |= support::kFlagUtf8Name;
    zip.Add("big.bin", big);
    zip.Save(in_ + D + "план" + std::to_string(10 + i) + ".zip");
  }
  const std::string report = root_ + D + "отчёт.csv";
  const std::string out_file = root_ + D + "out.txt", err_file = root_ + D + "err.txt";
  ASSERT_TRUE(platform::FileExists(kProgram)) << kProgram;
  const pid_t pid = Start({"--input", in_, "--output", out_, "--report", report}, out_file, err_file);
  ASSERT_GT(pid, 0);

  // The report is flushed after each archive: its first document row says the run is under way.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (Read(report).find("документ.xml") == std::string::npos && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_EQ(kill(pid, SIGINT), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal: " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 130) << Read(err_file);

  const auto out_lines = Lines(Read(out_file));
  ASSERT_GE(out_lines.size(), 2u) << Read(out_file);
  const std::string stopped = "Сортировка прервана: обработано архивов ";
  ASSERT_EQ(out_lines.back().rfind(stopped, 0), 0u) << out_lines.back();
  const int done = std::stoi(out_lines.back().substr(stopped.size()));
  EXPECT_EQ(out_lines.back(), stopped + std::to_string(done) + " из " + std::to_string(kArchives) + ".");
  EXPECT_GE(done, 1);
  EXPECT_LT(done, kArchives) << "the signal came too late to stop anything";
  EXPECT_EQ(out_lines.front(), "Обработано файлов: " + std::to_string(done));

  // Every file under the output folder belongs to a whole placement named in the
  // report; nothing else is left there: no temporary file, no staging folder (the
  // run's temporary names begin with a full stop, as no folder the rule makes here
  // does).
  const std::string csv = Read(report);
  ASSERT_EQ(csv.substr(csv.size() - 2), "\r\n") << "the report ends on a whole row";
  std::map<std::string, std::set<std::string>> files_by_folder;
  for (const auto& item : fs::recursive_directory_iterator(platform::ToPath(out_))) {
    const std::string path = platform::FromPath(item.path());
    const std::string name = platform::FromPath(item.path().filename());
    if (item.is_directory()) {
      EXPECT_NE(name[0], '.') << path;
      continue;
    }
    files_by_folder[platform::FromPath(item.path().parent_path())].insert(name);
    if (name == "big.bin") {
      EXPECT_EQ(item.file_size(), big.size()) << path;
    }
  }
  EXPECT_GE(files_by_folder.size(), 1u);
  EXPECT_LE(files_by_folder.size(), static_cast<size_t>(done));
  for (const auto& [folder, files] : files_by_folder) {
    EXPECT_EQ(files, (std::set<std::string>{"big.bin", "документ.xml", "документ.xml.sig"})) << folder;
    EXPECT_NE(csv.find(folder + D), std::string::npos) << folder << " is not in the report";
  }
}
#endif
