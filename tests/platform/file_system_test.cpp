#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "support/temp_folder.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {
class FileSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratch_.Path();
    ASSERT_TRUE(ForceDirectories(root_ + kPathDelimiter + "Папка" + kPathDelimiter + "вложенная"));
  }
  void Touch(const std::string& path, const std::string& text = "x") { std::ofstream(ToPath(path)) << text; }
  support::TTempFolder scratch_{"vorlanex_fs_test"};
  std::string root_;
};
}  // namespace

TEST_F(FileSystem, EnumeratesEveryEntryWithItsKind) {
  Touch(root_ + kPathDelimiter + "архив.zip");
  Touch(root_ + kPathDelimiter + ".hidden.zip");
  std::set<std::string> files, dirs;
  ASSERT_TRUE(
      EnumerateDirectory(root_, [&](const TDirectoryEntry& e) { (e.is_directory ? dirs : files).insert(e.name); }));
  EXPECT_EQ(files, (std::set<std::string>{"архив.zip", ".hidden.zip"}));
  EXPECT_EQ(dirs, (std::set<std::string>{".", "..", "Папка"}));
  EXPECT_FALSE(EnumerateDirectory(root_ + kPathDelimiter + "нет", [](const TDirectoryEntry&) { FAIL(); }));
}

TEST_F(FileSystem, CopyReplacesAndIdentityFollowsLinks) {
  const std::string a = root_ + kPathDelimiter + "a.zip",
                    b = root_ + kPathDelimiter + "Папка" + kPathDelimiter + "a.zip";
  Touch(a, "new");
  Touch(b, "old content");
  ASSERT_TRUE(CopyFileReplace(a, b));
  std::ifstream in(ToPath(b));
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "new");
  EXPECT_FALSE(CopyFileReplace(root_ + kPathDelimiter + "missing", b));
  EXPECT_TRUE(FileExists(b));
  EXPECT_FALSE(FileExists(root_));
  EXPECT_TRUE(DirectoryExists(root_));

  TFileIdentity one, two;
  ASSERT_TRUE(GetFileIdentity(root_, one));
  std::error_code ec;
  fs::create_directory_symlink(ToPath(root_), ToPath(root_ + kPathDelimiter + "link"), ec);
  if (!ec) {
    ASSERT_TRUE(GetFileIdentity(root_ + kPathDelimiter + "link", two));
    EXPECT_EQ(one, two);
  }
}

TEST_F(FileSystem, ModificationTimesCompareEqualOnlyWhenTheStampsAgree) {
  const std::string a = root_ + kPathDelimiter + "часть001.zip", b = root_ + kPathDelimiter + "часть002.zip";
  Touch(a);
  Touch(b);
  const auto when = fs::last_write_time(ToPath(a));
  fs::last_write_time(ToPath(b), when);
  int64_t ta = 0, tb = 0;
  ASSERT_TRUE(GetFileModificationTime(a, ta));
  ASSERT_TRUE(GetFileModificationTime(b, tb));
  EXPECT_EQ(ta, tb);
  fs::last_write_time(ToPath(b), when - std::chrono::seconds(5));
  ASSERT_TRUE(GetFileModificationTime(b, tb));
  EXPECT_LT(tb, ta);
  EXPECT_FALSE(GetFileModificationTime(root_ + kPathDelimiter + "нет.zip", ta));
}

TEST(Executable, FolderEndsWithDelimiterAndHoldsTheProgram) {
  const std::string dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), kPathDelimiter);
  EXPECT_TRUE(FileExists(ExecutablePath()));
  EXPECT_EQ(ExecutablePath().rfind(dir, 0), 0u);
}
