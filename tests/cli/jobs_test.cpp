// --jobs: several archives at once give what one job gives. These tests also
// run under ThreadSanitizer (the "tsan" preset).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "cli/cli.h"
#include "cli/interrupt.h"
#include "platform/file_system.h"
#include "platform/temporary_files.h"
#include "sorting/output_rules.h"
#include "sorting/sort_run.h"
#include "support/document_builder.h"
#include "support/temp_folder.h"
#include "support/zip_writer.h"

namespace fs = std::filesystem;
using testdocs::TSchema;

namespace {

const char D = platform::kPathDelimiter;

std::string Read(const std::string& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every folder and file below root by its relative path, files with their bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(platform::ToPath(root))) return tree;
  for (const auto& item : fs::recursive_directory_iterator(platform::ToPath(root))) {
    const std::string relative = platform::FromPath(item.path().lexically_relative(platform::ToPath(root)));
    tree[relative] = item.is_directory() ? std::string("<folder>") : Read(platform::FromPath(item.path()));
  }
  return tree;
}

// A document of the schema whose number puts it into a folder of its own (n),
// with a certification number that changes its bytes but not its folder.
std::string Document(TSchema schema, int n, int variant = 0) {
  auto doc = testdocs::SampleDocument(schema);
  char block[32];
  std::snprintf(block, sizeof block, "50:20:%07d", 100000 + n);
  if (testdocs::KindOf(schema) == testdocs::TDocumentKind::Kpt)
    doc.blocks[0].cadastral_number = block;
  else
    doc.parcels[0].cadastral_number = std::string(block) + ":" + std::to_string(n);
  if (doc.certification) doc.certification->number = "50/201/16-" + std::to_string(400000 + variant);
  return testdocs::BuildDocument(doc);
}

// A few hundred archives in a tree of folders: documents of every schema, each
// into a folder of its own; groups that meet in one folder with other bytes
// (conflicts) and with the same bytes (one archive downloaded twice); archives
// that cannot be read, entries that do not come out, documents that are no
// registry document or cannot be read, archives of two documents, stored
// folders, refused entry names, and some large entries so that the workers
// finish out of order. The number of archives.
int MakeInput(const std::string& in) {
  int count = 0;
  const std::vector<std::string> folders = {
      "", "a", "b", std::string("b") + D + "c", "д", "д" + std::string(1, D) + "е", "f"};
  auto folder_of = [&](int i) { return in + D + folders[static_cast<size_t>(i) % folders.size()]; };
  for (const auto& folder : folders) platform::ForceDirectories(in + D + folder);
  auto save = [&count](const support::TZipWriter& zip, const std::string& path) {
    zip.Save(path);
    ++count;
  };
  const std::string large(256 << 10, 'x');

  for (int i = 0; i < 180; ++i) {
    const TSchema schema = testdocs::kAllSchemas[static_cast<size_t>(i) % testdocs::kAllSchemas.size()];
    support::TZipWriter zip;
    zip.Add("doc.xml", Document(schema, i));
    zip.Add("doc.xml.sig", "sig " + std::to_string(i));
    if (i % 23 == 0) zip.Add("filler.bin", large);
    if (i % 31 == 0) {
      zip.AddDirectory("приложения");
      zip.Add("приложения/план.txt", "план " + std::to_string(i)).flags |= support::kFlagUtf8Name;
    }
    if (i % 37 == 0) zip.Add("../выход.txt", "x").flags |= support::kFlagUtf8Name;
    save(zip, folder_of(i) + D + "архив" + std::to_string(i) + ".zip");
  }
  // Conflicts: three or four archives of one name in different folders whose
  // documents go to one place with other bytes (or, for some, only another
  // signature).
  for (int g = 0; g < 24; ++g) {
    const TSchema schema = testdocs::kAllSchemas[static_cast<size_t>(g) % testdocs::kAllSchemas.size()];
    for (int k = 0; k < 3 + g % 2; ++k) {
      support::TZipWriter zip;
      zip.Add("doc.xml", Document(schema, 1000 + g, g % 3 == 0 ? 0 : k));
      zip.Add("doc.xml.sig", "sig " + std::to_string(k));
      save(zip, in + D + folders[static_cast<size_t>(g + 2 * k) % folders.size()] + D + "группа" + std::to_string(g) +
                    ".zip");
    }
  }
  // One archive downloaded twice.
  for (int i = 0; i < 12; ++i) {
    support::TZipWriter zip;
    zip.Add("doc.xml", Document(TSchema::Kvzu06, 2000 + i));
    zip.Add("doc.xml.sig", "sig");
    save(zip, folder_of(i) + D + "дважды" + std::to_string(i) + ".zip");
    save(zip, folder_of(i + 3) + D + "дважды" + std::to_string(i) + ".zip");
  }
  // Damage and documents that are not placed.
  for (int i = 0; i < 8; ++i) {
    support::TZipWriter crc_xml;
    crc_xml.Add("doc.xml", Document(TSchema::Kpt09, 3000 + i)).crc = 1;
    save(crc_xml, folder_of(i) + D + "crc-xml" + std::to_string(i) + ".zip");
    support::TZipWriter crc_sig;
    crc_sig.Add("doc.xml", Document(TSchema::Kpt08, 3100 + i));
    crc_sig.Add("doc.xml.sig", "sig").crc = 1;
    save(crc_sig, folder_of(i + 1) + D + "crc-sig" + std::to_string(i) + ".zip");
    std::string cut = crc_sig.Build();
    cut.resize(cut.size() / 2);
    support::SaveBytes(folder_of(i + 2) + D + "обрезан" + std::to_string(i) + ".zip", cut);
    support::SaveBytes(folder_of(i + 3) + D + "не архив" + std::to_string(i) + ".zip", "просто текст");
    count += 2;
    support::TZipWriter foreign;
    foreign.Add("report.xml", "<?xml version=\"1.0\"?><report/>");
    foreign.Add("readme.txt", "x");
    save(foreign, folder_of(i + 4) + D + "чужой" + std::to_string(i) + ".zip");
    auto unread = testdocs::SampleDocument(TSchema::Kpt09);
    unread.blocks[0].cadastral_number = std::nullopt;
    support::TZipWriter no_number;
    no_number.Add("doc.xml", testdocs::BuildDocument(unread));
    save(no_number, folder_of(i + 5) + D + "без номера" + std::to_string(i) + ".zip");
    support::TZipWriter two;
    two.Add("plan.xml", Document(TSchema::Kpt07, 3200 + i));
    two.Add("plot.xml", Document(TSchema::Kvzu05, 3300 + i));
    save(two, folder_of(i + 6) + D + "два" + std::to_string(i) + ".zip");
    // Answers as they come today: the document and its signature each in an
    // archive of its own inside the one downloaded; half of them meet a
    // conflict group's folder, some hold an inner archive that is damaged.
    support::TZipWriter doc_zip, sig_zip, response;
    const TSchema schema = testdocs::kAllSchemas[static_cast<size_t>(i) % testdocs::kAllSchemas.size()];
    doc_zip.Add("doc.xml", Document(schema, i % 2 ? 3400 + i : 1000 + i, 7));
    sig_zip.Add("doc.xml.sig", "inner sig " + std::to_string(i));
    response.Add("doc.xml.zip", doc_zip.Build());
    response.Add("doc.xml.sig.zip", sig_zip.Build());
    if (i % 4 == 3) response.Add("damaged.zip", "не архив");
    save(response, folder_of(i + 1) + D + "ответ" + std::to_string(i) + ".zip");
  }
  return count;
}

struct TRunResult {
  int status = 0;
  std::string out, err, report;
  std::map<std::string, std::string> tree;
};

class JobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratch_.Path();
    in_ = root_ + D + "вход";
    out_ = root_ + D + "выход";
    report_ = root_ + D + "отчёт.csv";
    platform::ForceDirectories(in_);
  }
  // Sorts into out_ (the same path for every run, as the report names it) and
  // takes the result away, leaving no output folder behind.
  TRunResult Sort(std::vector<std::string> args, int jobs) {
    args.insert(args.end(), {"--input", in_, "--output", out_, "--report", report_, "--jobs", std::to_string(jobs)});
    std::ostringstream out, err;
    TRunResult result;
    result.status = cli::RunCli(args, out, err, false);
    result.out = out.str();
    result.err = err.str();
    result.report = Read(report_);
    result.tree = Tree(out_);
    fs::remove_all(platform::ToPath(out_));
    return result;
  }
  static void ExpectSame(const TRunResult& one, const TRunResult& many) {
    EXPECT_EQ(many.status, one.status);
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(many.err, one.err);
    EXPECT_EQ(many.report, one.report);
    EXPECT_EQ(many.tree.size(), one.tree.size());
    for (const auto& [path, bytes] : one.tree) {
      const auto hit = many.tree.find(path);
      if (hit == many.tree.end()) {
        ADD_FAILURE() << "missing with more jobs: " << path;
      } else {
        EXPECT_TRUE(hit->second == bytes) << "other bytes with more jobs: " << path;
      }
    }
    for (const auto& [path, bytes] : many.tree) EXPECT_TRUE(one.tree.count(path)) << "only with more jobs: " << path;
  }

  support::TTempFolder scratch_{"vorlanex_jobs"};
  std::string root_, in_, out_, report_;
};

}  // namespace

TEST(JobsOption, IsACountFromOneUpAndDefaultsToTheCores) {
  std::string error;
  EXPECT_EQ(cli::ParseOptions({"--input", "a", "--output", "b"}, error)->jobs, 0);
  EXPECT_EQ(cli::ParseOptions({"--input", "a", "--output", "b", "--jobs", "4"}, error)->jobs, 4);
  EXPECT_EQ(cli::ParseOptions({"--input", "a", "--output", "b", "--jobs=1"}, error)->jobs, 1);
  for (const char* bad : {"0", "-1", "x", "", "2.5", "100000"}) {
    EXPECT_FALSE(cli::ParseOptions({"--input", "a", "--output", "b", "--jobs", bad}, error)) << bad;
    EXPECT_NE(error.find("--jobs"), std::string::npos) << error;
  }
  EXPECT_GE(cli::DefaultJobs(), 1);
  EXPECT_NE(cli::UsageText().find("--jobs N"), std::string::npos);
}

// The same folders, files, report, messages, summary and status with one job
// and with four, in both modes and under every conflict policy.
TEST_F(JobsTest, FourJobsGiveTheTreeReportMessagesAndStatusOfOne) {
  const int count = MakeInput(in_);
  const std::vector<std::vector<std::string>> modes = {
      {},
      {"--copy"},
      {"--on-conflict", "keep"},
      {"--copy", "--on-conflict", "replace"},
  };
  for (const auto& mode : modes) {
    std::string name;
    for (const auto& arg : mode) name += arg + " ";
    SCOPED_TRACE(name);
    const TRunResult one = Sort(mode, 1);
    const TRunResult many = Sort(mode, 4);
    ExpectSame(one, many);

    // The input holds what it was made to hold.
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.out.rfind("Обработано файлов: " + std::to_string(count) + "\n", 0), 0u) << one.out;
    EXPECT_NE(one.out.find("Конфликтов размещения: "), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("Не удалось прочитать архивов: "), std::string::npos) << one.out;
    EXPECT_NE(one.report.find(";такой же уже размещён"), std::string::npos);
    EXPECT_NE(one.report.find(".zip › doc.xml.sig.zip"), std::string::npos);
    if (mode.empty() || mode[0] != "--copy") {
      EXPECT_NE(one.err.find("выход.txt"), std::string::npos);
    }
  }
}

// One archive's file where another's folder goes: whichever comes first in
// the search wins, as with one job, however the workers are timed.
TEST_F(JobsTest, AFileWhereAnotherArchivesFolderGoesMeetsItInTheOrderOfTheSearch) {
  for (int i = 0; i < 12; ++i) {
    const std::string region = std::to_string(10 + i);
    auto plan = testdocs::SampleDocument(TSchema::Kpt09);
    plan.blocks[0].cadastral_number = region + ":20:0010336";
    support::TZipWriter file;
    file.Add("doc.xml", testdocs::BuildDocument(plan));
    file.Add("20", "a file named as the extract's folder");
    file.Save(in_ + D + "план" + region + ".zip");
    auto plot = testdocs::SampleDocument(TSchema::Kvzu06);
    plot.parcels[0].cadastral_number = region + ":20:0010336:1";
    support::TZipWriter folder;
    folder.Add("doc.xml", testdocs::BuildDocument(plot));
    folder.Save(in_ + D + "выписка" + region + ".zip");
  }
  const std::vector<std::string> rules = {"--rule-kpt", "{Номер региона}", "--rule-kvzu",
                                          "{Номер региона}\\{Номер района}"};
  const TRunResult one = Sort(rules, 1);
  ExpectSame(one, Sort(rules, 4));
  EXPECT_EQ(one.status, 1) << one.err;
}

namespace {

// Stands in for the window, noting which thread hears each call; stops the run
// once stop_after archives are through.
class TThreadHost : public sorting::TSortHost {
 public:
  std::string input, output;
  int stop_after = -1;
  int steps = 0;
  bool other_thread = false;
  std::vector<std::string> started;
  std::vector<sorting::TDocumentRecord> records;
  std::vector<std::string> summaries;

  std::string InputFolder() override { return Note(input); }
  std::string OutputFolder() override { return Note(output); }
  bool DeepSearch() override { return Note(true); }
  bool Unpack() override { return Note(true); }
  std::string KptRule() override { return Note(std::string(sorting::kDefaultKptRule)); }
  std::string KvzuRule() override { return Note(std::string(sorting::kDefaultKvzuRule)); }
  void SetProgressMax(int) override { Note(0); }
  void StepProgress() override { steps = Note(steps + 1); }
  void ResetProgress() override { Note(0); }
  void ProcessMessages() override { Note(0); }
  void ShowSummary(const std::string& text, const std::string&) override { summaries.push_back(Note(text)); }
  void ReportError(const std::string& message) override { ADD_FAILURE() << message; }
  bool StopRequested() override { return Note(stop_after >= 0 && steps >= stop_after); }
  void ArchiveStarted(int, int, const std::string& path) override { started.push_back(Note(path)); }
  void DocumentHandled(const sorting::TDocumentRecord& record) override { records.push_back(Note(record)); }
  void ArchiveMessage(const std::string&, int, const std::string&) override { Note(0); }

 private:
  template <typename T>
  T Note(T value) {
    other_thread |= std::this_thread::get_id() != thread_;
    return value;
  }
  std::thread::id thread_ = std::this_thread::get_id();
};

}  // namespace

TEST_F(JobsTest, TheHostHearsEverythingOnItsThreadInTheOrderOfOneJob) {
  const int count = MakeInput(in_);
  std::vector<std::string> order[2];
  std::vector<std::string> actions[2];
  for (const int jobs : {1, 3}) {
    TThreadHost host;
    host.input = in_;
    host.output = out_;
    sorting::TSortRun run(host);
    run.Unattended = true;
    run.Jobs = jobs;
    run.SortButtonClick();
    EXPECT_FALSE(host.other_thread);
    EXPECT_EQ(run.Done, count);
    ASSERT_EQ(host.summaries.size(), 1u);
    order[jobs > 1] = host.started;
    for (const auto& record : host.records)
      actions[jobs > 1].push_back(record.archive + " " + record.entry + " " + sorting::ActionName(record.action));
    fs::remove_all(platform::ToPath(out_));
  }
  EXPECT_EQ(order[1], order[0]);
  EXPECT_EQ(actions[1], actions[0]);
}

// A stop while four workers run: every file in the output folder belongs to an
// archive the host was told of, and nothing temporary stays.
TEST_F(JobsTest, AStopLeavesOnlyReportedArchivesAndNoTemporaryFiles) {
  const int count = MakeInput(in_);
  for (const int stop_after : {0, 1, 5, 40}) {
    SCOPED_TRACE(stop_after);
    TThreadHost host;
    host.input = in_;
    host.output = out_;
    host.stop_after = stop_after;
    sorting::TSortRun run(host);
    run.Unattended = true;
    run.Jobs = 4;
    run.SortButtonClick();
    EXPECT_GE(run.Done, stop_after);
    // The workers may have placed every archive before the stop was heard.
    EXPECT_EQ(run.Stopped, run.Done < count);
    EXPECT_EQ(host.summaries.empty(), run.Stopped);
    // The archives told of, and at most one more (the one in hand when the stop came).
    EXPECT_GE(static_cast<int>(host.started.size()), run.Done);
    EXPECT_LE(static_cast<int>(host.started.size()), run.Done + 1);

    std::set<std::string> folders;
    for (const auto& record : host.records)
      if (sorting::IsPlaced(record.action)) folders.insert(platform::FromPath(platform::ToPath(record.target_folder)));
    if (!fs::exists(platform::ToPath(out_))) continue;
    for (const auto& item : fs::recursive_directory_iterator(platform::ToPath(out_))) {
      const std::string name = platform::FromPath(item.path().filename());
      EXPECT_NE(name.rfind(platform::kTemporaryPrefix, 0), 0u) << platform::FromPath(item.path());
      if (item.is_directory() || platform::FromPath(item.path().parent_path().filename()) == "приложения") continue;
      EXPECT_TRUE(folders.count(platform::FromPath(item.path().parent_path()) + D))
          << platform::FromPath(item.path()) << " belongs to no archive the host was told of";
    }
    fs::remove_all(platform::ToPath(out_));
  }
}

// An interrupt at the terminal with four jobs: status 130, the summary of what
// was told, and a report of whole rows.
TEST_F(JobsTest, AnInterruptStopsFourJobsWithStatus130) {
  const int count = MakeInput(in_);
  cli::RequestInterrupt();
  const TRunResult result = Sort({}, 4);
  cli::ClearInterrupt();
  EXPECT_EQ(result.status, 130);
  EXPECT_EQ(result.out,
            "Обработано файлов: 0\nСортировка прервана: обработано архивов 0 из " + std::to_string(count) + ".\n");
  EXPECT_TRUE(result.tree.empty());
}
