#include "sorting/sort_run.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <set>

#include "platform/file_copy.h"
#include "platform/file_system.h"
#include "platform/temporary_files.h"
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
  void StepProgress() override {
    events.push_back("step");
    ++steps;
  }
  void ResetProgress() override { events.push_back("reset"); }
  void ProcessMessages() override { events.push_back("messages"); }
  void ShowSummary(const std::string& text, const std::string& caption) override {
    EXPECT_EQ(caption, "Сортировка завершена");
    summaries.push_back(text);
  }
  void ReportError(const std::string& message) override { errors.push_back(message); }
  void DocumentHandled(const TDocumentRecord& record) override { records.push_back(record); }
  void ArchiveStarted(int, int, const std::string& path) override {
    engine_loaded.push_back(zip::ZipEngineLoader().Loaded());
    started.push_back(path);
  }
  std::vector<std::string> started;
  std::vector<bool> engine_loaded;  // at the start of each archive
  void ArchiveMessage(const std::string& archive, int code, const std::string& text) override {
    messages.push_back(archive + " " + std::to_string(code) + " " + text);
  }
  std::vector<std::string> messages;
  // Archives to let finish before StopRequested answers true (-1: never).
  int stop_after = -1;
  int steps = 0;
  // Asked besides; true stops the run as well.
  std::function<bool()> stop_when;
  bool StopRequested() override { return (stop_after >= 0 && steps >= stop_after) || (stop_when && stop_when()); }
  std::vector<std::string> failed_archives;
  void ArchiveFailed(const std::string& path, const std::string& message) override {
    failed_archives.push_back(path + ": " + message);
  }
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
    run_ = std::make_unique<TSortRun>(host_);
    run_->Unattended = true;
    run_->OnConflict = policy_;
    run_->SortButtonClick();
    kpt_ = run_->KptCount;
    kvzu_ = run_->KvzuCount;
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
  TConflictPolicy policy_ = TConflictPolicy::Replace;
  std::unique_ptr<TSortRun> run_;  // of the last Run()
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
  // Only what was placed counts as a plan.
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nНе удалось разместить файлов: 1");
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::PlacementFailed);
  EXPECT_EQ(host_.records[0].reason, "папка не создана: часть пути не папка");
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

// --- placing safely -------------------------------------------------------------

namespace {

// A plan of territory with the sample values, bent by change.
std::string KptDoc(const std::function<void(testdocs::TDocument&)>& change, testdocs::TBuildOptions options = {}) {
  auto doc = testdocs::SampleDocument(TSchema::Kpt09);
  doc.certification->date = "2015-03-12";
  change(doc);
  return testdocs::BuildDocument(doc, options);
}

// Bytes that do not compress, so a stored entry of this size takes its blocks.
std::string Noise(size_t size) {
  std::string bytes(size, '\0');
  uint32_t x = 2463534242u;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return bytes;
}

class PlacementTest : public SortRunTest {
 protected:
  // Every file and folder below the scratch folder, relative to it.
  std::set<std::string> Tree() const {
    std::set<std::string> names;
    for (auto it = fs::recursive_directory_iterator(platform::ToPath(root_)); it != fs::recursive_directory_iterator();
         ++it)
      names.insert(platform::FromPath(it->path().lexically_relative(platform::ToPath(root_))));
    return names;
  }
  // Names below the scratch folder that are this program's temporary ones.
  std::vector<std::string> Temporaries() const {
    std::vector<std::string> found;
    for (const std::string& name : Tree())
      if (name.find(".vorlanex-") != std::string::npos) found.push_back(name);
    return found;
  }
  // The pair of the registry: the document and its signature.
  support::TZipWriter Pair(const std::string& document, const std::string& signature) {
    support::TZipWriter zip;
    zip.Add("doc.xml", document);
    zip.Add("doc.xml.sig", signature);
    return zip;
  }
  void SetUp() override {
    SortRunTest::SetUp();
    folder_ = KptFolder("50\\20\\00 10 33 6");
  }
  // Where the default rule files the sample plan.
  std::string folder_;
};

}  // namespace

TEST_F(PlacementTest, ValuesThatWouldLeadOutOfTheOutputFolderStayInside) {
  support::TZipWriter coord, date, number, drive;
  coord.Add("c.xml", KptDoc([](auto& d) { d.blocks[0].coord_systems[0].name = "../../../x"; }));
  date.Add("d.xml", KptDoc([](auto& d) { d.certification->date = "../../x"; }));
  number.Add("n.xml", KptDoc([](auto& d) { d.blocks[0].cadastral_number = "..:..:0101001"; }));
  drive.Add("w.xml", KptDoc([](auto& d) { d.blocks[0].coord_systems[0].name = "C:\\Windows"; }));
  Archive("c.zip", coord);
  Archive("d.zip", date);
  Archive("n.zip", number);
  Archive("w.zip", drive);
  for (const bool unpack : {true, false}) {
    SCOPED_TRACE(unpack ? "unpack" : "copy");
    fs::remove_all(platform::ToPath(host_.output));
    host_.records.clear();
    host_.unpack = unpack;
    EXPECT_EQ(Run(), "Обработано файлов: 4\r\nИз них файлов КПТ: 4");
    for (const auto& record : host_.records) {
      EXPECT_TRUE(IsPlaced(record.action)) << record.entry;
      EXPECT_TRUE(LiesInside(record.target_folder, host_.output)) << record.target_folder;
    }
    for (const std::string& name : Tree()) EXPECT_TRUE(name.rfind("in", 0) == 0 || name.rfind("out", 0) == 0) << name;
    EXPECT_TRUE(fs::exists(platform::ToPath(ToPlatformPath(Path("out") + "\\.._.._.._x\\50\\20\\00 10 33 6"))));
    EXPECT_TRUE(fs::exists(platform::ToPath(ToPlatformPath(Path("out") + "\\МСК-50, зона 2\\_\\_\\01 01 00 1"))));
    EXPECT_TRUE(fs::exists(platform::ToPath(ToPlatformPath(Path("out") + "\\C__Windows"))));
  }
}

TEST_F(PlacementTest, ARuleThatClimbsOutPlacesNothing) {
  support::TZipWriter zip;
  zip.Add("k.xml", KptDoc([](auto&) {}));
  Archive("k.zip", zip);
  host_.kpt_rule = "..\\..\\x";
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nНе удалось разместить файлов: 1");
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::OutsideOutput);
  EXPECT_EQ(Tree(), (std::set<std::string>{"in", ToPlatformPath("in\\k.zip")}));
}

TEST_F(PlacementTest, AnOutputFolderHoldingAPlaceholderStillTakesItsDocuments) {
  support::TZipWriter zip;
  zip.Add("k.xml", KptDoc([](auto&) {}));
  Archive("k.zip", zip);
  host_.output = Path("{Номер региона}");
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  EXPECT_TRUE(
      platform::FileExists(ToPlatformPath(Path("50") + "\\МСК-50, зона 2\\50\\20\\00 10 33 6\\2015-03-12\\k.xml")));
}

TEST_F(PlacementTest, ATruncatedDocumentIsNotPlaced) {
  testdocs::TBuildOptions cut;
  cut.truncate_at = 400;
  support::TZipWriter zip;
  zip.Add("k.xml", KptDoc([](auto&) {}, cut));
  Archive("k.zip", zip);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nНе удалось разместить файлов: 1");
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::NotRead);
  EXPECT_EQ(host_.records[0].reason, "k.xml: кадастровый номер не прочитан");
  EXPECT_EQ(run_->FailedCount, 1);
  EXPECT_FALSE(fs::exists(platform::ToPath(host_.output)));
}

TEST_F(PlacementTest, AFullDiskKeepsTheEarlierCopyAndLeavesNoPartialFile) {
  host_.unpack = false;
  support::TZipWriter zip;
  zip.Add("doc.xml", KptDoc([](auto&) {}));
  zip.Add("big.bin", Noise(3 << 20), support::TZipWriterMethod::zwmStored);
  Archive("e.zip", zip);
  Run();
  const std::string copy = folder_ + "e.zip";
  const std::string earlier = Read(copy);
  ASSERT_TRUE(earlier == Read(InPath("e.zip")));

  // A newer download of the archive meets a disk that fills up halfway.
  zip.Add("note.txt", "newer");
  Archive("e.zip", zip);
  platform::SetCopyWriteFault([](const std::string&, int64_t offset) {
    return offset > 0 ? std::make_error_code(std::errc::no_space_on_device) : std::error_code();
  });
  const std::string summary = Run();
  platform::SetCopyWriteFault({});
  EXPECT_EQ(summary, "Обработано файлов: 1\r\nНе удалось разместить файлов: 1");
  ASSERT_EQ(host_.records.size(), 2u);
  EXPECT_EQ(host_.records[1].action, TDocumentAction::PlacementFailed);
  EXPECT_EQ(host_.records[1].reason, "e.zip: нет места на диске");
  EXPECT_TRUE(Read(copy) == earlier) << "Read(copy)";
  EXPECT_TRUE(Temporaries().empty());
}

TEST_F(PlacementTest, AnUnpackFailingInItsSecondEntryLeavesTheEarlierFilesUntouched) {
  Archive("a.zip", Pair(KptDoc([](auto&) {}), "signature one"));
  Run();
  ASSERT_EQ(Read(folder_ + "doc.xml.sig"), "signature one");
  const std::string earlier = Read(folder_ + "doc.xml");

  // The next download of the same document is damaged in its signature.
  auto damaged = Pair(KptDoc([](auto& d) { d.certification->number = "50/201/16-999"; }), "signature two");
  damaged.Entries()[1].crc = 1234;
  Archive("a.zip", damaged);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nНе удалось разместить файлов: 1");
  ASSERT_EQ(host_.records.size(), 2u);
  EXPECT_EQ(host_.records[1].action, TDocumentAction::PlacementFailed);
  EXPECT_NE(host_.records[1].reason.find("doc.xml.sig"), std::string::npos) << host_.records[1].reason;
  EXPECT_TRUE(Read(folder_ + "doc.xml") == earlier) << "Read(folder_ + 'doc.xml')";
  EXPECT_EQ(Read(folder_ + "doc.xml.sig"), "signature one");
  EXPECT_TRUE(Temporaries().empty());
}

TEST_F(PlacementTest, AFileInTheWayOfAStoredFolderMovesNothing) {
  Archive("a.zip", Pair(KptDoc([](auto&) {}), "signature one"));
  Run();
  support::SaveBytes(folder_ + "docs", "a file where the archive keeps a folder");
  auto zip = Pair(KptDoc([](auto& d) { d.certification->number = "2"; }), "signature two");
  zip.Add("docs/readme.txt", "x");
  Archive("a.zip", zip);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nНе удалось разместить файлов: 1");
  EXPECT_EQ(host_.records.at(1).reason, ToPlatformPath("docs\\readme.txt") + ": часть пути не папка");
  EXPECT_EQ(Read(folder_ + "doc.xml.sig"), "signature one");
  EXPECT_TRUE(Temporaries().empty());
}

TEST_F(PlacementTest, EntriesRefusedForSafetyDoNotFailTheArchive) {
  auto zip = Pair(KptDoc([](auto&) {}), "signature");
  zip.Add("../escape.txt", "x");
  Archive("a.zip", zip);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  EXPECT_EQ(host_.records.at(0).action, TDocumentAction::Unpacked) << host_.records.at(0).reason;
  EXPECT_TRUE(platform::FileExists(folder_ + "doc.xml.sig"));
  EXPECT_FALSE(fs::exists(platform::ToPath(folder_ + ".." + D + "escape.txt")));
}

TEST_F(PlacementTest, AStopDuringALongUnpackLeavesNothingTemporary) {
  auto zip = Pair(KptDoc([](auto&) {}), "signature");
  zip.Add("big.bin", Noise(4 << 20), support::TZipWriterMethod::zwmStored);
  Archive("a.zip", zip);
  Archive("b.zip", zip);
  // Asked while the engine writes the big entry's temporary file.
  host_.stop_when = [this] {
    for (const std::string& name : Temporaries())
      if (name.find(".stage") != std::string::npos && name.size() > 4 && name.substr(name.size() - 4) == ".tmp")
        return true;
    return false;
  };
  Run();
  EXPECT_TRUE(run_->Stopped);
  EXPECT_EQ(run_->Done, 0);
  EXPECT_EQ(run_->KptCount, 0);
  EXPECT_TRUE(host_.summaries.empty());
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::Interrupted);
  EXPECT_TRUE(Temporaries().empty());
  EXPECT_FALSE(platform::FileExists(folder_ + "doc.xml"));
  // The cancel the run asked for is not the archive's error.
  for (const std::string& message : host_.messages) EXPECT_NE(message.find(" 0 "), std::string::npos) << message;
}

TEST_F(PlacementTest, AStopDuringALongCopyLeavesNothingTemporary) {
  host_.unpack = false;
  support::TZipWriter zip;
  zip.Add("doc.xml", KptDoc([](auto&) {}));
  zip.Add("big.bin", Noise(3 << 20), support::TZipWriterMethod::zwmStored);
  Archive("e.zip", zip);
  host_.stop_when = [this] { return !Temporaries().empty(); };
  Run();
  EXPECT_TRUE(run_->Stopped);
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::Interrupted);
  EXPECT_TRUE(Temporaries().empty());
  EXPECT_FALSE(platform::FileExists(folder_ + "e.zip"));
}

TEST_F(PlacementTest, StaleTemporariesInATargetFolderAreRemoved) {
  platform::ForceDirectories(folder_);
  const std::string stale = folder_ + ".vorlanex-4194999-7.tmp";
  support::SaveBytes(stale, "left by a run that died");
  platform::SetFileModificationTime(stale, 1000000000);
  Archive("a.zip", Pair(KptDoc([](auto&) {}), "signature"));
  Run();
  EXPECT_FALSE(fs::exists(platform::ToPath(stale)));
  EXPECT_TRUE(platform::FileExists(folder_ + "doc.xml"));
}

// The search keeps the order the file system lists, so these tests do not
// rely on which archive comes first.
TEST_F(PlacementTest, TwoArchivesMeetingInOnePlaceGetNumberedNamesAsAPair) {
  const std::string first = KptDoc([](auto& d) { d.certification->number = "1"; });
  const std::string second = KptDoc([](auto& d) { d.certification->number = "2"; });
  Archive("a/doc.zip", Pair(first, "sig 1"));
  Archive("b/doc.zip", Pair(second, "sig 2"));
  // The same archive downloaded twice is no conflict.
  Archive("c/doc.zip", Pair(first, "sig 1"));
  policy_ = TConflictPolicy::Rename;
  for (int pass = 0; pass < 2; ++pass) {
    // A second run replaces what the first placed, as always across runs, and
    // ends the same.
    SCOPED_TRACE(pass);
    host_.records.clear();
    EXPECT_EQ(Run(), "Обработано файлов: 3\r\nИз них файлов КПТ: 3\r\nКонфликтов размещения: 1");
    std::multiset<TDocumentAction> actions;
    for (const auto& record : host_.records) actions.insert(record.action);
    EXPECT_EQ(actions, (std::multiset<TDocumentAction>{TDocumentAction::Unpacked, TDocumentAction::Renamed,
                                                       TDocumentAction::Identical}));
    for (const auto& record : host_.records) {
      if (record.action == TDocumentAction::Renamed) {
        EXPECT_NE(record.reason.find("doc (2).xml"), std::string::npos);
      }
    }
    // Each pair stays a pair.
    const bool first_won = Read(folder_ + "doc.xml") == first;
    EXPECT_TRUE(Read(folder_ + "doc (2).xml") == (first_won ? second : first));
    EXPECT_EQ(Read(folder_ + "doc.xml.sig"), first_won ? "sig 1" : "sig 2");
    EXPECT_EQ(Read(folder_ + "doc (2).xml.sig"), first_won ? "sig 2" : "sig 1");
    EXPECT_FALSE(platform::FileExists(folder_ + "doc (3).xml"));
  }
}

TEST_F(PlacementTest, KeepLeavesTheFirstAndReplaceTheLastWithTheConflictCounted) {
  const std::string first = KptDoc([](auto& d) { d.certification->number = "1"; });
  const std::string second = KptDoc([](auto& d) { d.certification->number = "2"; });
  Archive("a/doc.zip", Pair(first, "sig 1"));
  Archive("b/doc.zip", Pair(second, "sig 2"));
  auto bytes_of = [&](const std::string& archive) {
    return archive == InPath(std::string("a") + D + "doc.zip") ? first : second;
  };

  policy_ = TConflictPolicy::Keep;
  EXPECT_EQ(Run(),
            "Обработано файлов: 2\r\nИз них файлов КПТ: 1\r\nНе удалось разместить файлов: 1\r\n"
            "Конфликтов размещения: 1");
  ASSERT_EQ(host_.records.size(), 2u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::Unpacked);
  EXPECT_EQ(host_.records[1].action, TDocumentAction::Kept);
  EXPECT_NE(host_.records[1].reason.find(host_.records[0].archive), std::string::npos) << host_.records[1].reason;
  EXPECT_TRUE(Read(folder_ + "doc.xml") == bytes_of(host_.records[0].archive));
  EXPECT_FALSE(platform::FileExists(folder_ + "doc (2).xml"));

  fs::remove_all(platform::ToPath(host_.output));
  host_.records.clear();
  policy_ = TConflictPolicy::Replace;
  EXPECT_EQ(Run(), "Обработано файлов: 2\r\nИз них файлов КПТ: 2\r\nКонфликтов размещения: 1");
  ASSERT_EQ(host_.records.size(), 2u);
  EXPECT_EQ(host_.records[1].action, TDocumentAction::Replaced);
  EXPECT_TRUE(Read(folder_ + "doc.xml") == bytes_of(host_.records[1].archive));
  EXPECT_FALSE(platform::FileExists(folder_ + "doc (2).xml"));
}

TEST_F(PlacementTest, CopiesMeetingInOnePlaceAreNumberedBeforeTheExtension) {
  host_.unpack = false;
  policy_ = TConflictPolicy::Rename;
  support::TZipWriter one, two;
  one.Add("doc.xml", KptDoc([](auto& d) { d.certification->number = "1"; }));
  two.Add("doc.xml", KptDoc([](auto& d) { d.certification->number = "2"; }));
  Archive("a/e.zip", one);
  Archive("b/e.zip", two);
  Archive("c/e.zip", two);
  EXPECT_EQ(Run(), "Обработано файлов: 3\r\nИз них файлов КПТ: 3\r\nКонфликтов размещения: 1");
  const std::set<std::string> copies = {Read(folder_ + "e.zip"), Read(folder_ + "e (2).zip")};
  EXPECT_TRUE(copies == (std::set<std::string>{Read(InPath("a/e.zip")), Read(InPath("b/e.zip"))}));
  std::multiset<TDocumentAction> actions;
  for (const auto& record : host_.records) actions.insert(record.action);
  EXPECT_EQ(actions, (std::multiset<TDocumentAction>{TDocumentAction::Copied, TDocumentAction::Renamed,
                                                     TDocumentAction::Identical}));
}

TEST_F(PlacementTest, TheOutputFolderInsideTheInputFolderIsNotSearched) {
  host_.unpack = false;
  host_.output = InPath("sorted");
  Archive("k.zip", Pair(KptDoc([](auto&) {}), "signature"));
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
    EXPECT_EQ(host_.records.size(), static_cast<size_t>(pass + 1));
  }
}

TEST_F(PlacementTest, AnArchiveReachedTwiceThroughALinkIsHandledOnce) {
  Archive("a.zip", Pair(KptDoc([](auto&) {}), "signature"));
  std::error_code error;
  fs::create_symlink(platform::ToPath(InPath("a.zip")), platform::ToPath(InPath("link.zip")), error);
  if (error) GTEST_SKIP() << "no symbolic links here";
  fs::create_directory_symlink(platform::ToPath(host_.input), platform::ToPath(Path("alias")), error);
  platform::ForceDirectories(InPath("sub"));
  fs::create_directory_symlink(platform::ToPath(Path("alias")), platform::ToPath(InPath("sub/again")), error);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  EXPECT_EQ(host_.records.size(), 1u);
}

TEST_F(PlacementTest, AnInputNamingOneArchiveSortsThatArchive) {
  Archive("a.zip", Pair(KptDoc([](auto&) {}), "signature"));
  PlainArchives({"b.zip"});
  host_.input = InPath("a.zip");
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  EXPECT_TRUE(platform::FileExists(folder_ + "doc.xml.sig"));
}

// Raises where a real run could run out of memory: while reading the first document.
class OutOfMemoryOnce : public TSortObserver {
 public:
  void StageStarted(TSortStage stage) override {
    if (stage == TSortStage::Read && !raised_) {
      raised_ = true;
      throw std::bad_alloc();
    }
  }
  void StageEnded(TSortStage) override {}

 private:
  bool raised_ = false;
};

TEST_F(PlacementTest, AnErrorOfOneArchiveIsReportedAgainstItAndTheRunGoesOn) {
  Archive("1.zip", Pair(KptDoc([](auto&) {}), "signature"));
  Archive("2.zip", Pair(KptDoc([](auto& d) { d.certification->date = "2016-01-01"; }), "signature"));
  Archive("3.zip", Pair(KptDoc([](auto& d) { d.certification->date = "2017-01-01"; }), "signature"));
  OutOfMemoryOnce memory;
  TSortRun run(host_);
  run.Unattended = true;
  run.Observer = &memory;
  // Once the first archive is done, one of the others vanishes.
  std::string vanished;
  host_.stop_when = [&] {
    if (host_.steps != 1 || !vanished.empty()) return false;
    for (const char* name : {"1.zip", "2.zip", "3.zip"})
      if (std::find(host_.started.begin(), host_.started.end(), InPath(name)) == host_.started.end())
        vanished = InPath(name);
    fs::remove(platform::ToPath(vanished));
    return false;
  };
  run.SortButtonClick();
  EXPECT_TRUE(host_.errors.empty());
  ASSERT_EQ(host_.failed_archives.size(), 2u);
  EXPECT_EQ(host_.failed_archives[0], host_.started.at(0) + ": недостаточно памяти");
  EXPECT_EQ(host_.failed_archives[1].rfind(vanished + ": ", 0), 0u) << host_.failed_archives[1];
  EXPECT_EQ(run.UnreadableCount, 2);
  EXPECT_EQ(run.KptCount, 1);
  EXPECT_EQ(run.Done, 3);
  EXPECT_EQ(run.FullSummaryText(), "Обработано файлов: 3\r\nИз них файлов КПТ: 1\r\nНе удалось прочитать архивов: 2");
  EXPECT_EQ(host_.summaries.at(0), "Обработано файлов: 3\r\nИз них файлов КПТ: 1");
}

TEST_F(PlacementTest, TheFullSummaryNamesEveryKindOfTrouble) {
  support::TZipWriter foreign;
  foreign.Add("r.xml", "<?xml version=\"1.0\"?><report/>");
  Archive("foreign.zip", foreign);
  support::SaveBytes(InPath("damaged.zip"), "not an archive");
  testdocs::TBuildOptions cut;
  cut.truncate_at = 400;
  support::TZipWriter truncated;
  truncated.Add("k.xml", KptDoc([](auto&) {}, cut));
  Archive("truncated.zip", truncated);
  Run();
  EXPECT_EQ(run_->FullSummaryText(),
            "Обработано файлов: 3\r\nНе удалось прочитать архивов: 1\r\nНе распознано документов: 1\r\n"
            "Не удалось разместить файлов: 1");
  EXPECT_EQ(run_->SummaryText(), "Обработано файлов: 3\r\nНе удалось разместить файлов: 1");
}

#ifndef _WIN32
// The system refuses to let a file grow past a limit, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    signal_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, signal_);
  }

 private:
  rlimit saved_{};
  void (*signal_)(int);
};

TEST_F(PlacementTest, AWriteTheSystemRefusesDuringTheUnpackNamesTheEntryAndTheReason) {
  auto zip = Pair(KptDoc([](auto&) {}), "signature");
  zip.Add("big.bin", Noise(2 << 20), support::TZipWriterMethod::zwmStored);
  Archive("a.zip", zip);
  {
    FileSizeLimit limit(1 << 20);
    EXPECT_EQ(Run(), "Обработано файлов: 1\r\nНе удалось разместить файлов: 1");
  }
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::PlacementFailed);
  const std::string& reason = host_.records[0].reason;
  EXPECT_NE(reason.find("big.bin"), std::string::npos) << reason;
  EXPECT_NE(reason.find("файл слишком велик"), std::string::npos) << reason;
  EXPECT_FALSE(platform::FileExists(folder_ + "doc.xml"));
  EXPECT_TRUE(Temporaries().empty());
}
#endif

// --- documents of today: later formats, archives inside archives, unsupported -----

namespace {

// A document of the schema with the given number (block or plot).
std::string TodayDoc(TSchema schema, const std::string& number) { return Doc(schema, number); }

std::string SignatureOf(const std::string& document) { return "signature of " + std::to_string(document.size()); }

// An archive that holds one document, or its signature alone.
std::string InnerArchive(const std::string& entry, const std::string& bytes) {
  support::TZipWriter zip;
  zip.Add(entry, bytes);
  return zip.Build();
}

class TodayTest : public PlacementTest {
 protected:
  // The registry's response: an archive per document beside one per signature.
  support::TZipWriter Response(const std::vector<std::pair<std::string, std::string>>& documents,
                               bool signatures_first = false) {
    support::TZipWriter zip;
    for (const auto& [name, bytes] : documents) {
      if (signatures_first) zip.Add(name + ".sig.zip", InnerArchive(name + ".sig", SignatureOf(bytes)));
      zip.Add(name + ".zip", InnerArchive(name, bytes));
      if (!signatures_first) zip.Add(name + ".sig.zip", InnerArchive(name + ".sig", SignatureOf(bytes)));
    }
    return zip;
  }
  std::string KvzuFolder(const std::string& parcel, const std::string& date) const {
    return ToPlatformPath(host_.output + "\\МСК-50, зона 2\\50\\20\\00 10 33 6\\" + parcel + "\\" + date + "\\");
  }
  // Entries of this process's own in the system's temporary folder.
  static std::vector<std::string> OwnTemporaries() {
    std::vector<std::string> found;
    const std::string mark = ".vorlanex-" + std::to_string(platform::CurrentProcessId()) + "-";
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
      if (platform::FromPath(entry.path().filename()).rfind(mark, 0) == 0)
        found.push_back(platform::FromPath(entry.path()));
    return found;
  }
};

}  // namespace

TEST_F(TodayTest, TheLaterFormatsAreFiledByTheRulesOfTheirKinds) {
  const std::pair<TSchema, const char*> documents[] = {
      {TSchema::Kpt10, "50:20:0010336"},
      {TSchema::KptTerritory, "50:20:0010337"},
      {TSchema::Kvzu07, "50:20:0010336:5"},
      {TSchema::LandProperty, "50:20:0010336:6"},
      {TSchema::LandBaseParams, "50:20:0010336:7"},
  };
  int i = 0;
  for (const auto& [schema, number] : documents) {
    support::TZipWriter zip;
    zip.Add("doc.xml", TodayDoc(schema, number));
    Archive(std::to_string(++i) + ".zip", zip);
  }
  EXPECT_EQ(Run(), "Обработано файлов: 5\r\nИз них файлов КПТ: 2\r\nИз них файлов КВЗУ: 3");
  // The version column names the format; the registration date-time gives its day.
  std::map<std::string, std::string> folders;
  for (const TDocumentRecord& record : host_.records) {
    EXPECT_EQ(record.action, TDocumentAction::Unpacked);
    folders[record.version] = record.target_folder;
    if (record.version == "extract_about_property_land") {
      EXPECT_EQ(record.registration_date, "2012-06-30");
    }
  }
  EXPECT_EQ(folders, (std::map<std::string, std::string>{
                         {"10", KptFolder("50\\20\\00 10 33 6")},
                         {"extract_cadastral_plan_territory", KptFolder("50\\20\\00 10 33 7")},
                         {"07", KvzuFolder("5", "2008-11-13")},
                         {"extract_about_property_land", KvzuFolder("6", "2012-06-30")},
                         {"extract_base_params_land", KvzuFolder("7", "2012-06-30")},
                     }));
}

TEST_F(TodayTest, ARegistryDocumentNotReadIsUnsupportedNotForeign) {
  support::TZipWriter zip;
  testdocs::TBuildOptions kpt12;
  kpt12.stylesheet_text =
      "<?xml-stylesheet type=\"text/xsl\" href=\"https://portal.rosreestr.ru/xsl/GKN/KPT/12/common.xsl\"?>";
  zip.Add("kpt12.xml", testdocs::BuildDocument(testdocs::SampleDocument(TSchema::Kpt10), kpt12));
  testdocs::TBuildOptions building;
  building.root_element = "extract_about_property_build";
  zip.Add("building.xml", testdocs::BuildDocument(testdocs::SampleDocument(TSchema::LandProperty), building));
  zip.Add("report.xml", "<?xml version=\"1.0\"?><report/>");
  Archive("a.zip", zip);
  EXPECT_EQ(Run(), "Обработано файлов: 1");
  ASSERT_EQ(host_.records.size(), 3u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::Unsupported);
  EXPECT_EQ(host_.records[0].reason, "KPT 12");
  EXPECT_EQ(host_.records[1].action, TDocumentAction::Unsupported);
  EXPECT_EQ(host_.records[1].reason, "extract_about_property_build");
  EXPECT_EQ(host_.records[2].action, TDocumentAction::NotRegistry);
  EXPECT_EQ(std::string(ActionName(TDocumentAction::Unsupported)), "не поддерживается");
  EXPECT_FALSE(IsPlaced(TDocumentAction::Unsupported));
  EXPECT_EQ(run_->UnsupportedCount, 2);
  EXPECT_EQ(run_->UnrecognisedCount, 1);
  EXPECT_EQ(run_->FullSummaryText(),
            "Обработано файлов: 1\r\nНе распознано документов: 1\r\nДокументов неподдерживаемых версий: 2");
  EXPECT_FALSE(fs::exists(platform::ToPath(host_.output)));
}

TEST_F(TodayTest, EachInnerArchiveIsUnpackedWithItsDocumentAndItsSignatureBeside) {
  for (const bool signatures_first : {false, true}) {
    SCOPED_TRACE(signatures_first ? "signatures first" : "documents first");
    const std::string kpt = TodayDoc(TSchema::KptTerritory, "50:20:0010336");
    const std::string kvzu = TodayDoc(TSchema::LandProperty, "50:20:0010336:101");
    Archive("response.zip",
            Response({{"50_20_0010336_kpt11.xml", kpt}, {"50_20_0010336_101.xml", kvzu}}, signatures_first));
    host_.records.clear();
    EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1\r\nИз них файлов КВЗУ: 1");
    const std::string kpt_folder = KptFolder("50\\20\\00 10 33 6");
    const std::string kvzu_folder = KvzuFolder("101", "2012-06-30");
    EXPECT_EQ(Read(kpt_folder + "50_20_0010336_kpt11.xml"), kpt);
    EXPECT_EQ(Read(kpt_folder + "50_20_0010336_kpt11.xml.sig"), SignatureOf(kpt));
    EXPECT_EQ(Read(kvzu_folder + "50_20_0010336_101.xml"), kvzu);
    EXPECT_EQ(Read(kvzu_folder + "50_20_0010336_101.xml.sig"), SignatureOf(kvzu));
    EXPECT_FALSE(platform::FileExists(kpt_folder + "50_20_0010336_101.xml"));

    // A row for each document and each signature, named "outer.zip › inner.zip".
    ASSERT_EQ(host_.records.size(), 4u);
    std::set<std::string> rows;
    for (const TDocumentRecord& record : host_.records) {
      EXPECT_TRUE(IsPlaced(record.action)) << record.archive << " " << ActionName(record.action);
      rows.insert(record.archive + " | " + record.entry + " | " + record.target_folder);
    }
    const std::string outer = InPath("response.zip") + " › ";
    EXPECT_EQ(rows, (std::set<std::string>{
                        outer + "50_20_0010336_kpt11.xml.zip | 50_20_0010336_kpt11.xml | " + kpt_folder,
                        outer + "50_20_0010336_kpt11.xml.sig.zip | 50_20_0010336_kpt11.xml.sig | " + kpt_folder,
                        outer + "50_20_0010336_101.xml.zip | 50_20_0010336_101.xml | " + kvzu_folder,
                        outer + "50_20_0010336_101.xml.sig.zip | 50_20_0010336_101.xml.sig | " + kvzu_folder,
                    }));
    EXPECT_TRUE(Temporaries().empty());
    EXPECT_TRUE(OwnTemporaries().empty());
  }
}

TEST_F(TodayTest, CopiedInnerArchivesKeepTheirEntryNames) {
  host_.unpack = false;
  const std::string kpt = TodayDoc(TSchema::Kpt10, "50:20:0010336");
  support::TZipWriter outer;
  outer.Add("Ответ/plan.xml.zip", InnerArchive("plan.xml", kpt)).flags |= support::kFlagUtf8Name;
  outer.Add("Ответ/plan.xml.sig.zip", InnerArchive("plan.xml.sig", "sig")).flags |= support::kFlagUtf8Name;
  Archive("outer.zip", outer);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  const std::string folder = KptFolder("50\\20\\00 10 33 6");
  EXPECT_EQ(Read(folder + "plan.xml.zip"), InnerArchive("plan.xml", kpt));
  EXPECT_EQ(Read(folder + "plan.xml.sig.zip"), InnerArchive("plan.xml.sig", "sig"));
  EXPECT_FALSE(platform::FileExists(folder + "outer.zip"));
  ASSERT_EQ(host_.records.size(), 2u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::Copied);
  // The component names entries with the platform's delimiter.
  EXPECT_EQ(host_.records[0].archive, InPath("outer.zip") + " › Ответ" + D + "plan.xml.zip");
  EXPECT_EQ(host_.records[1].action, TDocumentAction::Copied);
  EXPECT_TRUE(OwnTemporaries().empty());
}

TEST_F(TodayTest, TwoLevelsBelowTheFoundArchiveAreOpenedAndNoMore) {
  const std::string second = InnerArchive("second.xml", TodayDoc(TSchema::Kpt09, "50:20:0010336"));
  const std::string third = InnerArchive("third.xml", TodayDoc(TSchema::Kpt09, "50:20:0010337"));
  support::TZipWriter level1;
  level1.Add("level2.zip", second);
  support::TZipWriter deep;
  deep.Add("level3.zip", third);
  level1.Add("deep.zip", deep.Build());
  support::TZipWriter outer;
  outer.Add("level1.zip", level1.Build());
  Archive("outer.zip", outer);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].archive, InPath("outer.zip") + " › level1.zip › level2.zip");
  EXPECT_EQ(host_.records[0].entry, "second.xml");
  // level3.zip, three levels down, is a file of deep.zip and nothing more.
  EXPECT_FALSE(fs::exists(platform::ToPath(KptFolder("50\\20\\00 10 33 7"))));
}

TEST_F(TodayTest, ADamagedInnerArchiveIsReportedAndItsSiblingsArePlaced) {
  support::TZipWriter outer;
  outer.Add("broken.zip", "not an archive at all");
  outer.Add("plan.xml.zip", InnerArchive("plan.xml", TodayDoc(TSchema::Kpt09, "50:20:0010336")));
  outer.Add("plot.xml", TodayDoc(TSchema::Kvzu06, "50:20:0010336:101"));
  Archive("outer.zip", outer);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1\r\nИз них файлов КВЗУ: 1");
  EXPECT_EQ(run_->UnreadableCount, 1);
  ASSERT_EQ(host_.failed_archives.size(), 1u);
  EXPECT_EQ(host_.failed_archives[0].rfind(InPath("outer.zip") + " › broken.zip: ", 0), 0u) << host_.failed_archives[0];
  // A document directly in the outer archive places the outer archive, as always.
  const std::string kvzu_folder = KvzuFolder("101", "2008-11-13");
  EXPECT_TRUE(platform::FileExists(kvzu_folder + "plot.xml"));
  EXPECT_TRUE(platform::FileExists(kvzu_folder + "plan.xml.zip"));
}

TEST_F(TodayTest, ASignatureWhoseDocumentIsNotPlacedStaysOut) {
  support::TZipWriter outer;
  outer.Add("report.xml.zip", InnerArchive("report.xml", "<?xml version=\"1.0\"?><report/>"));
  outer.Add("report.xml.sig.zip", InnerArchive("report.xml.sig", "sig"));
  outer.Add("other.xml.sig.zip", InnerArchive("other.xml.sig", "sig"));
  Archive("outer.zip", outer);
  EXPECT_EQ(Run(), "Обработано файлов: 1");
  ASSERT_EQ(host_.records.size(), 1u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::NotRegistry);
  EXPECT_FALSE(fs::exists(platform::ToPath(host_.output)));
}

TEST_F(TodayTest, ADryRunOfAResponseCreatesNothing) {
  const std::string kpt = TodayDoc(TSchema::Kpt10, "50:20:0010336");
  Archive("response.zip", Response({{"plan.xml", kpt}}));
  run_ = std::make_unique<TSortRun>(host_);
  run_->Unattended = true;
  run_->DryRun = true;
  run_->SortButtonClick();
  ASSERT_EQ(host_.records.size(), 2u);
  EXPECT_EQ(host_.records[0].action, TDocumentAction::WouldPlace);
  EXPECT_EQ(host_.records[1].action, TDocumentAction::WouldPlace);
  EXPECT_EQ(host_.records[1].entry, "plan.xml.sig");
  EXPECT_EQ(host_.records[1].target_folder, KptFolder("50\\20\\00 10 33 6"));
  EXPECT_FALSE(fs::exists(platform::ToPath(host_.output)));
  EXPECT_TRUE(OwnTemporaries().empty());
}

TEST_F(TodayTest, ThePlacedNameOfAnInnerArchiveIsOneSafeName) {
  host_.unpack = false;
  const std::string kpt = TodayDoc(TSchema::Kpt09, "50:20:0010336");
  support::TZipWriter outer;
  outer.Add("..\\..\\a<b>.zip", InnerArchive("plan.xml", kpt));
  Archive("outer.zip", outer);
  EXPECT_EQ(Run(), "Обработано файлов: 1\r\nИз них файлов КПТ: 1");
  const std::string folder = KptFolder("50\\20\\00 10 33 6");
  EXPECT_EQ(Read(folder + "a_b_.zip"), InnerArchive("plan.xml", kpt));
  EXPECT_EQ(Tree().count("out"), 1u);
}

TEST(SortRunNames, ZipEntryNames) {
  EXPECT_TRUE(TSortRun::IsZipFileName("a.zip"));
  EXPECT_TRUE(TSortRun::IsZipFileName("docs/A.ZIP"));
  EXPECT_TRUE(TSortRun::IsZipFileName("Выписка.xml.Zip"));
  EXPECT_FALSE(TSortRun::IsZipFileName("a.zip.sig"));
  EXPECT_FALSE(TSortRun::IsZipFileName("zip"));
  EXPECT_FALSE(TSortRun::IsZipFileName("a.zip\\b"));
}
