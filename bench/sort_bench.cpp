// The sort run end to end, against the work it cannot avoid, in one run:
//   (a) 2000 archives, each an extract-sized document of about 10 KB with its
//       ".sig" beside it (the seven schema versions in turn), sorted in copy
//       mode and in unpack mode; the run's time is split by an observer into
//       listing (search, opening the directories), engine load, extraction to
//       memory, recognition, reading and placing. Beside it: zlib inflate of the
//       same XML entries, one TXMLReader pass over the documents, and "cp" or
//       Debian's "unzip -o -q" of the same archives in one command each.
//   (b) one archive holding a 200 MB plan of territory (10^6-byte MB), sorted
//       in copy and in unpack mode, against inflate of its entry (zlib, and
//       libdeflate as the engine uses it), one TXMLReader pass over it and
//       "cp" or "unzip" of the archive.
//   (c) the archives of (a) sorted with TSortRun::Jobs (the command line's
//       --jobs) 1, 2 and as many as the computer has cores, in both modes,
//       against the same split of work that needs only the processor
//       (inflate and a TXMLReader pass) over as many threads.
// Every figure is wall time (the peers are child processes), the median of
// seven repetitions; each sort and each peer writes into an emptied folder.
//
// Peak memory of (b) per process: `sort_bench --probe=plan-copy` (or
// plan-unpack) sorts the plan archive once and prints its own peak resident
// size beside the goal; run it under /usr/bin/time -v as the other probes.
// `--probe=none` gives the program's own footprint.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef VORLANEX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "common/stream.h"
#include "median_reporter.h"
#include "platform/file_system.h"
#include "sorting/output_rules.h"
#include "sorting/sort_run.h"
#include "support/document_builder.h"
#include "support/zip_writer.h"
#include "xml/xml_reader.h"
#include "zip/zip_archive.h"
#include "zipformat/zip_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kMB = 1000 * 1000;
constexpr int kArchiveCount = 2000;
// The builder adds parcels up to this size and writes the rest of the document
// behind them: about 10 KB in all.
constexpr size_t kExtractTarget = 7000;
constexpr size_t kPlanSize = 200 * kMB;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

const std::string& Folder() {
  static const std::string folder = [] {
    const fs::path p = fs::temp_directory_path() / "vorlanex_sort_bench";
    fs::create_directories(p);
    return platform::FromPath(p);
  }();
  return folder;
}

// A folder for one run's output, new to this program run. Nothing is deleted
// before the program ends: on a file system that keeps no journal, ext4 makes
// every new file or folder step over the inodes freed in the last half minute,
// so emptying a folder between repetitions slows down the repetition after it
// (the sort creates a few folders per archive, more than any peer).
std::string NewFolder(const std::string& kind) {
  static int counter = 0;
  const std::string folder = Folder() + "/out/" + kind + "-" + std::to_string(++counter);
  fs::create_directories(folder);
  return folder;
}

struct TOutputCleanup {
  ~TOutputCleanup() {
    std::error_code ec;
    fs::remove_all(Folder() + "/out", ec);
  }
};

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) Fail("failed: " + command);
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// A detached signature's size and look: base64 lines.
std::string Signature(uint32_t seed) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text = "-----BEGIN PKCS7-----\r\n";
  for (int line = 0; line < 36; ++line) {
    for (int i = 0; i < 64; ++i) {
      seed = seed * 1103515245u + 12345u;
      text += kAlphabet[(seed >> 16) & 63];
    }
    text += "\r\n";
  }
  return text + "-----END PKCS7-----\r\n";
}

// The deflate data of the archive's first entry.
std::string FirstEntryData(const std::string& archive) {
  const size_t name_length = zip::GetLe16(archive, 26), extra_length = zip::GetLe16(archive, 28);
  return archive.substr(30 + name_length + extra_length, zip::GetLe32(archive, 18));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --- the data -------------------------------------------------------------------------

// Writes the file unless it holds these bytes already (see NewFolder).
void SaveIfChanged(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  if (fs::file_size(path, ec) == bytes.size() && !ec && ReadFile(path) == bytes) return;
  support::SaveBytes(path, bytes);
}

// (a): the archives in one folder, and their XML entries for the peers.
struct TSmallSet {
  std::string in = Folder() + "/small-in";
  std::vector<std::string> deflated;  // each XML entry's deflate data
  std::vector<std::string> documents;
  size_t xml_bytes = 0;
  size_t archive_bytes = 0;
  size_t largest = 0;
  size_t smallest = SIZE_MAX;

  TSmallSet() {
    fs::create_directories(in);
    for (int i = 0; i < kArchiveCount; ++i) {
      const testdocs::TSchema schema =
          testdocs::kEarlierSchemas[static_cast<size_t>(i) % testdocs::kEarlierSchemas.size()];
      testdocs::TDocument doc = testdocs::SampleDocument(schema);
      // Ten documents a block, every one in a folder of its own.
      char block[32];
      std::snprintf(block, sizeof block, "50:20:%07d", 10000 + i / 10);
      if (testdocs::KindOf(schema) == testdocs::TDocumentKind::Kpt) {
        doc.blocks[0].cadastral_number = block;
        doc.certification->date = "2016-05-" + std::to_string(10 + i % 10);
      } else {
        doc.parcels[0].cadastral_number = std::string(block) + ":" + std::to_string(i);
      }
      testdocs::TBuildOptions options;
      options.target_size = kExtractTarget;
      std::string xml = testdocs::BuildDocument(doc, options);
      char name[32];
      std::snprintf(name, sizeof name, "doc_%04d", i);
      support::TZipWriter writer;
      writer.Add(std::string(name) + ".xml", xml);
      writer.Add(std::string(name) + ".xml.sig", Signature(static_cast<uint32_t>(i)));
      const std::string bytes = writer.Build();
      SaveIfChanged(in + "/" + name + ".zip", bytes);
      deflated.push_back(FirstEntryData(bytes));
      xml_bytes += xml.size();
      archive_bytes += bytes.size();
      largest = std::max(largest, xml.size());
      smallest = std::min(smallest, xml.size());
      documents.push_back(std::move(xml));
    }
  }
};

TSmallSet& Small() {
  static TSmallSet set;
  return set;
}

const std::string& PlanArchivePath() {
  static const std::string path = Folder() + "/plan-in/plan.zip";
  return path;
}

// Writes the plan archive unless it is there from an earlier run.
void MakePlanArchive() {
  if (fs::exists(PlanArchivePath())) return;
  fs::create_directories(fs::path(PlanArchivePath()).parent_path());
  testdocs::TDocument doc = testdocs::SampleDocument(testdocs::TSchema::Kpt09);
  testdocs::TBuildOptions options;
  options.target_size = kPlanSize;
  support::TZipWriter writer;
  writer.Add("plan.xml", testdocs::BuildDocument(doc, options));
  writer.Add("plan.xml.sig", Signature(7));
  const std::string temporary = PlanArchivePath() + ".part";
  writer.Save(temporary);
  fs::rename(temporary, PlanArchivePath());
}

bool Inflate(std::string& deflated, uint8_t* out, size_t size) {
  z_stream z{};
  inflateInit2(&z, -MAX_WBITS);
  z.next_in = reinterpret_cast<Bytef*>(deflated.data());
  z.avail_in = static_cast<uInt>(deflated.size());
  z.next_out = out;
  z.avail_out = static_cast<uInt>(size);
  const int result = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  return result == Z_STREAM_END && z.total_out == size;
}

// (b): the archive and, for the peers, its entry packed and unpacked. The
// peers work in memory laid out as the run's extraction lays it out (a
// memory stream), already touched.
struct TPlanSet {
  std::string deflated;
  common::TMemoryStream xml;
  size_t size = 0;

  TPlanSet() {
    MakePlanArchive();
    const std::string bytes = ReadFile(PlanArchivePath());
    deflated = FirstEntryData(bytes);
    size = zip::GetLe32(bytes, 22);
    xml.SetSize(static_cast<int64_t>(size));
    if (!Inflate(deflated, xml.Memory(), size)) Fail("the plan archive is damaged; remove " + PlanArchivePath());
  }
};

TPlanSet& Plan() {
  static TPlanSet set;
  return set;
}

// --- the run ---------------------------------------------------------------------------

// Stands in for the window: the folders and the mode, nothing shown.
class TBenchHost : public sorting::TSortHost {
 public:
  TBenchHost(std::string input, std::string output, bool unpack)
      : input_(std::move(input)), output_(std::move(output)), unpack_(unpack) {}

  std::string InputFolder() override { return input_; }
  std::string OutputFolder() override { return output_; }
  bool DeepSearch() override { return true; }
  bool Unpack() override { return unpack_; }
  std::string KptRule() override { return sorting::kDefaultKptRule; }
  std::string KvzuRule() override { return sorting::kDefaultKvzuRule; }
  void SetProgressMax(int) override {}
  void StepProgress() override {}
  void ResetProgress() override {}
  void ProcessMessages() override {}
  void ShowSummary(const std::string& text, const std::string&) override { summary = text; }
  void ReportError(const std::string& message) override { error = message; }
  void ArchiveFailed(const std::string& path, const std::string& message) override { error = path + ": " + message; }

  std::string summary, error;

 private:
  std::string input_, output_;
  bool unpack_;
};

// Adds up the wall time of each stage.
class TStageClock : public sorting::TSortObserver {
 public:
  void StageStarted(sorting::TSortStage stage) override { started_[Index(stage)] = Clock::now(); }
  void StageEnded(sorting::TSortStage stage) override { total_[Index(stage)] += Clock::now() - started_[Index(stage)]; }
  double Ms(sorting::TSortStage stage) const { return Milliseconds(total_[Index(stage)]); }

 private:
  static size_t Index(sorting::TSortStage stage) { return static_cast<size_t>(stage); }
  std::array<Clock::time_point, sorting::kSortStageCount> started_{};
  std::array<Clock::duration, sorting::kSortStageCount> total_{};
};

struct TSortResult {
  double ms = 0;
  TStageClock stages;
};

// One run into a new output folder; a wrong
// count ends the program, not just the figure.
TSortResult SortOnce(const std::string& input, bool unpack, int archives, int documents, bool observe = true,
                     int jobs = 1) {
  const std::string output = NewFolder(unpack ? "unpack" : "copy");
  TBenchHost host(input, output, unpack);
  sorting::TSortRun run(host);
  run.Unattended = true;
  run.Jobs = jobs;
  TSortResult result;
  if (observe) run.Observer = &result.stages;
  const Clock::time_point start = Clock::now();
  run.SortButtonClick();
  result.ms = Milliseconds(Clock::now() - start);
  if (!host.error.empty()) Fail("sort: " + host.error);
  if (run.N != archives || run.KptCount + run.KvzuCount != documents || run.FailedCount != 0)
    Fail("sort: unexpected result:\n" + host.summary);
  return result;
}

void Report(benchmark::State& state, double ms, size_t bytes) {
  state.SetIterationTime(ms / 1000);
  state.counters["ms"] = ms;
  // One iteration a repetition: the bytes of this one.
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void ReportStages(benchmark::State& state, const TSortResult& r) {
  using sorting::TSortStage;
  static constexpr std::array<std::pair<TSortStage, const char*>, sorting::kSortStageCount> kNames = {{
      {TSortStage::Search, "search"},
      {TSortStage::Open, "open"},
      {TSortStage::Engine, "engine"},
      {TSortStage::Extract, "extract"},
      {TSortStage::Recognise, "recognise"},
      {TSortStage::Read, "read"},
      {TSortStage::Place, "place"},
  }};
  double sum = 0;
  for (const auto& [stage, name] : kNames) {
    state.counters[name] = r.stages.Ms(stage);
    sum += r.stages.Ms(stage);
  }
  state.counters["other"] = r.ms - sum;
}

// --- (a) -------------------------------------------------------------------------------

// Archives of one document each; bytes: their XML.
void Sorts(benchmark::State& state, const std::string& input, bool unpack, int archives, size_t bytes) {
  SortOnce(input, unpack, archives, archives);  // warms the caches
  for (auto _ : state) {
    const TSortResult r = SortOnce(input, unpack, archives, archives);
    Report(state, r.ms, bytes);
    ReportStages(state, r);
  }
}

// A peer's command line before the output folder, and what follows it.
void Tool(benchmark::State& state, const std::string& kind, const std::string& command, const std::string& tail,
          size_t bytes) {
  for (auto _ : state) {
    const std::string line = command + Quoted(NewFolder(kind)) + tail;
    const Clock::time_point start = Clock::now();
    Shell(line);
    Report(state, Milliseconds(Clock::now() - start), bytes);
  }
}

void BM_SmallSortCopy(benchmark::State& state) { Sorts(state, Small().in, false, kArchiveCount, Small().xml_bytes); }
void BM_SmallSortUnpack(benchmark::State& state) { Sorts(state, Small().in, true, kArchiveCount, Small().xml_bytes); }

// The same run without an observer, for what the observer costs.
void BM_SmallSortCopyUnobserved(benchmark::State& state) {
  TSmallSet& set = Small();
  for (auto _ : state) Report(state, SortOnce(set.in, false, kArchiveCount, kArchiveCount, false).ms, set.xml_bytes);
}

// --- (c) -------------------------------------------------------------------------------

// The cores of this computer: the default of --jobs.
int Cores() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

// 1, 2 and every core (when that is more).
std::vector<int> JobCounts() {
  std::vector<int> counts = {1, 2};
  if (Cores() > 2) counts.push_back(Cores());
  return counts;
}

// One repetition measures every count in turn, starting with another count
// each time, so that the file system's speed, which drifts a lot on a shared
// machine, weighs on every count alike; the counters are each count's time
// ("1", "2", ...) and its ratio to one ("x2", ...), the repetition's time that
// of one. measure(n) is one measurement with n.
template <typename Measure>
void ByCount(benchmark::State& state, size_t bytes, Measure measure) {
  const std::vector<int> counts = JobCounts();
  size_t turn = 0;
  for (auto _ : state) {
    std::vector<double> ms(counts.size());
    for (size_t k = 0; k < counts.size(); ++k) {
      const size_t i = (k + turn) % counts.size();
      ms[i] = measure(counts[i]);
    }
    ++turn;
    Report(state, ms[0], bytes);
    for (size_t i = 0; i < counts.size(); ++i) {
      state.counters[std::to_string(counts[i])] = ms[i];
      std::string ratio = "x";  // (not "x" + ...: GCC 12 warns wrongly of an overlap there)
      ratio += std::to_string(counts[i]);
      if (i > 0) state.counters[ratio] = ms[0] / ms[i];
    }
  }
}

// The set of (a) with 1, 2, ... jobs, no observer (a run of several jobs has none).
void SortsWithJobs(benchmark::State& state, bool unpack) {
  TSmallSet& set = Small();
  SortOnce(set.in, unpack, kArchiveCount, kArchiveCount, false, 2);  // warms the caches
  ByCount(state, set.xml_bytes,
          [&](int jobs) { return SortOnce(set.in, unpack, kArchiveCount, kArchiveCount, false, jobs).ms; });
}

void BM_SmallSortCopyJobs(benchmark::State& state) { SortsWithJobs(state, false); }
void BM_SmallSortUnpackJobs(benchmark::State& state) { SortsWithJobs(state, true); }

// The peer of (c): work that needs nothing but the processor (inflate and one
// TXMLReader pass over every document of (a)) split over 1, 2, ... threads.
// What it gains from more threads is what the machine lends to parallel work
// during this run, the ceiling of --jobs.
void BM_SmallCpuThreads(benchmark::State& state) {
  TSmallSet& set = Small();
  ByCount(state, set.xml_bytes, [&set](int count) {
    const size_t threads = static_cast<size_t>(count);
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; ++t) {
      pool.emplace_back([&set, t, threads] {
        std::vector<uint8_t> buffer(set.largest);
        xml::TXMLReader reader;
        for (size_t i = t; i < set.documents.size(); i += threads) {
          if (!Inflate(set.deflated[i], buffer.data(), set.documents[i].size())) Fail("inflate failed");
          common::TVirtualMemoryStream stream(buffer.data(), static_cast<int64_t>(set.documents[i].size()));
          reader.InitStream(stream);
          const xml::TXMLReaderToken* token;
          while (reader.ReadNextToken(token)) benchmark::DoNotOptimize(token);
          if (reader.ParseError()) Fail("parse error");
        }
      });
    }
    for (std::thread& thread : pool) thread.join();
    return Milliseconds(Clock::now() - start);
  });
}

// Every XML entry inflated into a buffer that is there already; no CRC.
void BM_SmallInflate(benchmark::State& state) {
  TSmallSet& set = Small();
  std::vector<uint8_t> buffer(set.largest);
  z_stream z{};
  inflateInit2(&z, -MAX_WBITS);
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (size_t i = 0; i < set.deflated.size(); ++i) {
      inflateReset(&z);
      z.next_in = reinterpret_cast<Bytef*>(set.deflated[i].data());
      z.avail_in = static_cast<uInt>(set.deflated[i].size());
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != set.documents[i].size()) Fail("inflate failed");
      benchmark::DoNotOptimize(buffer.data());
    }
    Report(state, Milliseconds(Clock::now() - start), set.xml_bytes);
  }
  inflateEnd(&z);
}

// One TXMLReader pass over every document, from memory.
void BM_SmallReader(benchmark::State& state) {
  TSmallSet& set = Small();
  xml::TXMLReader reader;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (const std::string& doc : set.documents) {
      common::TVirtualMemoryStream stream(doc.data(), static_cast<int64_t>(doc.size()));
      reader.InitStream(stream);
      const xml::TXMLReaderToken* token;
      while (reader.ReadNextToken(token)) benchmark::DoNotOptimize(token);
      if (reader.ParseError()) Fail("parse error");
    }
    Report(state, Milliseconds(Clock::now() - start), set.xml_bytes);
  }
}

void BM_SmallCp(benchmark::State& state) {
  Tool(state, "cp", "cp -f " + Quoted(Small().in) + "/*.zip ", "", Small().xml_bytes);
}
// unzip takes the archives by a wildcard and ends with a line of its own.
void BM_SmallUnzip(benchmark::State& state) {
  Tool(state, "unzip", "unzip -o -q " + Quoted(Small().in + "/*.zip") + " -d ", " >/dev/null", Small().xml_bytes);
}

// --- (b) -------------------------------------------------------------------------------

std::string PlanFolder() { return platform::FromPath(fs::path(PlanArchivePath()).parent_path()); }

void BM_PlanSortCopy(benchmark::State& state) { Sorts(state, PlanFolder(), false, 1, Plan().size); }
void BM_PlanSortUnpack(benchmark::State& state) { Sorts(state, PlanFolder(), true, 1, Plan().size); }

void BM_PlanInflate(benchmark::State& state) {
  TPlanSet& plan = Plan();
  common::TMemoryStream buffer;
  buffer.SetSize(static_cast<int64_t>(plan.size));
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    if (!Inflate(plan.deflated, buffer.Memory(), plan.size)) Fail("inflate failed");
    benchmark::DoNotOptimize(buffer.Memory());
    Report(state, Milliseconds(Clock::now() - start), plan.size);
  }
}

#ifdef VORLANEX_HAVE_LIBDEFLATE
// The engine's one-call inflate of a whole entry into memory, on the same data.
void BM_PlanInflateLibdeflate(benchmark::State& state) {
  TPlanSet& plan = Plan();
  common::TMemoryStream buffer;
  buffer.SetSize(static_cast<int64_t>(plan.size));
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    size_t produced = 0;
    if (libdeflate_deflate_decompress(decompressor, plan.deflated.data(), plan.deflated.size(), buffer.Memory(),
                                      plan.size, &produced) != LIBDEFLATE_SUCCESS ||
        produced != plan.size)
      Fail("libdeflate inflate failed");
    benchmark::DoNotOptimize(buffer.Memory());
    Report(state, Milliseconds(Clock::now() - start), plan.size);
  }
  libdeflate_free_decompressor(decompressor);
}
#endif

void BM_PlanReader(benchmark::State& state) {
  TPlanSet& plan = Plan();
  xml::TXMLReader reader;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    common::TVirtualMemoryStream stream(plan.xml.Memory(), static_cast<int64_t>(plan.size));
    reader.InitStream(stream);
    const xml::TXMLReaderToken* token;
    while (reader.ReadNextToken(token)) benchmark::DoNotOptimize(token);
    if (reader.ParseError()) Fail("parse error");
    Report(state, Milliseconds(Clock::now() - start), plan.size);
  }
}

void BM_PlanCp(benchmark::State& state) {
  Tool(state, "cp", "cp -f " + Quoted(PlanArchivePath()) + " ", "", Plan().size);
}
void BM_PlanUnzip(benchmark::State& state) {
  Tool(state, "unzip", "unzip -o -q " + Quoted(PlanArchivePath()) + " -d ", "", Plan().size);
}

void Settings(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(7)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_SmallSortCopy)->Apply(Settings);
BENCHMARK(BM_SmallSortCopyUnobserved)->Apply(Settings);
BENCHMARK(BM_SmallSortUnpack)->Apply(Settings);
BENCHMARK(BM_SmallInflate)->Apply(Settings);
BENCHMARK(BM_SmallReader)->Apply(Settings);
BENCHMARK(BM_SmallCp)->Apply(Settings);
BENCHMARK(BM_SmallUnzip)->Apply(Settings);
// Eleven repetitions: the file system's speed drifts more than elsewhere here.
BENCHMARK(BM_SmallSortCopyJobs)->Apply(Settings)->Repetitions(11);
BENCHMARK(BM_SmallSortUnpackJobs)->Apply(Settings)->Repetitions(11);
BENCHMARK(BM_SmallCpuThreads)->Apply(Settings)->Repetitions(11);
BENCHMARK(BM_PlanSortCopy)->Apply(Settings);
BENCHMARK(BM_PlanSortUnpack)->Apply(Settings);
BENCHMARK(BM_PlanInflate)->Apply(Settings);
#ifdef VORLANEX_HAVE_LIBDEFLATE
BENCHMARK(BM_PlanInflateLibdeflate)->Apply(Settings);
#endif
BENCHMARK(BM_PlanReader)->Apply(Settings);
BENCHMARK(BM_PlanCp)->Apply(Settings);
BENCHMARK(BM_PlanUnzip)->Apply(Settings);

// --- the summary -----------------------------------------------------------------------

double Median(const bench::TMedianReporter& reporter, const std::string& name, const std::string& counter = "ms") {
  double value = 0;
  return reporter.HasCounter("", name, counter, value) ? value : 0;
}

void PrintStages(const bench::TMedianReporter& r, const std::string& name) {
  const double search = Median(r, name, "search"), open = Median(r, name, "open");
  std::printf(
      "    listing %.0f ms (search %.0f, opening %.0f), engine load %.0f, extraction %.0f,\n"
      "    recognition %.0f, reading %.0f, placing %.0f, the rest %.0f\n",
      search + open, search, open, Median(r, name, "engine"), Median(r, name, "extract"), Median(r, name, "recognise"),
      Median(r, name, "read"), Median(r, name, "place"), Median(r, name, "other"));
}

void PrintSmall(const bench::TMedianReporter& r);
void PrintPlan(const bench::TMedianReporter& r);
void PrintJobs(const bench::TMedianReporter& r);

void PrintSortSummary(const bench::TMedianReporter& r) {
  std::printf("\nMedians of wall time (ms):\n");
  if (Median(r, "BM_SmallSortCopy") > 0) PrintSmall(r);
  if (Median(r, "BM_PlanSortCopy") > 0) PrintPlan(r);
  if (Median(r, "BM_SmallSortCopyJobs", "1") > 0 || Median(r, "BM_SmallSortUnpackJobs", "1") > 0 ||
      Median(r, "BM_SmallCpuThreads", "1") > 0)
    PrintJobs(r);
}

class TSummaryReporter : public bench::TMedianReporter {
 public:
  void PrintSummary() const override { PrintSortSummary(*this); }
};

// Both modes of one set: "BM_Small" or "BM_Plan" and their peers; the goal of
// (a) is the overhead per archive, that of (b) the ratio.
void PrintModes(const bench::TMedianReporter& r, const std::string& set, int archives) {
  const double inflate = Median(r, set + "Inflate"), reader = Median(r, set + "Reader");
  for (const bool unpack : {false, true}) {
    const std::string name = set + (unpack ? "SortUnpack" : "SortCopy");
    const double run = Median(r, name);
    const double tool = Median(r, set + (unpack ? "Unzip" : "Cp"));
    const double floor = inflate + reader + tool;
    std::printf("  %s run %.0f ms\n", unpack ? "unpack" : "copy", run);
    PrintStages(r, name);
    std::printf("    unavoidable %.0f ms: inflate %.0f + TXMLReader %.0f + %s %.0f\n", floor, inflate, reader,
                unpack ? "unzip" : "cp", tool);
    if (archives > 1)
      std::printf("    overhead per archive %.3f ms (goal < 1 ms); run / unavoidable %.2fx\n", (run - floor) / archives,
                  run / floor);
    else
      std::printf("    run / unavoidable %.2fx (goal <= 1.3x)\n", run / floor);
  }
}

void PrintSmall(const bench::TMedianReporter& r) {
  const TSmallSet& small = Small();
  std::printf("(a) %d archives, %.1f MB of XML (%.1f to %.1f KB a document), %.1f MB of archives\n", kArchiveCount,
              static_cast<double>(small.xml_bytes) / kMB, static_cast<double>(small.smallest) / 1000,
              static_cast<double>(small.largest) / 1000, static_cast<double>(small.archive_bytes) / kMB);
  PrintModes(r, "BM_Small", kArchiveCount);
  const double unobserved = Median(r, "BM_SmallSortCopyUnobserved");
  std::printf("  copy run without the observer %.0f ms (%.2fx the observed run)\n", unobserved,
              unobserved / Median(r, "BM_SmallSortCopy"));
}

void PrintPlan(const bench::TMedianReporter& r) {
  std::printf("(b) one archive, a plan of %.1f MB (%.1f MB packed)\n", static_cast<double>(Plan().size) / kMB,
              static_cast<double>(Plan().deflated.size()) / kMB);
  PrintModes(r, "BM_Plan", 1);
  const double zlib = Median(r, "BM_PlanInflate"), whole = Median(r, "BM_PlanInflateLibdeflate");
  if (whole > 0)
    std::printf("  inflate of the entry: zlib %.0f ms, libdeflate %.0f ms (%.2fx zlib)\n", zlib, whole, zlib / whole);
}

void PrintJobs(const bench::TMedianReporter& r) {
  const std::vector<int> counts = JobCounts();
  std::printf("(c) the archives of (a) with --jobs");
  for (const int count : counts) std::printf(" %d", count);
  std::printf(" (%d: the cores of this computer), each repetition all in turn\n", Cores());
  for (const char* row : {"copy", "unpack", "cpu"}) {
    const std::string name = row == std::string("copy")     ? "BM_SmallSortCopyJobs"
                             : row == std::string("unpack") ? "BM_SmallSortUnpackJobs"
                                                            : "BM_SmallCpuThreads";
    if (Median(r, name, "1") <= 0) continue;
    std::printf("  %-6s", row);
    for (const int count : counts) {
      std::printf(" %d: %.0f ms", count, Median(r, name, std::to_string(count)));
      std::string ratio = "x";
      ratio += std::to_string(count);
      if (count > 1) std::printf(" (%.2fx)", Median(r, name, ratio));
    }
    std::printf("\n");
  }
  std::printf(
      "  (cpu: inflate and a reader pass over the same documents split over as many threads,\n"
      "  what the machine lends to parallel work in this run; ratios are medians of each\n"
      "  repetition's ratio)\n"
      "  goal: --jobs 2 at least 1.7x --jobs 1 on two cores\n");
}

// --- the memory probe --------------------------------------------------------------------

// The process's peak resident size in KiB, as the kernel counts it.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

int Probe(const std::string& name) {
  if (name != "none" && name != "plan-copy" && name != "plan-unpack") {
    std::fprintf(stderr, "unknown probe %s (none, plan-copy, plan-unpack)\n", name.c_str());
    return 2;
  }
  if (name != "none") {
    if (!fs::exists(PlanArchivePath())) {
      // Making it holds the document in memory: not in the measured process.
      MakePlanArchive();
      std::printf("made %s; run the probe again to measure\n", PlanArchivePath().c_str());
      return 1;
    }
    SortOnce(PlanFolder(), name == "plan-unpack", 1, 1, false);
    zip::TZipArchive archive;
    archive.SetUnattended(true);
    archive.SetZipFileName(PlanArchivePath());
    const uint64_t entry = archive.EntryCount() > 0 ? archive.Entry(0)->UncompressedSize() : 0;
    const long peak = PeakResidentKiB();
    const long limit = static_cast<long>((entry + 64 * kMB) / 1024);
    std::printf("%s: entry %llu bytes, peak resident %ld KiB, goal at most %ld KiB (entry + 64 MB): %s\n", name.c_str(),
                static_cast<unsigned long long>(entry), peak, limit, peak <= limit ? "met" : "missed");
    return 0;
  }
  std::printf("none: peak resident %ld KiB\n", PeakResidentKiB());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TOutputCleanup cleanup;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--probe=", 8) == 0) return Probe(argv[i] + 8);
  TSummaryReporter reporter;
  return bench::RunBenchmarks(argc, argv, reporter);
}
