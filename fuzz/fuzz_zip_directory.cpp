// Opens arbitrary bytes as an archive, through the directory reader in memory
// and through the component from a file, and walks every entry.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/stream.h"
#include "zip/zip_archive.h"
#include "zipformat/zip_file.h"

namespace {

class TFuzzContext : public zip::TZipContext {
 public:
  zip::TZipNameOptions options;
  zip::TZipNameOptions NameOptions() const override { return options; }
};

template <class Entry>
void Walk(const Entry& e, uint64_t& sink) {
  sink += e.FileName().size() + e.FileComment().size() + e.CompressedSize() + e.UncompressedSize() + e.CRC32() +
          e.CompressionMethod() + e.DateTime() + e.Flag() + e.VersionMadeBy() + e.VersionNeeded() + e.ExtFileAttrib() +
          e.IntFileAttrib() + e.StartOnDisk() + e.RelOffLocalHdr() + e.RawFileName().size() + e.ExtraField().size() +
          e.RawComment().size() + e.IsDirOnly() + e.Encrypted();
}

const std::string& ScratchFile() {
  static const std::string path = "/tmp/fuzz_zip_directory." + std::to_string(getpid()) + ".zip";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint64_t sink = 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (zip::TZipEncodingOpts encoding : {zip::zenAuto, zip::zenOEM, zip::zenUPath}) {
    TFuzzContext context;
    context.options.encoding = encoding;
    zip::TZipFile file(context);
    auto stream = std::make_unique<common::TMemoryStream>();
    stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    file.OpenAndList(std::move(stream), "fuzz.zip");
    for (int i = 0; i < file.Count(); ++i) {
      const zip::TZipDirRecord* r = file.Record(i);
      Walk(*r, sink);
      if (file.FindName(r->FileName()) == nullptr) __builtin_trap();  // every name is found again
    }
  }

  if (FILE* f = std::fopen(ScratchFile().c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    zip::TZipArchive archive;
    archive.SetUnattended(true);
    archive.SetZipFileName(ScratchFile());
    for (int i = -1; i <= archive.EntryCount(); ++i)
      if (const zip::TZipCentralEntry* e = archive.Entry(i)) Walk(*e, sink);
    archive.SetEncoding(zip::zenUTF8);
    for (int i = 0; i < archive.EntryCount(); ++i) Walk(*archive.Entry(i), sink);
  }
  return sink == 42 ? 0 : 0;
}
