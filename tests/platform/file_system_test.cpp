#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "common/stream.h"
#include "platform/replace_file_stream.h"
#include "platform/text_conversion.h"
#include "support/folder_link.h"
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

TEST_F(FileSystem, CopyReplacesAndIdentityTellsFilesApart) {
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
  ASSERT_TRUE(GetFileIdentity(root_ + kPathDelimiter + "." + kPathDelimiter, two));
  EXPECT_EQ(one, two);
  ASSERT_TRUE(GetFileIdentity(b, two));
  EXPECT_NE(one, two);
}

TEST_F(FileSystem, LinksAreSeenAndFollowed) {
  const std::string link = root_ + kPathDelimiter + "ссылка";
  if (!support::MakeFolderLink(root_ + kPathDelimiter + "Папка", link)) GTEST_SKIP() << support::kNoFolderLinks;
  EXPECT_TRUE(IsLink(link));
  EXPECT_EQ(GetPathKind(link, false), TPathKind::Link);
  EXPECT_EQ(GetPathKind(link, true), TPathKind::Directory);
  TFileIdentity one, two;
  ASSERT_TRUE(GetFileIdentity(root_ + kPathDelimiter + "Папка", one));
  ASSERT_TRUE(GetFileIdentity(link, two));
  EXPECT_EQ(one, two);
  // The real path resolves the link and keeps a part that does not exist yet.
  EXPECT_EQ(RealPath(link + kPathDelimiter + "новая"),
            RealPath(root_ + kPathDelimiter + "Папка") + kPathDelimiter + "новая");
}

TEST_F(FileSystem, ModificationTimesCompareEqualOnlyWhenTheStampsAgree) {
  const std::string a = root_ + kPathDelimiter + "часть001.zip", b = root_ + kPathDelimiter + "часть002.zip";
  Touch(a);
  Touch(b);
  // std::filesystem of MinGW sets whole seconds only, so the times are set here.
  const int64_t when = 1426118400;  // 2015-03-12 00:00:00 UTC
  ASSERT_TRUE(SetFileModificationTime(a, when));
  ASSERT_TRUE(SetFileModificationTime(b, when));
  int64_t ta = 0, tb = 0;
  ASSERT_TRUE(GetFileModificationTime(a, ta));
  ASSERT_TRUE(GetFileModificationTime(b, tb));
  EXPECT_EQ(ta, tb);
  ASSERT_TRUE(SetFileModificationTime(b, when - 5));
  ASSERT_TRUE(GetFileModificationTime(b, tb));
  EXPECT_LT(tb, ta);
  EXPECT_FALSE(GetFileModificationTime(root_ + kPathDelimiter + "нет.zip", ta));
  int64_t seconds = 0;
  ASSERT_TRUE(GetFileModificationSeconds(b, seconds));
  EXPECT_EQ(seconds, when - 5);
  EXPECT_FALSE(GetFileModificationSeconds(root_ + kPathDelimiter + "нет.zip", seconds));
}

TEST_F(FileSystem, KindsAndSizes) {
  const std::string file = root_ + kPathDelimiter + "файл.zip", folder = root_ + kPathDelimiter + "Папка";
  Touch(file, "12345");
  for (bool follow : {false, true}) {
    EXPECT_EQ(GetPathKind(file, follow), TPathKind::File);
    EXPECT_EQ(GetPathKind(folder, follow), TPathKind::Directory);
    EXPECT_EQ(GetPathKind(root_ + kPathDelimiter + "нет", follow), TPathKind::None);
    EXPECT_EQ(GetPathKind("", follow), TPathKind::None);
  }
  int64_t size = 0;
  ASSERT_TRUE(GetFileLength(file, size));
  EXPECT_EQ(size, 5);
  EXPECT_FALSE(GetFileLength(folder, size));
  EXPECT_FALSE(GetFileLength(root_ + kPathDelimiter + "нет", size));
  // One level at a time, and never over something that exists.
  EXPECT_TRUE(MakeFolder(folder + kPathDelimiter + "ещё"));
  EXPECT_FALSE(MakeFolder(folder + kPathDelimiter + "ещё"));
  EXPECT_FALSE(MakeFolder(file));
  EXPECT_FALSE(MakeFolder(root_ + kPathDelimiter + "нет" + kPathDelimiter + "глубже"));
  EXPECT_FALSE(ForceDirectories(file + kPathDelimiter + "под файлом"));
  EXPECT_FALSE(ForceDirectories(""));
}

// Output folders and the rule's levels below them easily pass the 260
// characters that Windows allows a path without its long-path form.
TEST_F(FileSystem, DeepTreesPastTheClassicLengthLimit) {
  std::string deep = root_;
  for (int i = 0; Utf8ToUtf16(deep).size() < 320; ++i)
    deep += kPathDelimiter + ("Кадастровый квартал " + std::to_string(i));
  ASSERT_TRUE(ForceDirectories(deep + kPathDelimiter));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_EQ(GetPathKind(deep, false), TPathKind::Directory);
  const std::string file = deep + kPathDelimiter + "документ.xml", copy = deep + kPathDelimiter + "копия.xml";
  {
    TReplaceFileStream out(file);
    out.WriteBuffer("<a/>", 4);
    out.SetModificationTime(1426118400);
    ASSERT_TRUE(out.Commit());
  }
  ASSERT_TRUE(CopyFileReplace(file, copy));
  {
    common::TFileStream in(copy, common::TFileMode::fmOpenRead);
    char text[4] = {};
    in.ReadBuffer(text, 4);
    EXPECT_EQ(std::string(text, 4), "<a/>");
  }
  int64_t size = 0, seconds = 0;
  ASSERT_TRUE(GetFileLength(file, size));
  EXPECT_EQ(size, 4);
  ASSERT_TRUE(GetFileModificationSeconds(file, seconds));
  EXPECT_EQ(seconds, 1426118400);
  TFileIdentity one, two;
  ASSERT_TRUE(GetFileIdentity(file, one));
  ASSERT_TRUE(GetFileIdentity(copy, two));
  EXPECT_NE(one, two);
  std::set<std::string> names;
  ASSERT_TRUE(EnumerateDirectory(deep, [&](const TDirectoryEntry& e) { names.insert(e.name); }));
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "документ.xml", "копия.xml"}));
  EXPECT_EQ(RealPath(deep + kPathDelimiter + "." + kPathDelimiter + "нет"), RealPath(deep) + kPathDelimiter + "нет");
  EXPECT_TRUE(MakeFolder(deep + kPathDelimiter + "ещё"));
}

TEST(Executable, FolderEndsWithDelimiterAndHoldsTheProgram) {
  const std::string dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), kPathDelimiter);
  EXPECT_TRUE(FileExists(ExecutablePath()));
  EXPECT_EQ(ExecutablePath().rfind(dir, 0), 0u);
}
