// Extraction speed of the archive component and its engine.
//   ExtractToMemory of the XML entry of a 200 MB (uncompressed) archive, and
//   plain zlib inflate of the same entry into a preallocated buffer (and
//   libdeflate's, where the build has it); the CRC-32 of the entry, ours and
//   zlib's (and libdeflate's);
//   unpacking an archive of 1000 small files into an empty folder, and
//   Debian's "unzip -o -q" on the same archive;
//   listing that archive's directory with every entry's name.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef VORLANEX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "median_reporter.h"
#include "platform/file_system.h"
#include "support/zip_writer.h"
#include "zip/zip_archive.h"
#include "zipengine/zip_crc32.h"
#include "zipformat/zip_reader.h"

namespace {

namespace fs = std::filesystem;

const std::string& Folder() {
  static const std::string folder = [] {
    const fs::path p = fs::temp_directory_path() / "vorlanex_zip_extract_bench";
    fs::create_directories(p);
    return platform::FromPath(p);
  }();
  return folder;
}

// An XML text of the registry's shape: many small records with varying numbers.
std::string XmlText(size_t size) {
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Parcels>\n";
  text.reserve(size + 256);
  uint32_t seed = 12345;
  while (text.size() < size) {
    seed = seed * 1103515245u + 12345u;
    text += "  <Parcel CadastralNumber=\"66:41:" + std::to_string(seed % 9999999) + ":" +
            std::to_string((seed >> 8) % 999) + "\"><Area>" + std::to_string((seed >> 4) % 100000) +
            "</Area><Ordinate X=\"" + std::to_string(seed % 1000000) + ".12\" Y=\"" +
            std::to_string((seed >> 3) % 1000000) + ".34\"/></Parcel>\n";
  }
  text.resize(size);
  return text;
}

struct TBigArchive {
  std::string path = Folder() + "/big.zip";
  std::string compressed;  // the entry's deflate data, for the peer
  size_t size = 200u << 20;
  TBigArchive() {
    if (!fs::exists(path)) {
      support::TZipWriter w;
      w.Add("doc.xml", XmlText(size));
      w.Save(path);
    }
    // The peer gets the entry's raw deflate data straight from the archive.
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t name_length = zip::GetLe16(bytes, 26), extra_length = zip::GetLe16(bytes, 28);
    compressed = bytes.substr(30 + name_length + extra_length, zip::GetLe32(bytes, 18));
  }
};
TBigArchive& Big() {
  static TBigArchive big;
  return big;
}

void BM_ExtractToMemory(benchmark::State& state) {
  TBigArchive& big = Big();
  zip::TZipArchive archive;
  archive.SetUnattended(true);
  archive.SetEngineDirectory(platform::ExecutableDirectory());
  archive.SetZipFileName(big.path);
  archive.SetEngineLoad(true);
  // Like the peer's preallocated buffer, the component's stream has its memory
  // before the timing starts: one extraction outside it.
  archive.ExtractToMemory("doc.xml");
  for (auto _ : state) {
    common::TMemoryStream* out = archive.ExtractToMemory("doc.xml");
    if (!out || static_cast<size_t>(out->Size()) != big.size) state.SkipWithError("extraction failed");
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * big.size));
}

void BM_PlainInflate(benchmark::State& state) {
  TBigArchive& big = Big();
  std::vector<uint8_t> buffer(big.size);
  for (auto _ : state) {
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = reinterpret_cast<Bytef*>(big.compressed.data());
    z.avail_in = static_cast<uInt>(big.compressed.size());
    z.next_out = buffer.data();
    z.avail_out = static_cast<uInt>(buffer.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate failed");
    inflateEnd(&z);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * big.size));
}

#ifdef VORLANEX_HAVE_LIBDEFLATE
void BM_LibdeflateInflate(benchmark::State& state) {
  TBigArchive& big = Big();
  std::vector<uint8_t> buffer(big.size);
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  for (auto _ : state) {
    size_t produced = 0;
    if (libdeflate_deflate_decompress(d, big.compressed.data(), big.compressed.size(), buffer.data(), buffer.size(),
                                      &produced) != LIBDEFLATE_SUCCESS ||
        produced != big.size)
      state.SkipWithError("inflate failed");
    benchmark::DoNotOptimize(buffer.data());
  }
  libdeflate_free_decompressor(d);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * big.size));
}
#endif

// The CRC-32 of the entry's bytes (already in memory) by each implementation.
template <class Crc>
void Crc32Of(benchmark::State& state, Crc crc) {
  static const std::string data = XmlText(Big().size);
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  for (auto _ : state) benchmark::DoNotOptimize(crc(bytes, data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
void BM_Crc32Ours(benchmark::State& state) {
  Crc32Of(state, [](const uint8_t* p, size_t n) { return zipengine::ZipCrc32(0, p, n); });
}
void BM_Crc32Zlib(benchmark::State& state) {
  Crc32Of(state, [](const uint8_t* p, size_t n) { return static_cast<uint32_t>(crc32_z(0, p, n)); });
}
#ifdef VORLANEX_HAVE_LIBDEFLATE
void BM_Crc32Libdeflate(benchmark::State& state) {
  Crc32Of(state, [](const uint8_t* p, size_t n) { return libdeflate_crc32(0, p, n); });
}
#endif

const std::string& SmallArchive() {
  static const std::string path = [] {
    const std::string p = Folder() + "/small.zip";
    support::TZipWriter w;
    for (int i = 0; i < 1000; ++i)
      w.Add("docs/part" + std::to_string(i % 10) + "/file" + std::to_string(i) + ".xml",
            XmlText(1000 + static_cast<size_t>(i % 7) * 500));
    w.Save(p);
    return p;
  }();
  return path;
}

void FreshFolder(const std::string& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
}

void BM_Unpack1000(benchmark::State& state) {
  const std::string out = Folder() + "/out-engine";
  zip::TZipArchive archive;
  archive.SetUnattended(true);
  archive.SetEngineDirectory(platform::ExecutableDirectory());
  archive.SetZipFileName(SmallArchive());
  archive.SetEngineLoad(true);
  archive.SetExtrBaseDir(out);
  archive.IncludeSpecs().push_back("*.*");
  archive.SetExtrOptions(zip::ExtrDirNames | zip::ExtrOverWrite);
  for (auto _ : state) {
    state.PauseTiming();
    FreshFolder(out);
    state.ResumeTiming();
    archive.ExtractToFolder();
    if (archive.SuccessCount() != 1000) state.SkipWithError("unpack failed");
  }
}

void BM_Unpack1000Unzip(benchmark::State& state) {
  const std::string out = Folder() + "/out-unzip";
  const std::string command = "unzip -o -q '" + SmallArchive() + "' -d '" + out + "'";
  for (auto _ : state) {
    state.PauseTiming();
    FreshFolder(out);
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError("unzip failed");
  }
}

// What the sort run does first with every archive: name it and walk its entries' names.
void BM_List1000(benchmark::State& state) {
  const std::string& path = SmallArchive();
  size_t names = 0;
  for (auto _ : state) {
    zip::TZipArchive archive;
    archive.SetUnattended(true);
    archive.SetZipFileName(path);
    for (int i = 0; i < archive.EntryCount(); ++i) names += archive.Entry(i)->FileName().size();
    if (archive.EntryCount() != 1000) state.SkipWithError("listing failed");
  }
  benchmark::DoNotOptimize(names);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 1000));
}

class TSummaryReporter : public bench::TMedianReporter {
 public:
  void PrintSummary() const override {
    auto it = Speeds().find("");
    if (it == Speeds().end()) return;
    const TSpeeds& speeds = it->second;
    std::printf("\nMedians (200 MiB entry):\n");
    for (const auto& [name, mbs] : speeds) std::printf("  %-24s %8.0f MB/s\n", name.c_str(), mbs);
    auto ratio = [&](const char* ours, const char* peer) {
      if (const double r = Ratio(speeds, ours, peer)) std::printf("  %s / %s: %.2fx\n", ours + 3, peer + 3, r);
    };
    ratio("BM_ExtractToMemory", "BM_PlainInflate");
    ratio("BM_ExtractToMemory", "BM_LibdeflateInflate");
    ratio("BM_LibdeflateInflate", "BM_PlainInflate");
    ratio("BM_Crc32Ours", "BM_Crc32Zlib");
    ratio("BM_Crc32Libdeflate", "BM_Crc32Ours");
  }
};

}  // namespace

BENCHMARK(BM_ExtractToMemory)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainInflate)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
#ifdef VORLANEX_HAVE_LIBDEFLATE
BENCHMARK(BM_LibdeflateInflate)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_Crc32Libdeflate)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
#endif
BENCHMARK(BM_Crc32Ours)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_Crc32Zlib)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_Unpack1000)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_Unpack1000Unzip)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_List1000)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
  TSummaryReporter reporter;
  return bench::RunBenchmarks(argc, argv, reporter);
}
