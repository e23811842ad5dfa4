// Reading the sorting values of a large plan of territory: a 100 MB KPT (10^8
// bytes, one block of generated parcels, the coordinate systems behind them
// and the certification at the very end) loaded through TKPTFile, in one
// forward pass and without a tree of the document's size.
//   - BM_KptFileLoad: the load from a memory stream, as the sort run does it,
//     for version 09, version 06 (the deeply nested older schema), version 10
//     (read by namespace and local name) and the plan without a stylesheet,
//     extract_cadastral_plan_territory ("11" below: its statement first, the
//     block's own boundary behind its land records);
//     "peak_heap" is the most heap the load held at once above what was held
//     before it, "allocs" the allocations of one load;
//   - BM_KptFileLoadCountingStream: the same through a stream that counts what
//     the reader's read-ahead takes from it: "read_ratio" 1.0 means every byte
//     was read exactly once, "rewinds" counts backward seeks;
//   - BM_TXMLReaderTokens: every token of the same document, the floor;
//   - BM_Recognize: TOstrevanFile alone, which stops at the stylesheet.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "cadastral/kpt_file.h"
#include "cadastral/ostrevan_file.h"
#include "common/stream.h"
#include "median_reporter.h"
#include "support/document_builder.h"
#include "support/trickle_stream.h"
#include "xml/xml_reader.h"

// --- heap accounting ------------------------------------------------------------

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<uint64_t> g_allocations{0};
std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_peak{0};

void* Allocate(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  const int64_t live = g_live.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed) +
                       static_cast<int64_t>(malloc_usable_size(p));
  int64_t peak = g_peak.load(std::memory_order_relaxed);
  while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return p;
}

void Free(void* p) {
  if (!p) return;
  g_live.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
  std::free(p);
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }

namespace {

constexpr size_t kMB = 1000 * 1000;

testdocs::TSchema SchemaOf(int64_t version) {
  switch (version) {
    case 6:
      return testdocs::TSchema::Kpt06;
    case 10:
      return testdocs::TSchema::Kpt10;
    case 11:
      return testdocs::TSchema::KptTerritory;
    default:
      return testdocs::TSchema::Kpt09;
  }
}

struct TPlan {
  std::string bytes;
  testdocs::TDocument doc;
};

const TPlan& Plan(int64_t version, int64_t megabytes) {
  static std::map<std::pair<int64_t, int64_t>, TPlan> plans;
  auto it = plans.find({version, megabytes});
  if (it == plans.end()) {
    TPlan plan;
    plan.doc = testdocs::SampleDocument(SchemaOf(version));
    testdocs::TBuildOptions options;
    options.target_size = static_cast<size_t>(megabytes) * kMB;
    plan.bytes = testdocs::BuildDocument(plan.doc, options);
    it = plans.emplace(std::make_pair(version, megabytes), std::move(plan)).first;
  }
  return it->second;
}

// The values a load must give; a wrong one ends the program, not just the figure.
void Check(const cadastral::TKPTFile& file, const TPlan& plan) {
  const cadastral::TKPTFileInfoData* values = file.InfoData();
  const std::string coord = plan.doc.schema == testdocs::TSchema::Kpt05
                                ? std::string(cadastral::kKpt05CoordSystemName)
                                : plan.doc.blocks[0].coord_systems[0].name.value();
  if (!values || values->CadastralNumber != plan.doc.blocks[0].cadastral_number.value() ||
      values->CoordSystemName != coord || values->CertificationDocNumber != plan.doc.certification->number.value() ||
      values->CertificationDocDate != plan.doc.certification->date.value()) {
    std::fprintf(stderr, "the plan's values were not read\n");
    std::abort();
  }
}

void LoadOnce(const TPlan& plan, common::TStream& stream) {
  auto file = cadastral::TRef<cadastral::TKPTFile>::Create();
  file->LoadFromStream(stream);
  Check(*file, plan);
}

void BM_KptFileLoad(benchmark::State& state) {
  const TPlan& plan = Plan(state.range(0), state.range(1));
  {
    common::TVirtualMemoryStream warm(plan.bytes.data(), static_cast<int64_t>(plan.bytes.size()));
    LoadOnce(plan, warm);
  }
  int64_t peak = 0;
  uint64_t allocations = 0;
  for (auto _ : state) {
    common::TVirtualMemoryStream stream(plan.bytes.data(), static_cast<int64_t>(plan.bytes.size()));
    const int64_t before = g_live.load();
    g_peak.store(before);
    const uint64_t allocated = g_allocations.load();
    LoadOnce(plan, stream);
    peak = std::max(peak, g_peak.load() - before);
    allocations += g_allocations.load() - allocated;
  }
  state.SetBytesProcessed(static_cast<int64_t>(plan.bytes.size()) * state.iterations());
  state.counters["doc_MB"] = static_cast<double>(plan.bytes.size()) / kMB;
  state.counters["peak_heap_KB"] = static_cast<double>(peak) / 1024;
  state.counters["allocs"] = static_cast<double>(allocations / std::max<uint64_t>(state.iterations(), 1));
}

void BM_KptFileLoadCountingStream(benchmark::State& state) {
  const TPlan& plan = Plan(state.range(0), state.range(1));
  double ratio = 0;
  int64_t rewinds = 0;
  for (auto _ : state) {
    testsupport::TTrickleStream stream(plan.bytes.data(), plan.bytes.size(), 1 << 20);
    LoadOnce(plan, stream);
    ratio = std::max(ratio, static_cast<double>(stream.BytesRead()) / static_cast<double>(plan.bytes.size()));
    rewinds = std::max(rewinds, stream.Rewinds());
  }
  state.SetBytesProcessed(static_cast<int64_t>(plan.bytes.size()) * state.iterations());
  state.counters["read_ratio"] = ratio;
  state.counters["rewinds"] = static_cast<double>(rewinds);
}

void BM_TXMLReaderTokens(benchmark::State& state) {
  const TPlan& plan = Plan(state.range(0), state.range(1));
  xml::TXMLReader reader;
  uint64_t tokens = 0;
  for (auto _ : state) {
    common::TVirtualMemoryStream stream(plan.bytes.data(), static_cast<int64_t>(plan.bytes.size()));
    reader.InitStream(stream);
    const xml::TXMLReaderToken* token;
    tokens = 0;
    while (reader.ReadNextToken(token)) ++tokens;
    if (reader.ParseError()) state.SkipWithError("parse error");
  }
  state.SetBytesProcessed(static_cast<int64_t>(plan.bytes.size()) * state.iterations());
  state.counters["tokens"] = static_cast<double>(tokens);
}

void BM_Recognize(benchmark::State& state) {
  const TPlan& plan = Plan(state.range(0), state.range(1));
  for (auto _ : state) {
    common::TVirtualMemoryStream stream(plan.bytes.data(), static_cast<int64_t>(plan.bytes.size()));
    auto file = cadastral::TRef<cadastral::TOstrevanFile>::Create();
    file->LoadFromStream(stream);
    if (file->Kind() != cadastral::fkKPT) state.SkipWithError("not recognised");
  }
}

// {schema version, megabytes}; 11 stands for extract_cadastral_plan_territory.
void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({9, 100})
      ->Args({6, 100})
      ->Args({10, 100})
      ->Args({11, 100})
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_KptFileLoad)->Apply(Sizes);
BENCHMARK(BM_KptFileLoadCountingStream)->Apply(Sizes);
BENCHMARK(BM_TXMLReaderTokens)->Apply(Sizes);
BENCHMARK(BM_Recognize)->Args({9, 100})->Args({11, 100})->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  bench::TMedianReporter reporter;
  return bench::RunBenchmarks(argc, argv, reporter);
}
