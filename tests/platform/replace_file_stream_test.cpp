// Writing under a temporary name, dynamic loading, file times and links.

#include "platform/replace_file_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "support/folder_link.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class PlatformFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FromPath(fs::temp_directory_path()) + kPathDelimiter + "vorlanex_platform_files";
    fs::remove_all(ToPath(root_));
    fs::create_directories(ToPath(root_));
  }
  void TearDown() override { fs::remove_all(ToPath(root_)); }
  std::string Path(const std::string& name) const { return root_ + kPathDelimiter + name; }
  static std::string Read(const std::string& path) {
    std::ifstream in(ToPath(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(ToPath(root_)), {})); }
  std::string root_;
};

}  // namespace

TEST_F(PlatformFiles, ReplaceFileStreamAppearsOnlyWhenCommitted) {
  const std::string target = Path("файл.txt");
  std::ofstream(ToPath(target)) << "old";
  {
    TReplaceFileStream file(target);
    EXPECT_NE(file.TempName(), target);
    file.WriteBuffer("new content", 11);
    EXPECT_EQ(Read(target), "old");  // the old file stays until the new one is complete
    EXPECT_EQ(Entries(), 2u);
  }
  // Not committed: the temporary file is gone, the old one untouched.
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(Entries(), 1u);

  TReplaceFileStream file(target);
  file.WriteBuffer("new content", 11);
  file.SetModificationTime(1000000000);
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(Read(target), "new content");
  EXPECT_EQ(Entries(), 1u);
  int64_t stamp = 0;
  ASSERT_TRUE(GetFileModificationTime(target, stamp));
  const auto written = fs::last_write_time(ToPath(target));
  EXPECT_EQ(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::file_clock::to_sys(written).time_since_epoch())
          .count(),
      1000000000);

  EXPECT_THROW(TReplaceFileStream(Path("missing folder") + kPathDelimiter + "x"), common::EFCreateError);
}

TEST_F(PlatformFiles, LinksAreReplacedNotFollowed) {
  const std::string outside = Path("outside.txt");
  std::ofstream(ToPath(outside)) << "keep";
  const std::string link = Path("link.txt");
  if (!support::MakeFileLink(outside, link)) GTEST_SKIP() << support::kNoLinks;
  EXPECT_TRUE(IsLink(link));
  EXPECT_FALSE(IsLink(outside));
  EXPECT_FALSE(IsLink(Path("none")));
  TReplaceFileStream file(link);
  file.WriteBuffer("mine", 4);
  ASSERT_TRUE(file.Commit());
  EXPECT_FALSE(IsLink(link));
  EXPECT_EQ(Read(link), "mine");
  EXPECT_EQ(Read(outside), "keep");
  // Setting a link's time leaves its target's alone.
  ASSERT_TRUE(support::MakeFileLink(outside, link + "2"));
  EXPECT_TRUE(SetFileModificationTime(link + "2", 86400));
  int64_t target_seconds = 0;
  ASSERT_TRUE(GetFileModificationSeconds(outside, target_seconds));
  EXPECT_GT(target_seconds, int64_t{86400});
}

TEST(DynamicLibrary, LoadsLooksUpAndReportsFailures) {
  TLibraryError error;
  EXPECT_EQ(LoadDynamicLibrary("/no/such/library" + std::string(kLibraryExtension), error), nullptr);
  EXPECT_FALSE(error.text.empty());
#ifdef _WIN32
  // A bare name is looked for in the program's folder only, never on the
  // system's search path.
  EXPECT_EQ(LoadDynamicLibrary("kernel32.dll", error), nullptr);
  wchar_t system[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  const std::string system_library = FromPath(std::filesystem::path(system) / "kernel32.dll");
  const char* symbol = "GetTickCount";
#else
  const char* system_library = "libz.so.1";
  const char* symbol = "zlibVersion";
#endif
  TLibraryHandle library = LoadDynamicLibrary(std::string(system_library), error);
  ASSERT_NE(library, nullptr) << error.text;
  EXPECT_NE(LibrarySymbol(library, symbol), nullptr);
  EXPECT_EQ(LibrarySymbol(library, "no_such_symbol_here"), nullptr);
  EXPECT_EQ(LibrarySymbol(nullptr, symbol), nullptr);
  FreeDynamicLibrary(library);
}
