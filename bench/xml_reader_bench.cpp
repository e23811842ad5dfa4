// Reading speed of TXMLReader against the streaming XML readers on the machine,
// over the same generated plan of territory of 20 MB and 200 MB, in one run:
//   - TXMLReader reading every token from a memory stream;
//   - libxml2's xmlTextReader reading every node (and, as a second variant,
//     visiting every attribute too, which is what our attribute tokens deliver);
//   - libxml2's SAX2 parser and expat over the same buffer;
//   - a plain UTF-8 to UTF-16 conversion of the buffer, the floor for any reader
//     that decodes to UTF-16.
// The program prints each median in MB/s and the ratios at the end. It also
// counts the allocations of a TXMLReader pass after a warm-up.

#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <libxml/xmlreader.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "allocation_counter.h"
#include "common/stream.h"
#include "median_reporter.h"
#include "plan_document.h"
#include "platform/text_conversion.h"
#include "xml/xml_reader.h"

namespace {

const std::string& Document(int64_t megabytes) { return bench::PlanDocument(megabytes); }

struct TCounts {
  uint64_t items = 0;
  uint64_t chars = 0;
};

void Finish(benchmark::State& state, const std::string& doc, const TCounts& counts) {
  state.SetBytesProcessed(static_cast<int64_t>(doc.size()) * state.iterations());
  state.counters["items"] = static_cast<double>(counts.items / std::max<uint64_t>(state.iterations(), 1));
}

// --- TXMLReader -----------------------------------------------------------------

uint64_t ReadTokens(xml::TXMLReader& reader, const std::string& doc, TCounts& counts) {
  common::TVirtualMemoryStream stream(doc.data(), static_cast<int64_t>(doc.size()));
  reader.InitStream(stream);
  const xml::TXMLReaderToken* token;
  uint64_t tokens = 0;
  while (reader.ReadNextToken(token)) {
    ++tokens;
    counts.chars += token->TokenValue.size() + token->TokenName.size();
  }
  if (reader.ParseError()) {
    std::fprintf(stderr, "parse error: %s\n", platform::Utf16ToUtf8(reader.ParseError()->Message()).c_str());
    std::abort();
  }
  counts.items += tokens;
  return tokens;
}

void BM_TXMLReader(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  xml::TXMLReader reader;
  TCounts warm;
  ReadTokens(reader, Document(1), warm);  // grows the token pool and the buffers
  TCounts counts;
  uint64_t allocations = 0;
  for (auto _ : state) {
    const uint64_t before = bench::AllocationCount();
    ReadTokens(reader, doc, counts);
    allocations += bench::AllocationCount() - before;
  }
  Finish(state, doc, counts);
  state.counters["allocs"] = static_cast<double>(allocations / std::max<uint64_t>(state.iterations(), 1));
}

// --- libxml2 --------------------------------------------------------------------

void Libxml2Reader(benchmark::State& state, bool attributes) {
  const std::string& doc = Document(state.range(0));
  TCounts counts;
  for (auto _ : state) {
    xmlTextReaderPtr reader = xmlReaderForMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, 0);
    int result;
    while ((result = xmlTextReaderRead(reader)) == 1) {
      ++counts.items;
      const xmlChar* name = xmlTextReaderConstName(reader);
      const xmlChar* value = xmlTextReaderConstValue(reader);
      counts.chars += (name ? 1 : 0) + (value ? 1 : 0);
      if (attributes && xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT) {
        while (xmlTextReaderMoveToNextAttribute(reader) == 1) {
          ++counts.items;
          counts.chars += xmlTextReaderConstName(reader) != nullptr;
          counts.chars += xmlTextReaderConstValue(reader) != nullptr;
        }
      }
    }
    xmlFreeTextReader(reader);
    if (result != 0) state.SkipWithError("libxml2 reader failed");
  }
  Finish(state, doc, counts);
}

void BM_Libxml2Reader(benchmark::State& state) { Libxml2Reader(state, false); }
void BM_Libxml2ReaderAttributes(benchmark::State& state) { Libxml2Reader(state, true); }

void SaxStart(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int attributes, int,
              const xmlChar**) {
  static_cast<TCounts*>(ctx)->items += 1 + static_cast<uint64_t>(attributes);
}
void SaxEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) { ++static_cast<TCounts*>(ctx)->items; }
void SaxCharacters(void* ctx, const xmlChar*, int length) {
  auto* counts = static_cast<TCounts*>(ctx);
  ++counts->items;
  counts->chars += static_cast<uint64_t>(length);
}

void BM_Libxml2Sax2(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  TCounts counts;
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = SaxStart;
  handler.endElementNs = SaxEnd;
  handler.characters = SaxCharacters;
  for (auto _ : state) {
    if (xmlSAXUserParseMemory(&handler, &counts, doc.data(), static_cast<int>(doc.size())) != 0)
      state.SkipWithError("libxml2 SAX2 failed");
  }
  Finish(state, doc, counts);
}

// --- expat ----------------------------------------------------------------------

void XMLCALL ExpatStart(void* data, const XML_Char*, const XML_Char** attributes) {
  auto* counts = static_cast<TCounts*>(data);
  ++counts->items;
  for (; *attributes; attributes += 2) ++counts->items;
}
void XMLCALL ExpatEnd(void* data, const XML_Char*) { ++static_cast<TCounts*>(data)->items; }
void XMLCALL ExpatCharacters(void* data, const XML_Char*, int length) {
  auto* counts = static_cast<TCounts*>(data);
  ++counts->items;
  counts->chars += static_cast<uint64_t>(length);
}

void BM_Expat(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  TCounts counts;
  for (auto _ : state) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &counts);
    XML_SetElementHandler(parser, ExpatStart, ExpatEnd);
    XML_SetCharacterDataHandler(parser, ExpatCharacters);
    if (XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) != XML_STATUS_OK)
      state.SkipWithError("expat failed");
    XML_ParserFree(parser);
  }
  Finish(state, doc, counts);
}

// --- the floor --------------------------------------------------------------------

void BM_Utf8ToUtf16(benchmark::State& state) {
  const std::string& doc = Document(state.range(0));
  constexpr size_t kBlock = 16384;
  auto units = std::make_unique<char16_t[]>(kBlock);
  TCounts counts;
  for (auto _ : state) {
    for (size_t offset = 0; offset < doc.size(); offset += kBlock) {
      const size_t n = std::min(kBlock, doc.size() - offset);
      counts.chars += platform::DecodeUtf8ToUtf16(doc.data() + offset, n, units.get());
      benchmark::DoNotOptimize(units.get());
    }
    ++counts.items;
  }
  Finish(state, doc, counts);
}

void Sizes(benchmark::internal::Benchmark* b) {
  // Settings hold for every argument: one pass per repetition, medians of five.
  b->Arg(20)->Arg(200)->Iterations(1)->Repetitions(5);
  b->Unit(benchmark::kMillisecond)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_TXMLReader)->Apply(Sizes);
BENCHMARK(BM_Libxml2Reader)->Apply(Sizes);
BENCHMARK(BM_Libxml2ReaderAttributes)->Apply(Sizes);
BENCHMARK(BM_Libxml2Sax2)->Apply(Sizes);
BENCHMARK(BM_Expat)->Apply(Sizes);
BENCHMARK(BM_Utf8ToUtf16)->Apply(Sizes);

class TSummaryReporter : public bench::TMedianReporter {
 public:
  void PrintSummary() const override {
    // Not a structured binding: clang 14 lets no lambda capture one.
    for (const auto& by_size : Speeds()) {
      const std::string& size = by_size.first;
      const TSpeeds& speeds = by_size.second;
      PrintSpeeds(size, speeds, 28);
      auto ratio = [&](const char* peer) {
        if (const double r = Ratio(speeds, "BM_TXMLReader", peer))
          std::printf("  TXMLReader / %-20s %6.2fx\n", peer + 3, r);
      };
      ratio("BM_Libxml2Reader");
      ratio("BM_Libxml2ReaderAttributes");
      ratio("BM_Libxml2Sax2");
      ratio("BM_Expat");
      ratio("BM_Utf8ToUtf16");
      double allocs;
      if (HasCounter(size, "BM_TXMLReader", "allocs", allocs))
        std::printf("  allocations in a TXMLReader pass after warm-up: %.0f\n", allocs);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  TSummaryReporter reporter;
  const int status = bench::RunBenchmarks(argc, argv, reporter);
  xmlCleanupParser();
  return status;
}
