// Extracts arbitrary bytes as an archive through the component and the
// engine: every entry into memory, a test run over all of them, and an unpack
// into a scratch folder. Nothing may crash, no entry may yield more bytes than
// its directory record declares, and nothing may appear beside the folder.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "zip/zip_archive.h"

namespace {

namespace fs = std::filesystem;

const std::string& Scratch() {
  static const std::string path = "/tmp/fuzz_zip_extract." + std::to_string(getpid());
  return path;
}

// Keeps the engine loaded for the whole run instead of once per input.
zip::TZipArchive& Holder() {
  static zip::TZipArchive* holder = [] {
    static zip::TZipArchive archive;
    archive.SetUnattended(true);
    archive.SetEngineDirectory(platform::ExecutableDirectory());
    archive.SetEngineLoad(true);
    if (!archive.EngineLoad()) __builtin_trap();  // the engine must sit beside the target
    return &archive;
  }();
  return *holder;
}

size_t CountBeside() {
  std::error_code ec;
  size_t n = 0;
  for (auto it = fs::directory_iterator(platform::ToPath(Scratch()), ec); it != fs::directory_iterator(); ++it) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Holder();
  std::error_code ec;
  fs::create_directories(platform::ToPath(Scratch() + "/base"), ec);
  const std::string archive_path = Scratch() + "/in.zip";
  if (FILE* f = std::fopen(archive_path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }

  zip::TZipArchive archive;
  archive.SetUnattended(true);
  archive.SetEngineDirectory(platform::ExecutableDirectory());
  archive.SetPassword("secret");
  archive.SetZipFileName(archive_path);
  archive.SetEngineLoad(true);
  const int count = std::min(archive.EntryCount(), 16);
  uint64_t declared = 0;  // the largest size any entry declares
  for (int i = 0; i < archive.EntryCount(); ++i) declared = std::max(declared, archive.Entry(i)->UncompressedSize());
  for (int i = 0; i < count; ++i) {
    if (common::TMemoryStream* out = archive.ExtractToMemory(archive.Entry(i)->FileName())) {
      if (static_cast<uint64_t>(out->Size()) > declared) __builtin_trap();
    }
  }
  archive.IncludeSpecs() = {"*.*"};
  archive.SetExtrOptions(zip::ExtrTest);
  archive.ExtractToFolder();

  if (archive.EntryCount() <= 16) {
    archive.SetExtrBaseDir(Scratch() + "/base");
    archive.SetExtrOptions(zip::ExtrDirNames | zip::ExtrOverWrite);
    archive.ExtractToFolder();
    // in.zip and base/ are all there may be.
    if (CountBeside() != 2) __builtin_trap();
  }
  archive.SetEngineLoad(false);
  fs::remove_all(platform::ToPath(Scratch() + "/base"), ec);
  return 0;
}
