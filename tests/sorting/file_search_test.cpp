#include "sorting/file_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/file_system.h"
#include "support/folder_link.h"
#include "support/temp_folder.h"

using namespace sorting;
namespace fs = std::filesystem;

namespace {

class SearchFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { root_ = scratch_.Path(); }
  // rel separates its levels with "/"; the result has the platform's delimiter.
  std::string Path(std::string rel) const {
    std::replace(rel.begin(), rel.end(), '/', D);
    return rel.empty() ? root_ : root_ + D + rel;
  }
  void Dir(const std::string& rel) { fs::create_directories(platform::ToPath(Path(rel))); }
  void File(const std::string& rel) { std::ofstream(platform::ToPath(Path(rel))) << "PK"; }
  std::vector<std::string> Found(bool recursive, const std::string& folder) {
    std::vector<std::string> list;
    SearchFiles(folder, "zip", recursive, list);
    return list;
  }
  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  const char D = platform::kPathDelimiter;
  support::TTempFolder scratch_{"vorlanex_search_test"};
  std::string root_;
};

}  // namespace

TEST_F(SearchFilesTest, MatchesTheExtensionIgnoringCaseAndNothingElse) {
  File("a.zip");
  File("B.ZIP");
  File("c.Zip");
  File("d.zip.bak");
  File("zip");
  File(".hidden.zip");
  File("Кадастр.zip");
  Dir("folder.zip");
  EXPECT_EQ(Sorted(Found(false, root_)),
            Sorted({Path(".hidden.zip"), Path("B.ZIP"), Path("a.zip"), Path("c.Zip"), Path("Кадастр.zip")}));
}

TEST_F(SearchFilesTest, TrailingDelimiterMakesNoDifference) {
  File("a.zip");
  EXPECT_EQ(Found(false, root_), std::vector<std::string>{Path("a.zip")});
  EXPECT_EQ(Found(false, root_ + D), std::vector<std::string>{Path("a.zip")});
}

TEST_F(SearchFilesTest, RecursionIsDepthFirstAndOptional) {
  File("top.zip");
  Dir("sub.zip");
  File("sub.zip/inner.zip");
  Dir("sub.zip/deeper");
  File("sub.zip/deeper/deep.ZIP");
  EXPECT_EQ(Found(false, root_), std::vector<std::string>{Path("top.zip")});

  const auto all = Found(true, root_);
  EXPECT_EQ(Sorted(all), Sorted({Path("top.zip"), Path("sub.zip/inner.zip"), Path("sub.zip/deeper/deep.ZIP")}));
  // The files of a folder stand together: deep.ZIP directly before or after inner.zip.
  const auto inner = std::find(all.begin(), all.end(), Path("sub.zip/inner.zip"));
  const auto deep = std::find(all.begin(), all.end(), Path("sub.zip/deeper/deep.ZIP"));
  EXPECT_EQ(std::abs(inner - deep), 1);
}

TEST_F(SearchFilesTest, MissingFolderAddsNothingAndListIsOnlyAppended) {
  std::vector<std::string> list{"kept"};
  SearchFiles(Path("missing"), "zip", true, list);
  EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

TEST_F(SearchFilesTest, LinkLoopsTerminateButLinkedFoldersAreSearched) {
  Dir("a");
  File("a/x.zip");
  Dir("other");
  File("other/y.zip");
  if (!support::MakeFolderLink(root_, Path("a/loop"))) GTEST_SKIP() << support::kNoFolderLinks;
  ASSERT_TRUE(support::MakeFolderLink(Path("other"), Path("a/link")));
  const auto all = Found(true, root_);
  EXPECT_EQ(Sorted(all), Sorted({Path("a/x.zip"), Path("a/link/y.zip"), Path("other/y.zip")}));
}
