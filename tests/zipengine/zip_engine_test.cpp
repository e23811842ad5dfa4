// The engine library on its own: what it exports and its answers to malformed
// commands.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "zipformat/zip_engine_records.h"
#include "zipformat/zip_reader.h"

using namespace zip;

namespace {

// Built beside the test program, as it lies beside the program that loads it.
const std::string kEngineFile = platform::ExecutableDirectory() + VORLANEX_ZIPENGINE_NAME;

struct TEngine {
  TEngine() {
    platform::TLibraryError error;
    handle = platform::LoadDynamicLibrary(kEngineFile, error);
  }
  ~TEngine() { platform::FreeDynamicLibrary(handle); }
  template <class F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(platform::LibrarySymbol(handle, name));
  }
  platform::TLibraryHandle handle = nullptr;
};

int ZE_CALL Unanswered(TZipCallbackRecord*) { return 0; }

// Bounds-checked little-endian fields of a file image; reads outside give 0.
struct TImage {
  std::string bytes;
  uint64_t Get(uint64_t at, int width) const {
    if (at > bytes.size() || bytes.size() - at < static_cast<uint64_t>(width)) return 0;
    const size_t i = static_cast<size_t>(at);
    switch (width) {
      case 1:
        return static_cast<uint8_t>(bytes[i]);
      case 2:
        return GetLe16(bytes, i);
      case 4:
        return GetLe32(bytes, i);
      default:
        return GetLe64(bytes, i);
    }
  }
  std::string Text(uint64_t at) const {
    if (at >= bytes.size()) return {};
    const std::string_view rest = std::string_view(bytes).substr(static_cast<size_t>(at));
    return std::string(rest.substr(0, rest.find('\0')));
  }
};

// The names an ELF shared object exports: defined global or weak symbols of
// default or protected visibility in its dynamic symbol table.
std::set<std::string> ElfExports(const TImage& f) {
  const bool wide = f.bytes[4] == 2;
  const uint64_t sections = wide ? f.Get(0x28, 8) : f.Get(0x20, 4);
  const uint64_t entry = f.Get(wide ? 0x3A : 0x2E, 2), count = f.Get(wide ? 0x3C : 0x30, 2);
  auto offset = [&](uint64_t s) { return f.Get(s + (wide ? 0x18 : 0x10), wide ? 8 : 4); };
  auto size = [&](uint64_t s) { return f.Get(s + (wide ? 0x20 : 0x14), wide ? 8 : 4); };
  std::set<std::string> names;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t s = sections + i * entry;
    if (f.Get(s + 4, 4) != 11) continue;  // SHT_DYNSYM
    const uint64_t strings = offset(sections + f.Get(s + (wide ? 0x28 : 0x18), 4) * entry);
    const uint64_t symbol_size = wide ? 24 : 16;
    for (uint64_t at = offset(s); at + symbol_size <= offset(s) + size(s); at += symbol_size) {
      const uint64_t info = f.Get(at + (wide ? 4 : 12), 1), other = f.Get(at + (wide ? 5 : 13), 1);
      const uint64_t section = f.Get(at + (wide ? 6 : 14), 2), bind = info >> 4, visibility = other & 3;
      if (section != 0 && (bind == 1 || bind == 2 || bind == 10) && (visibility == 0 || visibility == 3))
        names.insert(f.Text(strings + f.Get(at, 4)));
    }
  }
  return names;
}

// The names in a PE library's export directory.
std::set<std::string> PeExports(const TImage& f) {
  const uint64_t pe = f.Get(0x3C, 4), optional = pe + 24;
  const uint64_t sections = optional + f.Get(pe + 20, 2), section_count = f.Get(pe + 6, 2);
  const uint64_t directory = optional + (f.Get(optional, 2) == 0x20B ? 112 : 96);
  auto file_offset = [&](uint64_t rva) -> uint64_t {
    for (uint64_t i = 0; i < section_count; ++i) {
      const uint64_t s = sections + i * 40, address = f.Get(s + 12, 4);
      if (rva >= address && rva < address + std::max(f.Get(s + 8, 4), f.Get(s + 16, 4)))
        return rva - address + f.Get(s + 20, 4);
    }
    return ~uint64_t{0};
  };
  std::set<std::string> names;
  const uint64_t exports = file_offset(f.Get(directory, 4));
  const uint64_t name_table = file_offset(f.Get(exports + 32, 4));
  for (uint64_t i = 0, n = f.Get(exports + 24, 4); i < n && i < 100000; ++i)
    names.insert(f.Text(file_offset(f.Get(name_table + 4 * i, 4))));
  return names;
}

std::set<std::string> ExportedNames(const std::string& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  TImage image{std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
  if (image.bytes.size() > 4 && image.bytes.compare(0, 4,
                                                    "\x7F"
                                                    "ELF") == 0)
    return ElfExports(image);
  if (image.bytes.compare(0, 2, "MZ") == 0) return PeExports(image);
  return {};
}

}  // namespace

TEST(ZipEngine, ExportsExactlyTheSevenEntryPoints) {
  EXPECT_EQ(ExportedNames(kEngineFile), (std::set<std::string>{"ZE_Abort", "ZE_Banner", "ZE_Exec", "ZE_Name", "ZE_Path",
                                                               "ZE_PrivVersion", "ZE_Version"}));
}

TEST(ZipEngine, ExportsAndVersions) {
  TEngine engine;
  ASSERT_NE(engine.handle, nullptr);
  EXPECT_EQ(engine.Get<TZE_Version>("ZE_Version")(), 190);
  EXPECT_GE(engine.Get<TZE_PrivVersion>("ZE_PrivVersion")(), 1900111);
  char name[8];
  engine.Get<TZE_Name>("ZE_Name")(name, sizeof name, 0);
  EXPECT_EQ(std::string(name).size(), 7u);  // cut to the buffer
  EXPECT_NE(std::string(engine.Get<TZE_Path>("ZE_Path")()).find(VORLANEX_ZIPENGINE_NAME), std::string::npos);
  engine.Get<TZE_Abort>("ZE_Abort")(12345);  // a key of no running command is ignored
}

TEST(ZipEngine, RefusesMalformedCommands) {
  TEngine engine;
  auto exec = engine.Get<TZE_Exec>("ZE_Exec");
  EXPECT_EQ(exec(nullptr), zerStructure);
  TZipCommandRecord command{};
  command.version = 190;
  command.main_callback = &Unanswered;
  EXPECT_EQ(exec(&command), zerStructure);  // no check value
  command.check = kZipCommandCheck;
  EXPECT_EQ(exec(&command), zerBadOptions);  // neither extract nor test
  command.options = kZipOptAlways | kZipOptExtract;
  EXPECT_EQ(exec(&command), zerOpenZip);  // nobody names the archive
}
