// The sequential parser and the document tree against the XML libraries on the
// machine, over the generated plan of territory, in one run:
//   - seeking the certification document, the last element of the plan, with
//     TXMLSequentialParser::SeekElementPath; with libxml2's xmlTextReader
//     reading node by node until it stands on that element; with expat until
//     its start handler sees it (then stopping the parser); and with pugixml
//     parsing the whole buffer into its tree and selecting it there;
//   - loading the document into TXMLDocument, against libxml2's reader
//     walking every node and attribute, and against pugixml's tree.
//
//   - reading the header of every parcel of the plan (seek ".." out of one,
//     "Parcel" into the next, header read), counting the allocations after a
//     warm-up: the parser's tree keeps its storage from read to read.
//
// Peak memory is measured per process: `xml_tree_bench --probe=NAME --mb=N`
// makes the document, runs one of the operations once and prints what it
// found, so that /usr/bin/time -v (or heaptrack) sees that operation alone.
// Probe names: none (the document only), seek, libxml2-seek, expat-seek,
// pugixml-seek, load, libxml2-walk, pugixml-load.

#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <libxml/xmlreader.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <string>

#include "allocation_counter.h"
#include "common/stream.h"
#include "median_reporter.h"
#include "plan_document.h"
#include "platform/text_conversion.h"
#include "xml/xml_document.h"
#include "xml/xml_sequential_parser.h"

namespace {

const char16_t kTarget[] = u"/KPT/CertificationDoc";
const char kTargetName[] = "CertificationDoc";

const std::string& Document(int64_t megabytes) { return bench::PlanDocument(megabytes); }

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// --- the operations, each returning something to print or check -----------------

// The certification number read behind the seek, as the plan readers do.
std::string OurSeek(const std::string& doc) {
  common::TVirtualMemoryStream stream(doc.data(), static_cast<int64_t>(doc.size()));
  xml::TXMLSequentialParser parser;
  parser.InitStream(stream);
  if (!parser.SeekElementPath(kTarget)) Fail("seek failed");
  xml::TXMLNode* node;
  if (!parser.ReadCompleteNode(node)) Fail("node read failed");
  xml::TXMLNode* number;
  if (!node->SelectNode(u"Number", number)) Fail("no number");
  return platform::Utf16ToUtf8(number->GetText());
}

std::string Libxml2Seek(const std::string& doc) {
  xmlTextReaderPtr reader = xmlReaderForMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, 0);
  std::string found;
  while (xmlTextReaderRead(reader) == 1) {
    if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT && xmlTextReaderDepth(reader) == 1 &&
        std::strcmp(reinterpret_cast<const char*>(xmlTextReaderConstName(reader)), kTargetName) == 0) {
      found = kTargetName;
      break;
    }
  }
  xmlFreeTextReader(reader);
  if (found.empty()) Fail("libxml2 did not find it");
  return found;
}

struct TExpatSeek {
  XML_Parser parser;
  int depth = 0;
  bool found = false;
};

void XMLCALL ExpatStart(void* data, const XML_Char* name, const XML_Char**) {
  auto* seek = static_cast<TExpatSeek*>(data);
  if (++seek->depth == 2 && std::strcmp(name, kTargetName) == 0) {
    seek->found = true;
    XML_StopParser(seek->parser, XML_FALSE);
  }
}
void XMLCALL ExpatEnd(void* data, const XML_Char*) { --static_cast<TExpatSeek*>(data)->depth; }

std::string ExpatSeek(const std::string& doc) {
  TExpatSeek seek;
  seek.parser = XML_ParserCreate(nullptr);
  XML_SetUserData(seek.parser, &seek);
  XML_SetElementHandler(seek.parser, ExpatStart, ExpatEnd);
  XML_Parse(seek.parser, doc.data(), static_cast<int>(doc.size()), 1);
  XML_ParserFree(seek.parser);
  if (!seek.found) Fail("expat did not find it");
  return kTargetName;
}

std::string PugixmlSeek(const std::string& doc) {
  pugi::xml_document tree;
  if (!tree.load_buffer(doc.data(), doc.size())) Fail("pugixml failed");
  const char* number = tree.child("KPT").child(kTargetName).child("Number").child_value();
  return number;
}

uint64_t OurLoad(const std::string& doc, xml::TXMLDocument& tree) {
  common::TVirtualMemoryStream stream(doc.data(), static_cast<int64_t>(doc.size()));
  if (!tree.LoadFromStream(stream)) Fail("load failed");
  return static_cast<uint64_t>(tree.NodeCount());
}

uint64_t Libxml2Walk(const std::string& doc) {
  xmlTextReaderPtr reader = xmlReaderForMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, 0);
  uint64_t nodes = 0;
  int result;
  while ((result = xmlTextReaderRead(reader)) == 1) {
    ++nodes;
    benchmark::DoNotOptimize(xmlTextReaderConstName(reader));
    benchmark::DoNotOptimize(xmlTextReaderConstValue(reader));
    if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT)
      while (xmlTextReaderMoveToNextAttribute(reader) == 1) {
        ++nodes;
        benchmark::DoNotOptimize(xmlTextReaderConstValue(reader));
      }
  }
  xmlFreeTextReader(reader);
  if (result != 0) Fail("libxml2 reader failed");
  return nodes;
}

uint64_t PugixmlLoad(const std::string& doc, pugi::xml_document& tree) {
  if (!tree.load_buffer(doc.data(), doc.size())) Fail("pugixml failed");
  return 1;
}

// --- benchmarks ----------------------------------------------------------------------

void Finish(benchmark::State& state, const std::string& doc) {
  state.SetBytesProcessed(static_cast<int64_t>(doc.size()) * state.iterations());
}

void BM_SeekElementPath(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(OurSeek(doc));
  Finish(state, doc);
}
void BM_Libxml2ReaderSeek(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(Libxml2Seek(doc));
  Finish(state, doc);
}
void BM_ExpatSeek(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(ExpatSeek(doc));
  Finish(state, doc);
}
void BM_PugixmlSeek(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(PugixmlSeek(doc));
  Finish(state, doc);
}

void BM_ParcelHeaders(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  uint64_t headers = 0, allocations = 0;
  for (auto _ : state) {
    common::TVirtualMemoryStream stream(doc.data(), static_cast<int64_t>(doc.size()));
    xml::TXMLSequentialParser parser;
    parser.InitStream(stream);
    if (!parser.SeekElementPath(u"/KPT/CadastralBlocks/CadastralBlock/Parcels/Parcel")) Fail("no parcel");
    xml::TXMLNode* parcel;
    uint64_t read = 0, before = 0;
    do {
      if (!parser.ReadElementHeader(parcel)) Fail("header read failed");
      // The value as a view of the tree's string table: the caller's copy would allocate.
      benchmark::DoNotOptimize(parser.Tree().GetString(parcel->FindAttribute(u"CadastralNumber")->ValueId).size());
      if (++read == 100) before = bench::AllocationCount();  // warmed up
    } while (parser.SeekElementPath(u"..") && parser.SeekElementPath(u"Parcel"));
    allocations = bench::AllocationCount() - before;
    headers = read;
  }
  Finish(state, doc);
  state.counters["headers"] = static_cast<double>(headers);
  state.counters["allocs"] = static_cast<double>(allocations);
}

void BM_TXMLDocumentLoad(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  xml::TXMLDocument tree;
  uint64_t nodes = 0;
  for (auto _ : state) nodes = OurLoad(doc, tree);
  Finish(state, doc);
  state.counters["nodes"] = static_cast<double>(nodes);
}
void BM_Libxml2ReaderWalk(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  uint64_t nodes = 0;
  for (auto _ : state) nodes = Libxml2Walk(doc);
  Finish(state, doc);
  state.counters["nodes"] = static_cast<double>(nodes);
}
void BM_PugixmlLoad(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  for (auto _ : state) {
    pugi::xml_document tree;
    PugixmlLoad(doc, tree);
  }
  Finish(state, doc);
}

void Seeks(benchmark::internal::Benchmark* b) {
  b->Arg(20)->Arg(200)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->ReportAggregatesOnly(true);
}
void Loads(benchmark::internal::Benchmark* b) {
  b->Arg(20)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_SeekElementPath)->Apply(Seeks);
BENCHMARK(BM_Libxml2ReaderSeek)->Apply(Seeks);
BENCHMARK(BM_ExpatSeek)->Apply(Seeks);
BENCHMARK(BM_PugixmlSeek)->Apply(Seeks);
BENCHMARK(BM_ParcelHeaders)->Apply(Loads);
BENCHMARK(BM_TXMLDocumentLoad)->Apply(Loads);
BENCHMARK(BM_Libxml2ReaderWalk)->Apply(Loads);
BENCHMARK(BM_PugixmlLoad)->Apply(Loads);

class TSummaryReporter : public bench::TMedianReporter {
 public:
  void PrintSummary() const override {
    // Not a structured binding: clang 14 lets no lambda capture one.
    for (const auto& by_size : Speeds()) {
      const std::string& size = by_size.first;
      const TSpeeds& speeds = by_size.second;
      PrintSpeeds(size, speeds, 24);
      auto ratio = [&](const char* ours, const char* peer) {
        if (const double r = Ratio(speeds, ours, peer)) std::printf("  %s / %-22s %6.2fx\n", ours + 3, peer + 3, r);
      };
      ratio("BM_SeekElementPath", "BM_Libxml2ReaderSeek");
      ratio("BM_SeekElementPath", "BM_ExpatSeek");
      ratio("BM_SeekElementPath", "BM_PugixmlSeek");
      ratio("BM_TXMLDocumentLoad", "BM_Libxml2ReaderWalk");
      ratio("BM_TXMLDocumentLoad", "BM_PugixmlLoad");
      double headers, allocs;
      if (HasCounter(size, "BM_ParcelHeaders", "headers", headers) &&
          HasCounter(size, "BM_ParcelHeaders", "allocs", allocs))
        std::printf("  parcel headers read: %.0f, allocations after the first 100: %.0f\n", headers, allocs);
    }
  }
};

int Probe(const std::string& name, int64_t megabytes) {
  const std::string& doc = Document(megabytes);
  std::string result;
  if (name == "none") {
    result = std::to_string(doc.size());
  } else if (name == "seek") {
    result = OurSeek(doc);
  } else if (name == "libxml2-seek") {
    result = Libxml2Seek(doc);
  } else if (name == "expat-seek") {
    result = ExpatSeek(doc);
  } else if (name == "pugixml-seek") {
    result = PugixmlSeek(doc);
  } else if (name == "load") {
    xml::TXMLDocument tree;
    const uint64_t nodes = OurLoad(doc, tree);
    result = std::to_string(nodes) + " node records of " + std::to_string(sizeof(xml::TXMLNode)) + " bytes, " +
             std::to_string(tree.Strings().Count()) + " strings";
  } else if (name == "libxml2-walk") {
    result = std::to_string(Libxml2Walk(doc)) + " nodes";
  } else if (name == "pugixml-load") {
    pugi::xml_document tree;
    result = std::to_string(PugixmlLoad(doc, tree));
  } else {
    std::fprintf(stderr, "unknown probe %s\n", name.c_str());
    return 2;
  }
  std::printf("%s %lld MB (%zu bytes): %s\n", name.c_str(), static_cast<long long>(megabytes), doc.size(),
              result.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string probe;
  int64_t megabytes = 200;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--probe=", 8) == 0) probe = argv[i] + 8;
    if (std::strncmp(argv[i], "--mb=", 5) == 0) megabytes = std::atoll(argv[i] + 5);
  }
  if (!probe.empty()) return Probe(probe, megabytes);
  TSummaryReporter reporter;
  const int status = bench::RunBenchmarks(argc, argv, reporter);
  xmlCleanupParser();
  return status;
}
