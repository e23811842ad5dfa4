// Copies that appear whole or not at all, temporary names and their clean-up,
// and the reasons of failed calls in the users' words.

#include "platform/file_copy.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/file_system.h"
#include "platform/system_error.h"
#include "platform/temporary_files.h"
#include "support/temp_folder.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class FileCopy : public ::testing::Test {
 protected:
  void TearDown() override { SetCopyWriteFault({}); }
  std::string Path(const std::string& name) const { return scratch_ / name; }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(ToPath(path), std::ios::binary) << text;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(ToPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(ToPath(scratch_.Path())))
      names.insert(FromPath(entry.path().filename()));
    return names;
  }
  support::TTempFolder scratch_{"vorlanex_file_copy"};
};

// Bytes enough for a few blocks of the copy.
std::string Big(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 23);
  return text;
}

}  // namespace

TEST_F(FileCopy, ACopyAppearsWholeWithTheSourcesTime) {
  const std::string source = Path("архив.zip"), target = Path("копия.zip");
  const std::string bytes = Big(3 * 1024 * 1024 + 5);
  Write(source, bytes);
  ASSERT_TRUE(SetFileModificationTime(source, 1300000000));
  Write(target, "old");
  ASSERT_FALSE(CopyFileWhole(source, target));
  EXPECT_EQ(Read(target), bytes);
  int64_t a = 0, b = 0;
  ASSERT_TRUE(GetFileModificationTime(source, a));
  ASSERT_TRUE(GetFileModificationTime(target, b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(Names(), (std::set<std::string>{"архив.zip", "копия.zip"}));

  const std::error_code missing = CopyFileWhole(Path("нет.zip"), target);
  EXPECT_EQ(missing, std::errc::no_such_file_or_directory);
  EXPECT_EQ(ErrorReason(missing), "файл или папка не найдены");
  EXPECT_EQ(Read(target), bytes);
}

TEST_F(FileCopy, AFullDiskLeavesNoPartialFileAndTheEarlierCopyIntact) {
  const std::string source = Path("a.zip"), target = Path("b.zip");
  Write(source, Big(2 * 1024 * 1024 + 1));
  Write(target, "the earlier copy");
  // The second block finds the disk full.
  int64_t failed_at = -1;
  std::string failed_name;
  SetCopyWriteFault([&](const std::string& name, int64_t offset) {
    if (offset == 0) return std::error_code();
    failed_name = name;
    failed_at = offset;
    return std::make_error_code(std::errc::no_space_on_device);
  });
  const std::error_code error = CopyFileWhole(source, target);
  EXPECT_EQ(ErrorReason(error), "нет места на диске");
  EXPECT_EQ(failed_at, 1024 * 1024);
  EXPECT_EQ(failed_name, target);
  EXPECT_EQ(Read(target), "the earlier copy");
  EXPECT_EQ(Names(), (std::set<std::string>{"a.zip", "b.zip"}));

  // No earlier copy: no file at all under the name.
  EXPECT_TRUE(CopyFileWhole(source, Path("c.zip")));
  EXPECT_FALSE(FileExists(Path("c.zip")));
}

TEST_F(FileCopy, AStopEndsTheCopyAndTakesItsTemporaryFileAway) {
  const std::string source = Path("a.zip"), target = Path("b.zip");
  Write(source, Big(3 * 1024 * 1024));
  int asked = 0;
  bool temporary_seen = false;
  const std::error_code error = CopyFileWhole(source, target, [&] {
    for (const std::string& name : Names()) temporary_seen = temporary_seen || name.rfind(".vorlanex-", 0) == 0;
    return ++asked == 2;
  });
  EXPECT_EQ(error, std::errc::operation_canceled);
  EXPECT_TRUE(temporary_seen);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(Names(), (std::set<std::string>{"a.zip"}));
}

TEST_F(FileCopy, RenameReplacesFilesButNeverFolders) {
  Write(Path("a"), "new");
  Write(Path("b"), "old");
  EXPECT_FALSE(RenameReplace(Path("a"), Path("b")));
  EXPECT_EQ(Read(Path("b")), "new");
  ASSERT_TRUE(ForceDirectories(Path("folder")));
  Write(Path("c"), "x");
  EXPECT_EQ(RenameReplace(Path("c"), Path("folder")), std::errc::is_a_directory);
  EXPECT_EQ(Read(Path("c")), "x");

  std::error_code error;
  Write(Path("d"), "new");
  EXPECT_TRUE(SameContent(Path("b"), Path("d"), error));
  Write(Path("d"), "nex");
  EXPECT_FALSE(SameContent(Path("b"), Path("d"), error));
  EXPECT_FALSE(error);
  EXPECT_FALSE(SameContent(Path("b"), Path("missing"), error));
  EXPECT_TRUE(error);

  EXPECT_FALSE(CreateFolders(Path("x") + kPathDelimiter + "y"));
  EXPECT_EQ(CreateFolders(Path("b") + kPathDelimiter + "y"), std::errc::not_a_directory);
}

TEST(TemporaryFiles, NamesCarryTheProcessAndAreToldFromOthers) {
  const std::string name = TemporaryName("folder", kTemporaryFileExtension);
  const std::string prefix =
      std::string("folder") + kPathDelimiter + ".vorlanex-" + std::to_string(CurrentProcessId()) + "-";
  EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
  EXPECT_NE(TemporaryName("folder", kTemporaryFileExtension), name);
  uint64_t process = 0;
  EXPECT_TRUE(ParseTemporaryName(".vorlanex-123-4.tmp", process));
  EXPECT_EQ(process, 123u);
  EXPECT_TRUE(ParseTemporaryName(".vorlanex-7-0.stage", process));
  EXPECT_EQ(process, 7u);
  for (const char* other : {".vorlanex-123-4.zip", ".vorlanex-12a-4.tmp", ".vorlanex--4.tmp", ".vorlanex-1.tmp",
                            "vorlanex-1-2.tmp", ".vorlanex-1-2-.tmp", ".vorlanex-1-2.tmp.sig"})
    EXPECT_FALSE(ParseTemporaryName(other, process)) << other;
  EXPECT_TRUE(ProcessRunning(CurrentProcessId()));
}

TEST_F(FileCopy, StaleTemporariesOfADeadRunGoOthersStay) {
  // No process runs under this id (above the largest the system hands out).
  const std::string dead = ".vorlanex-4194999-";
  const std::string ours = ".vorlanex-" + std::to_string(CurrentProcessId()) + "-99";
  Write(Path(dead + "1.tmp"), "old");
  Write(Path(dead + "2.tmp"), "just written");
  ASSERT_TRUE(ForceDirectories(Path(dead + "3.stage") + kPathDelimiter + "docs"));
  Write(Path(dead + "3.stage") + kPathDelimiter + "docs" + kPathDelimiter + "doc.xml", "x");
  Write(Path(ours + ".tmp"), "ours");
  Write(Path(dead + "4.stage"), "a file with a folder's name");
  Write(Path("doc.xml"), "the user's");
  Write(Path(".vorlanex-notes.txt"), "the user's");
  for (const std::string& name : {dead + "1.tmp", dead + "3.stage", ours + ".tmp", dead + "4.stage"})
    ASSERT_TRUE(SetFileModificationTime(Path(name), 1000000000));
  EXPECT_EQ(RemoveStaleTemporaries(scratch_.Path()), 2);
  EXPECT_EQ(Names(),
            (std::set<std::string>{dead + "2.tmp", ours + ".tmp", dead + "4.stage", "doc.xml", ".vorlanex-notes.txt"}));
}

TEST(SystemError, ReasonsInTheUsersWords) {
  EXPECT_EQ(ErrorReason({}), "");
  EXPECT_EQ(ErrorReason(std::make_error_code(std::errc::no_space_on_device)), "нет места на диске");
  EXPECT_EQ(ErrorReason(std::make_error_code(std::errc::read_only_file_system)), "только для чтения");
  EXPECT_EQ(ErrorReason(std::make_error_code(std::errc::permission_denied)), "нет доступа");
  EXPECT_EQ(ErrorReason(std::make_error_code(std::errc::operation_not_permitted)), "нет доступа");
  // std::filesystem reports in the system category.
  std::error_code error;
  EXPECT_EQ(fs::file_size(ToPath("/nonexistent/vorlanex/file"), error), static_cast<uintmax_t>(-1));
  EXPECT_EQ(ErrorReason(error), "файл или папка не найдены");
  const std::string unknown = ErrorReason(std::make_error_code(std::errc::protocol_error));
  EXPECT_EQ(unknown.rfind("ошибка ", 0), 0u) << unknown;
#ifndef _WIN32
  errno = ENOSPC;
  EXPECT_EQ(ErrorReason(LastSystemError()), "нет места на диске");
#endif
}
