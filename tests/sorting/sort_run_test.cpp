#include "sorting/sort_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/file_system.h"
#include "sorting/output_rules.h"
#include "support/document_builder.h"
#include "support/temp_folder.h"
#include "support/zip_writer.h"
#include "zip/zip_archive.h"
#include "zip/zip_engine_loader.h"

using namespace sorting;
namespace fs = std::filesystem;
using testdocs::TSchema;

namespace {

// Records what the run asks of and tells the window.
class FakeHost : public TSortHost {
 public:
  std::string input, output;
  bool deep = true, unpack = true;
  std::string kpt_rule = kDefaultKptRule, kvzu_rule = kDefaultKvzuRule;
  std::vector<std::string> events;
  std::vector<std::string> summaries;
  std::vector<std::string> errors;
  std::vector<TDocumentRecord> records;
  int unpack_reads = 0;

  std::string InputFolder() override { return input; }
  std::string OutputFolder() override { return output; }
  bool DeepSearch() override { return deep; }
  bool Unpack() override {
    ++unpack_reads;
    return unpack;
  }
  std::string KptRule() override { return kpt_rule; }
  std::string KvzuRule() override { return kvzu_rule; }
  void SetProgressMax(int maximum) override { events.push_back("max " + std::to_string(maximum)); }
  void StepProgress() override { events.push_back("step"); }
  void ResetProgress() override { events.push_back("reset"); }
  void ProcessMessages() override { events.push_back("messages"); }
  void ShowSummary(const std::string& text, const std::string& caption) override {
    EXPECT_EQ(caption, "Сортировка завершена");
    summaries.push_back(text);
  }
  void ReportError(const std::string& message) override { errors.push_back(message); }
  void DocumentHandled(const TDocumentRecord& record) override { records.push_back(record); }
  void ArchiveStarted(int, int, const std::string&) override {
    engine_loaded.push_back(zip::ZipEngineLoader().Loaded());
  }
  std::vector<bool> engine_loaded;  // at the start of each archive
  void ArchiveMessage(const std::string& archive, int code, const std::string& text) override {
    messages.push_back(archive + " " + std::to_string(code) + " " + text);
  }
  std::vector<std::string> messages;
  // Archives to let through before StopRequested answers true (-1: never).
  int stop_after = -1;
  bool StopRequested() override { return stop_after >= 0 && stop_after-- == 0; }
};

std::string Doc(TSchema schema, const std::string& number, const std::string& date = "2015-03-12") {
  auto doc = testdocs::SampleDocument(schema);
  doc.certification->date = date;
  if (testdocs::KindOf(schema) == testdocs::TDocumentKind::Kpt)
    doc.blocks[0].cadastral_number = number;
  else
    doc.parcels[0].cadastral_number = number;
  return testdocs::BuildDocument(doc);
}

class SortRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratch_.Path();
    host_.input = Path("in");
    host_.output = Path("out");
    platform::ForceDirectories(host_.input);
  }
  std::string Path(const std::string& rel) const { return root_ + D + rel; }
  std::string InPath(const std::string& rel) const { return host_.input + D + rel; }
  void Archive(const std::string& rel, const support::TZipWriter& zip) {
    platform::ForceDirectories(platform::FromPath(platform::ToPath(InPath(rel)).parent_path()));
    zip.Save(InPath(rel));
  }
  // Archives that hold no XML document.
  void PlainArchives(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      support::TZipWriter zip;
      zip.Add("x.txt", "x");
      Archive(name, zip);
    }
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(platform::ToPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Run() {
    TSortRun run(host_);
    run.Unattended = true;
    run.SortButtonClick();
    kpt_ = run.KptCount;
    kvzu_ = run.KvzuCount;
    return host_.summaries.empty() ? std::string() : host_.summaries.back();
  }
  // The folder the default rules give for the sample values.
  std::string KptFolder(const std::string& block, const std::string& date = "2015-03-12") const {
    return ToPlatformPath(host_.output + "\\МСК-50, зона 2\\" + block + "\\" + date + "\\");
  }
  const char D = platform::kPathDelimiter;
  support::TTempFolder scratch_{"vorlanex_sort_run"};
  std::string root_;
  FakeHost host_;
  int kpt_ = 0, kvzu_ = 0;
};

}  // namespace

TEST_F(SortRunTest, TwoDocumentsInOneArchiveArePlacedTwice) {
  support::TZipWriter zip;
  zip.Add("a.xml", Doc(TSchema::Kpt09, "50:20:0010336"));
  zip.Add("a.xml.sig", "signature");
  zip.Add("b.XML", Doc(TSchema::Kvzu06, "66:41:0101001:25"));
  Archive("two.zip", zip);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1\r\nИз них файлов КВЗУ: 1");
  ASSERT_EQ(host_.records.size(), 2u);
  const std::string kpt_folder = KptFolder("50\\20\\00 10 33 6");
  EXPECT_EQ(host_.records[0].target_folder, kpt_folder);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::Unpacked);
  EXPECT_EQ(Read(kpt_folder + "a.xml.sig"), "signature");
  EXPECT_EQ(host_.records[1].kind, cadastral::fkKvzu);
  EXPECT_TRUE(platform::FileExists(host_.records[1].target_folder + "b.XML"));
  EXPECT_TRUE(platform::FileExists(host_.records[1].target_folder + "a.xml"));
}

TEST_F(SortRunTest, ForeignDocumentsAreCountedAsArchivesOnly) {
  support::TZipWriter foreign;
  foreign.Add("report.xml", "<?xml version=\"1.0\"?><report/>");
  foreign.Add("notes.txt", "x");
  Archive("foreign.zip", foreign);
  support::TZipWriter none;
  none.Add("readme.txt", "no xml");
  Archive("none.zip", none);
  support::TZipWriter kvzu;
  kvzu.Add("plot.xml", Doc(TSchema::Kvzu05, "66:41:0101001:25"));
  Archive("kvzu.zip", kvzu);
  EXPECT_EQ(Run(), "Обработано файлов: 3\r\nИз них файлов КВЗУ: 1");
  ASSERT_EQ(host_.records.size(), 2u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::NotRegistry);
  EXPECT_EQ(host_.records[1].action, TDocumentAction::Unpacked);
}

TEST_F(SortRunTest, ProgressRunsToTheArchiveCountAndBack) {
  PlainArchives({"1.zip", "2.zip", "sub/3.ZIP"});
  EXPECT_EQ(Run(), "Обработано файлов: 3");
  EXPECT_EQ(host_.events,
            (std::vector<std::string>{"max 3", "step", "messages", "step", "messages", "step", "messages", "reset"}));
  host_.deep = false;
  host_.events.clear();
  EXPECT_EQ(Run(), "Обработано файлов: 2");
}

TEST_F(SortRunTest, AStopRequestEndsTheRunAfterTheArchiveUnderWayWithoutASummary) {
  support::TZipWriter zip;
  zip.Add("a.xml", Doc(TSchema::Kpt09, "50:20:0010336"));
  Archive("1.zip", zip);
  Archive("2.zip", zip);
  Archive("3.zip", zip);
  host_.stop_after = 1;
  TSortRun run(host_);
  run.Unattended = true;
  run.SortButtonClick();
  EXPECT_TRUE(run.Stopped);
  EXPECT_EQ(run.N, 3);
  EXPECT_EQ(run.Done, 1);
  EXPECT_EQ(run.KptCount, 1);
  EXPECT_TRUE(host_.summaries.empty());
  EXPECT_TRUE(host_.errors.empty());
  EXPECT_EQ(host_.events.back(), "reset");

  host_.stop_after = -1;
  run.SortButtonClick();
  EXPECT_FALSE(run.Stopped);
  EXPECT_EQ(run.Done, 3);
  EXPECT_EQ(host_.summaries.size(), 1u);
}

TEST_F(SortRunTest, EmptyFolderTextsDoNothingAndMissingInputGivesZero) {
  host_.input.clear();
  Run();
  host_.input = Path("in");
  host_.output.clear();
  Run();
  EXPECT_TRUE(host_.summaries.empty());
  EXPECT_TRUE(host_.events.empty());
  host_.output = Path("out");
  host_.input = Path("missing");
  EXPECT_EQ(Run(), "Обработано файлов: 0");
}

TEST_F(SortRunTest, CopiesReplaceEarlierCopiesAndArchivesPlacedInsideTheInputAreNotMetAgain) {
  host_.unpack = false;
  host_.output = InPath("sorted");  // inside the input folder, searched deeply
  support::TZipWriter zip;
  zip.Add("k.xml", Doc(TSchema::Kpt08, "50:20:0010336"));
  Archive("k.zip", zip);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  const std::string copy = KptFolder("50\\20\\00 10 33 6") + "k.zip";
  EXPECT_EQ(Read(copy), Read(InPath("k.zip")));

  // The second run meets the first run's copy as an archive too; the copy onto
  // itself must not harm it.
  zip.Add("extra.txt", "changed");
  Archive("k.zip", zip);
  Run();
  EXPECT_EQ(Read(copy), Read(InPath("k.zip")));
}

TEST_F(SortRunTest, UnpackingReplacesExistingFilesWithoutAsking) {
  support::TZipWriter zip;
  zip.Add("k.xml", Doc(TSchema::Kpt07, "50:20:0010336"));
  zip.Add("docs/readme.txt", "fresh");
  Archive("k.zip", zip);
  const std::string folder = KptFolder("50\\20\\00 10 33 6");
  platform::ForceDirectories(folder + "docs");
  std::ofstream(platform::ToPath(folder + "docs" + D + "readme.txt")) << "stale";
  Run();
  EXPECT_EQ(Read(folder + "docs" + D + "readme.txt"), "fresh");
  EXPECT_EQ(host_.unpack_reads, 1);
}

TEST_F(SortRunTest, PlacementFailuresAreCountedInTheSummary) {
  support::TZipWriter zip;
  zip.Add("k.xml", Doc(TSchema::Kpt09, "50:20:0010336"));
  Archive("k.zip", zip);
  // The output folder is a file: no target folder can be made below it.
  std::ofstream(platform::ToPath(host_.output)) << "in the way";
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1\r\nНе удалось разместить файлов: 1");
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::PlacementFailed);
}

TEST_F(SortRunTest, WithoutTheEngineArchivesAreOnlyCounted) {
  support::TZipWriter zip;
  zip.Add("k.xml", Doc(TSchema::Kpt09, "50:20:0010336"));
  Archive("k.zip", zip);
  TSortRun run(host_);
  run.Unattended = true;
  // A folder without the library: on Windows a missing one would mean the program's own.
  run.EngineDirectory = Path("no-engine-here") + D;
  ASSERT_TRUE(platform::ForceDirectories(run.EngineDirectory));
  run.SortButtonClick();
  EXPECT_EQ(host_.summaries.at(0), "Обработано файлов: 1");
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::NotExtracted);
}

// Counts the component's dialogs instead of showing them.
class CountingInteraction : public zip::TZipInteraction {
 public:
  CountingInteraction() { zip::SetZipInteraction(this); }
  ~CountingInteraction() override { zip::SetZipInteraction(nullptr); }
  int ShowModal(zip::TZipMessageDialog&) override {
    ++dialogs;
    return zip::zmrOk;
  }
  int dialogs = 0;
};

TEST_F(SortRunTest, TheComponentsMessagesReachTheHostAndUnattendedRunsShowNoDialog) {
  support::SaveBytes(InPath("damaged.zip"), "not an archive at all");
  CountingInteraction ui;
  for (const bool unattended : {true, false}) {
    host_.messages.clear();
    TSortRun run(host_);
    run.Unattended = unattended;
    run.SortButtonClick();
    EXPECT_EQ(ui.dialogs > 0, !unattended);
    ASSERT_FALSE(host_.messages.empty());
    // The archive's path and a code that is not 0: an error, not a note.
    EXPECT_EQ(host_.messages[0].rfind(InPath("damaged.zip") + " ", 0), 0u) << host_.messages[0];
    EXPECT_NE(host_.messages[0].rfind(InPath("damaged.zip") + " 0 ", 0), 0u) << host_.messages[0];
  }
}

TEST_F(SortRunTest, TheEngineIsLoadedOnceForTheWholeRun) {
  PlainArchives({"1.zip", "2.zip", "3.zip"});
  EXPECT_EQ(Run(), "Обработано файлов: 3");
  // Each archive's component gives its reference back, the run keeps its own
  // until the last archive is done.
  EXPECT_EQ(host_.engine_loaded, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(zip::ZipEngineLoader().Loaded());
}

// Writes "Stage+" and "Stage-" for every start and end.
class StageLog : public TSortObserver {
 public:
  std::string log;
  void StageStarted(TSortStage stage) override { log += std::string(Name(stage)) + "+ "; }
  void StageEnded(TSortStage stage) override { log += std::string(Name(stage)) + "- "; }
  static const char* Name(TSortStage stage) {
    static const char* const kNames[kSortStageCount] = {"search",    "open", "engine", "extract",
                                                        "recognise", "read", "place"};
    return kNames[static_cast<int>(stage)];
  }
};

TEST_F(SortRunTest, TheObserverSeesEveryStageStartAndEnd) {
  support::TZipWriter zip;
  zip.Add("a.xml", Doc(TSchema::Kpt09, "50:20:0010336"));
  zip.Add("b.xml", "<?xml version=\"1.0\"?><report/>");
  Archive("one.zip", zip);
  StageLog stages;
  TSortRun run(host_);
  run.Unattended = true;
  run.Observer = &stages;
  host_.unpack = false;
  run.SortButtonClick();
  EXPECT_EQ(stages.log,
            "search+ search- engine+ engine- "
            "open+ open- engine+ engine- "
            "extract+ extract- recognise+ recognise- read+ read- place+ place- "
            "extract+ extract- recognise+ recognise- "
            "engine+ engine- ");
  // Observed or not, the run does the same.
  EXPECT_EQ(host_.summaries.at(0), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  ASSERT_EQ(host_.records.size(), 2u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::Copied);
  EXPECT_EQ(host_.records[1].action, TDocumentAction::NotRegistry);
}

TEST(SortRunNames, XmlEntryNames) {
  EXPECT_TRUE(TSortRun::IsXmlFileName("a.xml"));
  EXPECT_TRUE(TSortRun::IsXmlFileName("docs/A.XML"));
  EXPECT_TRUE(TSortRun::IsXmlFileName("Выписка.Xml"));
  EXPECT_FALSE(TSortRun::IsXmlFileName("a.xml.sig"));
  EXPECT_FALSE(TSortRun::IsXmlFileName("xml"));
  EXPECT_FALSE(TSortRun::IsXmlFileName("a.xml\\b"));
  EXPECT_FALSE(TSortRun::IsXmlFileName("a.b/xml"));
}
