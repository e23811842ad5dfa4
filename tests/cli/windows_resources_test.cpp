// Windows only: the version resource and the manifest the programs carry.

#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/text_format.h"
#include "common/windows_path.h"
#include "platform/file_system.h"

namespace {

// The bytes of one resource of a file, read as data without running it.
std::string Resource(const std::string& file, const wchar_t* type, int id) {
  HMODULE module = LoadLibraryExW(common::WidePath(file).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return {};
  std::string bytes;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type)) {
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    if (const void* data = loaded ? LockResource(loaded) : nullptr) bytes.assign(static_cast<const char*>(data), size);
  }
  FreeLibrary(module);
  return bytes;
}

// The file version as the about window reads it: four 16-bit words of the
// fixed information, at 50, 48, 54 and 52.
std::string FileVersionText(const std::string& version) {
  if (version.size() < 56) return {};
  auto word = [&](size_t at) {
    return static_cast<unsigned char>(version[at]) | static_cast<unsigned char>(version[at + 1]) << 8;
  };
  return common::Format("v%d.%d.%d.%d", word(50), word(48), word(54), word(52));
}

}  // namespace

TEST(WindowsResources, ProgramAndEngineCarryTheProjectVersion) {
  const std::string expected = std::string("v") + VORLANEX_TEST_VERSION + ".0";
  for (const char* file : {"vorlanex-cli.exe", "ZipEngine.dll"}) {
    SCOPED_TRACE(file);
    const std::string version = Resource(platform::ExecutableDirectory() + file, RT_VERSION, 1);
    ASSERT_GE(version.size(), 56u);
    EXPECT_EQ(FileVersionText(version), expected);
  }
}

TEST(WindowsResources, TheCommandLineSorterAsksForNoElevation) {
  const std::string manifest = Resource(platform::ExecutableDirectory() + "vorlanex-cli.exe", RT_MANIFEST, 1);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
  EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
}

#endif
