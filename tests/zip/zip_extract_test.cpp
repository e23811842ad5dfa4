// Extraction through the component and the engine: into memory, into a
// folder, and the rules that hold whatever an archive says.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_system.h"
#include "platform/text_conversion.h"
#include "support/folder_link.h"
#include "support/zip_writer.h"
#include "zip/zip_archive.h"
#include "zip/zip_engine_loader.h"
#include "zip_test_util.h"

using namespace zip;
using support::TZipWriter;
using support::TZipWriterMethod;
using ziptest::TRecordingInteraction;
using ziptest::TTempFolder;
namespace fs = std::filesystem;

namespace {

std::string Native(std::string s) {
  for (char& c : s)
    if (c == '/') c = platform::kPathDelimiter;
  return s;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Bytes(const common::TMemoryStream* stream) {
  return stream ? std::string(reinterpret_cast<const char*>(stream->Memory()),
                              static_cast<size_t>(const_cast<common::TMemoryStream*>(stream)->Size()))
                : std::string("<none>");
}

// Every file and folder below a folder, relative, with "/".
std::vector<std::string> Tree(const std::string& root) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(platform::ToPath(root), ec); it != fs::recursive_directory_iterator();
       ++it) {
    std::string name = platform::FromPath(fs::relative(it->path(), platform::ToPath(root)).generic_u8string());
    if (it->is_directory() && !it->is_symlink()) name += "/";
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Sets the 32-bit field at the offset of entry i's central header.
void PatchCentral(std::string& archive, int entry, size_t field, uint32_t value) {
  size_t at = archive.find("PK\x01\x02");
  for (int i = 0; i < entry; ++i) at = archive.find("PK\x01\x02", at + 4);
  for (int b = 0; b < 4; ++b) archive[at + field + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
}
constexpr size_t kCentralCompressed = 20, kCentralUncompressed = 24;

class ZipExtract : public ::testing::Test {
 protected:
  // A folder per test: ctest runs them side by side.
  ZipExtract()
      : dir_(std::string("vorlanex_zip_extract_") + ::testing::UnitTest::GetInstance()->current_test_info()->name()) {
    zip_.SetInteraction(&ui_);
    zip_.SetEngineDirectory(platform::ExecutableDirectory());
    zip_.OnSkipped = [this](const std::string& file, TZipSkipTypes type, int&) { skipped_.emplace_back(file, type); };
    zip_.OnMessage = [this](int code, const std::string& text) {
      if (code != 0) messages_.push_back(text);
    };
  }
  std::string Open(const TZipWriter& w, const std::string& name = "a.zip") {
    w.Save(dir_ / name);
    zip_.SetZipFileName(dir_ / name);
    return dir_ / name;
  }
  std::string Out() {
    const std::string out = dir_ / "out";
    fs::create_directories(platform::ToPath(out));
    return out;
  }
  void Unpack(TZipExtrOpts options = ExtrDirNames | ExtrOverWrite) {
    zip_.SetExtrBaseDir(Out());
    zip_.IncludeSpecs().push_back("*.*");
    zip_.SetExtrOptions(options);
    zip_.ExtractToFolder();
  }
  static TZipWriter Document() {
    TZipWriter w;
    w.Add("doc.xml", "<doc>the document</doc>");
    w.AddDirectory("sig");
    w.Add("sig/doc.sig", "signature", TZipWriterMethod::zwmStored);
    return w;
  }
  TTempFolder dir_;
  TRecordingInteraction ui_;
  TZipArchive zip_;
  std::vector<std::pair<std::string, TZipSkipTypes>> skipped_;
  std::vector<std::string> messages_;
};

}  // namespace

TEST_F(ZipExtract, ExtractsOneEntryIntoTheOwnedStream) {
  TZipWriter w = Document();
  w.Add("Документы/выписка.xml", std::string(300000, 'x') + "end").flags = support::kFlagUtf8Name;
  Open(w);
  zip_.IncludeSpecs() = {"keep.me"};
  common::TMemoryStream* first = zip_.ExtractToMemory(" doc.xml\t");
  ASSERT_NE(first, nullptr) << zip_.ErrMsg();
  EXPECT_EQ(Bytes(first), "<doc>the document</doc>");
  EXPECT_EQ(first->Position(), first->Size());
  EXPECT_EQ(zip_.SuccessCount(), 1);
  EXPECT_EQ(zip_.ErrCode(), 0);
  EXPECT_EQ(zip_.IncludeSpecs(), std::vector<std::string>{"keep.me"});
  EXPECT_TRUE(ui_.shown.empty());

  // The second call reuses the stream; the first entry's bytes are gone. Case
  // and delimiters of the name do not matter.
  common::TMemoryStream* second = zip_.ExtractToMemory(Native("документы/ВЫПИСКА.xml"));
  EXPECT_EQ(second, first);
  EXPECT_EQ(Bytes(second), std::string(300000, 'x') + "end");
  EXPECT_EQ(zip_.ExtractToMemory("документы\\выписка.xml"), first);

  // Not in the archive: nothing, no error, an empty stream.
  EXPECT_EQ(zip_.ExtractToMemory("other.xml"), nullptr);
  EXPECT_EQ(zip_.SuccessCount(), 0);
  EXPECT_EQ(zip_.OutputStream()->Size(), 0);
  EXPECT_EQ(zip_.ErrCode(), 0);
  EXPECT_EQ(zip_.IncludeSpecs(), std::vector<std::string>{"keep.me"});
  EXPECT_FALSE(ZipEngineLoader().Loaded());  // each run held the library only while it ran
}

TEST_F(ZipExtract, NamesThatCannotBeExtracted) {
  Open(Document());
  // Any engine call would be error 19: the folder exists but holds no library.
  zip_.SetEngineDirectory(dir_ / "no engine here");
  ASSERT_TRUE(platform::ForceDirectories(dir_ / "no engine here"));
  EXPECT_EQ(zip_.ExtractToMemory("*.xml"), nullptr);
  EXPECT_EQ(zip_.ErrCode(), 107);
  EXPECT_EQ(zip_.ErrMsg(), "Wildcards are not allowed in Filename or file specification");
  EXPECT_EQ(zip_.ExtractToMemory("  "), nullptr);
  EXPECT_EQ(zip_.ErrCode(), 11);
  EXPECT_EQ(zip_.ErrMsg(), "Error - no files to zip!");
  EXPECT_EQ(ui_.shown.size(), 2u);

  // Without the engine the failure is reported, nothing comes out, and the
  // caller's specifications are kept.
  zip_.IncludeSpecs() = {"*.*"};
  EXPECT_EQ(zip_.ExtractToMemory("doc.xml"), nullptr);
  EXPECT_EQ(zip_.ErrCode(), 19);
  EXPECT_EQ(zip_.IncludeSpecs(), std::vector<std::string>{"*.*"});

  // An empty name takes the first specification.
  zip_.SetEngineDirectory(platform::ExecutableDirectory());
  zip_.IncludeSpecs() = {" doc.xml ", "other"};
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("")), "<doc>the document</doc>");
  EXPECT_EQ(zip_.IncludeSpecs(), (std::vector<std::string>{" doc.xml ", "other"}));

  TZipArchive inactive;
  inactive.SetActive(false);
  EXPECT_EQ(inactive.ExtractToFolder(), 197);
  EXPECT_EQ(inactive.ExtractToMemory("doc.xml"), nullptr);
}

TEST_F(ZipExtract, UnpacksTheWholeArchiveReplacingFiles) {
  Open(Document());
  const std::string out = Out();
  support::SaveBytes(out + platform::kPathDelimiter + "doc.xml", "old content that is longer");
  bool asked = false;
  zip_.OnExtractOverwrite = [&](const std::string&, bool, bool& overwrite, int) { asked = overwrite = true; };
  zip_.SetEngineLoad(true);
  ASSERT_TRUE(zip_.EngineLoad());
  Unpack();
  EXPECT_EQ(zip_.ErrCode(), 0) << zip_.ErrMsg();
  EXPECT_EQ(zip_.SuccessCount(), 2);
  EXPECT_FALSE(asked);
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"doc.xml", "sig/", "sig/doc.sig"}));
  EXPECT_EQ(ReadFile(out + platform::kPathDelimiter + "doc.xml"), "<doc>the document</doc>");
  EXPECT_EQ(zip_.IncludeSpecs(), std::vector<std::string>{"*.*"});
  // The stored time stamp (2024-05-17 10:30, local time) is the file's.
  std::tm tm{};
  tm.tm_year = 124, tm.tm_mon = 4, tm.tm_mday = 17, tm.tm_hour = 10, tm.tm_min = 30, tm.tm_isdst = -1;
  const auto stamp = fs::last_write_time(platform::ToPath(out + platform::kPathDelimiter + "doc.xml"));
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::file_clock::to_sys(stamp).time_since_epoch())
                .count(),
            static_cast<int64_t>(std::mktime(&tm)));

  // A second unpack adds a second "*.*", which changes nothing; an extraction
  // into memory afterwards is not affected by it.
  Unpack();
  EXPECT_EQ(zip_.IncludeSpecs(), (std::vector<std::string>{"*.*", "*.*"}));
  EXPECT_EQ(zip_.SuccessCount(), 2);
  EXPECT_EQ(Bytes(zip_.ExtractToMemory(Native("sig/doc.sig"))), "signature");
  EXPECT_EQ(zip_.SuccessCount(), 1);
  zip_.SetEngineLoad(false);
  EXPECT_FALSE(ZipEngineLoader().Loaded());
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(ZipExtract, FlatUnpackAndTheOverwriteQuestion) {
  Open(Document());
  const std::string out = Out();
  Unpack(0);
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"doc.sig", "doc.xml"}));

  // Existing files without ExtrOverWrite: asked, kept when nobody answers.
  support::SaveBytes(out + platform::kPathDelimiter + "doc.xml", "mine");
  Unpack(0);
  EXPECT_EQ(ReadFile(out + platform::kPathDelimiter + "doc.xml"), "mine");
  EXPECT_EQ(zip_.SuccessCount(), 0);
  ASSERT_EQ(skipped_.size(), 2u);
  EXPECT_EQ(skipped_[0].second, stNoOverwrite);

  std::vector<std::string> asked;
  zip_.OnExtractOverwrite = [&](const std::string& file, bool, bool& overwrite, int) {
    asked.push_back(file);
    overwrite = file == "doc.xml";
  };
  Unpack(0);
  EXPECT_EQ(asked, (std::vector<std::string>{"doc.xml", Native("sig/doc.sig")}));
  EXPECT_EQ(ReadFile(out + platform::kPathDelimiter + "doc.xml"), "<doc>the document</doc>");
  EXPECT_EQ(zip_.SuccessCount(), 1);

  // Freshen replaces only older files and adds none.
  fs::remove(platform::ToPath(out + platform::kPathDelimiter + "doc.sig"));
  support::SaveBytes(out + platform::kPathDelimiter + "doc.xml", "newer");
  Unpack(ExtrFreshen);
  EXPECT_EQ(Tree(out), std::vector<std::string>{"doc.xml"});
  EXPECT_EQ(ReadFile(out + platform::kPathDelimiter + "doc.xml"), "newer");
  platform::SetFileModificationTime(out + platform::kPathDelimiter + "doc.xml", 946684800);  // 2000
  Unpack(ExtrUpdate);
  EXPECT_EQ(Tree(out), (std::vector<std::string>{"doc.sig", "doc.xml"}));
  EXPECT_EQ(ReadFile(out + platform::kPathDelimiter + "doc.xml"), "<doc>the document</doc>");
}

TEST_F(ZipExtract, BaseFolderMustExist) {
  Open(Document());
  const std::string missing = dir_ / "missing";
  zip_.SetExtrBaseDir(missing);
  zip_.IncludeSpecs() = {"*.*"};
  zip_.SetExtrOptions(ExtrDirNames);
  EXPECT_EQ(zip_.ExtractToFolder(), 129);
  EXPECT_EQ(zip_.ErrMsg(), "Extract directory '" + missing + platform::kPathDelimiter + "' must exist");
  EXPECT_FALSE(fs::exists(platform::ToPath(missing)));
  EXPECT_EQ(zip_.SuccessCount(), 0);

  zip_.SetExtrOptions(ExtrDirNames | ExtrForceDirs);
  EXPECT_EQ(zip_.ExtractToFolder(), 0);
  EXPECT_EQ(Tree(missing), (std::vector<std::string>{"doc.xml", "sig/", "sig/doc.sig"}));

  // Testing needs no folder and writes nothing.
  TTempFolder empty("vorlanex_zip_extract_test_only");
  zip_.SetExtrBaseDir(empty.Path());
  zip_.SetExtrOptions(ExtrTest);
  EXPECT_EQ(zip_.ExtractToFolder(), 0);
  EXPECT_EQ(zip_.SuccessCount(), 2);
  EXPECT_TRUE(Tree(empty.Path()).empty());
}

TEST_F(ZipExtract, NothingIsWrittenOutsideTheBaseFolder) {
  TZipWriter w;
  const std::string outside = dir_ / "outside.txt";
  for (const std::string& name : {std::string("../escape.txt"), outside, std::string("C:\\x.txt"),
                                  std::string("C:x.txt"), std::string("a/../../up.txt"), std::string("..\\back.txt"),
                                  std::string("\\\\server\\share\\x.txt"), std::string("a/./b/../../../c.txt")})
    w.Add(name, "evil");
  w.Add("./fine/./ok.txt", "good");
  auto& link = w.Add("link", "/etc/passwd");
  link.host = support::kHostUnix;
  link.external_attributes = 0120777u << 16;
  Open(w);
  Unpack();
  EXPECT_EQ(zip_.SuccessCount(), 1);
  EXPECT_EQ(Tree(dir_.Path()), (std::vector<std::string>{"a.zip", "out/", "out/fine/", "out/fine/ok.txt"}));
  ASSERT_EQ(skipped_.size(), 9u);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(skipped_[i].second, stUnsafePath) << skipped_[i].first;
  EXPECT_EQ(skipped_[8].second, stLink);
  EXPECT_EQ(zip_.ErrCode(), 263);  // "Skipping: " and the first entry's reason
  EXPECT_EQ(messages_.size(), 9u);

  // A renaming handler is held to the same rules.
  TZipWriter two;
  two.Add("sub/x.txt", "one");
  two.Add("inner/y.txt", "two");
  Open(two, "two.zip");
  zip_.OnSetExtName = [](const std::string&, std::string& name, bool& changed) {
    name = "../renamed.txt";
    changed = true;
  };
  skipped_.clear();
  Unpack();
  EXPECT_FALSE(fs::exists(platform::ToPath(dir_ / "renamed.txt")));
  EXPECT_EQ(skipped_.size(), 2u);
}

TEST_F(ZipExtract, ExistingLinksAreFollowedOnlyInsideTheBaseFolder) {
  TZipWriter w;
  w.Add("./fine/./ok.txt", "good");
  Open(w);
  Unpack();
  const std::string out = Out();
  fs::create_directories(platform::ToPath(dir_ / "elsewhere"));
  if (!support::MakeFolderLink(dir_ / "elsewhere", out + "/sub")) GTEST_SKIP() << support::kNoFolderLinks;
  fs::create_directories(platform::ToPath(out + "/real"));
  ASSERT_TRUE(support::MakeFolderLink(out + "/real", out + "/inner"));
  TZipWriter links;
  links.Add("sub/x.txt", "through the link");
  links.Add("inner/y.txt", "inside");
  Open(links, "links.zip");
  skipped_.clear();
  Unpack();
  EXPECT_TRUE(Tree(dir_ / "elsewhere").empty());
  EXPECT_EQ(ReadFile(out + "/real/y.txt"), "inside");
  ASSERT_EQ(skipped_.size(), 1u);
  EXPECT_EQ(skipped_[0].first, Native("sub/x.txt"));
}

TEST_F(ZipExtract, CorruptEntriesFailAloneAndLeaveNoPartialFile) {
  TZipWriter w;
  w.Add("good.txt", "good data");
  w.Add("crc.txt", std::string(5000, 'c')).crc = 0x12345678;
  w.Add("long.txt", std::string(5000, 'l'));
  w.Add("short.txt", "short", TZipWriterMethod::zwmStored);
  w.Add("bomb.txt", std::string(100000, 'b'));
  std::string noise;
  for (int i = 0; i < 400; ++i) noise.push_back(static_cast<char>((i * 7919) % 251));
  w.Add("garbage.txt", noise);
  w.Add("huge.bin", "tiny", TZipWriterMethod::zwmStored);
  std::string bytes = w.Build();
  PatchCentral(bytes, 2, kCentralUncompressed, 100);         // declares less than the stream holds
  PatchCentral(bytes, 3, kCentralUncompressed, 9);           // stored: declares more than there is
  PatchCentral(bytes, 4, kCentralUncompressed, 0x7FFFFFFF);  // 2 GB from a few hundred bytes
  PatchCentral(bytes, 6, kCentralUncompressed, 0xFFFFFFF0);  // 4 GB stored in 4 bytes
  // The deflate data of garbage.txt is overwritten with bytes that do not inflate.
  const size_t at = bytes.find("garbage.txt") + 11;
  for (size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<char>(0xFF);
  support::SaveBytes(dir_ / "bad.zip", bytes);
  zip_.SetZipFileName(dir_ / "bad.zip");
  ASSERT_EQ(zip_.EntryCount(), 7) << zip_.ErrMsg();

  std::vector<std::string> crc_errors;
  zip_.OnCRC32Error = [&](const std::string& file, uint32_t, uint32_t stored, bool& extract) {
    crc_errors.push_back(file);
    extract = false;
    EXPECT_NE(stored, 0u);
  };
  Unpack();
  const std::string out = dir_ / "out";
  EXPECT_EQ(Tree(out), std::vector<std::string>{"good.txt"});  // no partial or temporary files
  EXPECT_EQ(zip_.SuccessCount(), 1);
  EXPECT_EQ(crc_errors, (std::vector<std::string>{"crc.txt", "long.txt", "short.txt", "huge.bin"}));
  EXPECT_EQ(skipped_.size(), 6u);
  EXPECT_EQ(zip_.ErrCode(), 258);
  EXPECT_EQ(zip_.ErrMsg(), "Error crc.txt: CRC error");

  // Extracting anyway keeps what came, never more than declared.
  zip_.OnCRC32Error = [](const std::string&, uint32_t, uint32_t, bool& extract) { extract = true; };
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("long.txt")), std::string(100, 'l'));
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("crc.txt")), std::string(5000, 'c'));
  zip_.OnCRC32Error = nullptr;
  EXPECT_EQ(zip_.ExtractToMemory("long.txt"), nullptr);
  EXPECT_EQ(zip_.ExtractToMemory("bomb.txt"), nullptr);
  EXPECT_EQ(zip_.ExtractToMemory("huge.bin"), nullptr);
  EXPECT_LT(zip_.OutputStream()->Capacity(), 1 << 24);  // nothing was sized after the false sizes

  // Test mode finds the same faults.
  zip_.SetExtrOptions(ExtrTest);
  zip_.IncludeSpecs() = {"*.*"};
  zip_.ExtractToFolder();
  EXPECT_EQ(zip_.SuccessCount(), 1);
}

TEST_F(ZipExtract, TruncatedArchivesAndBadLocalHeaders) {
  TZipWriter w;
  w.Add("first.txt", std::string(2000, 'f'));
  w.Add("second.txt", std::string(2000, 's'));
  std::string bytes = w.Build();
  // A local header that is not one.
  bytes[bytes.find("PK\x03\x04", 4) + 2] = 'X';
  support::SaveBytes(dir_ / "broken.zip", bytes);
  zip_.SetZipFileName(dir_ / "broken.zip");
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("first.txt")), std::string(2000, 'f'));
  EXPECT_EQ(zip_.ExtractToMemory("second.txt"), nullptr);
  EXPECT_EQ(zip_.ErrCode(), 258);
  EXPECT_NE(zip_.ErrMsg().find("no valid local header"), std::string::npos);

  // Data cut short: the directory still lists, every entry fails by itself.
  TZipWriter big;
  big.Add("big.bin", std::string(70000, 'q'), TZipWriterMethod::zwmStored);
  std::string whole = big.Build();
  PatchCentral(whole, 0, kCentralCompressed, 0x7FFFFFF0);
  support::SaveBytes(dir_ / "cut.zip", whole);
  zip_.SetZipFileName(dir_ / "cut.zip");
  EXPECT_EQ(zip_.ExtractToMemory("big.bin"), nullptr);
  EXPECT_NE(zip_.ErrMsg().find("the data ends early"), std::string::npos) << zip_.ErrMsg();
}

TEST_F(ZipExtract, PasswordsAndUnsupportedEntries) {
  zip_.SetZipFileName(std::string(VORLANEX_TEST_DATA) + "/zip/infozip-password.zip");
  ASSERT_EQ(zip_.EntryCount(), 2);
  // Unattended without a password: the warning, and the entry is skipped.
  zip_.SetUnattended(true);
  std::vector<std::string> notes;
  zip_.OnMessage = [&](int code, const std::string& text) {
    if (code == 0) notes.push_back(text);
  };
  EXPECT_EQ(zip_.ExtractToMemory("doc.xml"), nullptr);
  EXPECT_EQ(notes, std::vector<std::string>{"Warning - Unattended Extract: possible not all files extracted"});
  ASSERT_EQ(skipped_.size(), 1u);
  EXPECT_EQ(skipped_[0].second, stBadPassword);

  zip_.SetPassword("secret");
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("doc.xml")), "<doc>plain</doc>\n");

  // A wrong password: the handler is asked, up to PasswordReqCount times.
  zip_.SetPassword("wrong");
  zip_.SetPasswordReqCount(3);
  int asked = 0;
  zip_.OnPasswordError = [&](bool, std::string& password, const std::string& file, unsigned& repeat,
                             TZipPasswordAction& action) {
    EXPECT_EQ(file, "doc.xml");
    password = ++asked < 3 ? "still wrong" : "secret";
    repeat = 99;
    action = zpaOK;
  };
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("doc.xml")), "<doc>plain</doc>\n");
  EXPECT_EQ(asked, 3);
  // The built-in dialog when nobody handles it; its answer is the password.
  zip_.OnPasswordError = nullptr;
  zip_.SetUnattended(false);
  ui_.password = "secret";
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("doc.xml")), "<doc>plain</doc>\n");
  ASSERT_EQ(ui_.shown.size(), 1u);
  EXPECT_EQ(ui_.shown[0].caption, "Password");
  EXPECT_EQ(ui_.shown[0].text, "Enter Password doc.xml");
  // Cancelling the dialog cancels the operation, quietly.
  ui_.answer = zmrCancel;
  zip_.SetPassword("");
  EXPECT_EQ(zip_.ExtractToMemory("doc.xml"), nullptr);
  EXPECT_EQ(zip_.ErrCode(), 2);
  EXPECT_EQ(ui_.shown.size(), 2u);

  zip_.SetZipFileName(std::string(VORLANEX_TEST_DATA) + "/zip/7z-aes.zip");
  zip_.SetPassword("secret");
  skipped_.clear();
  EXPECT_EQ(zip_.ExtractToMemory("doc.xml"), nullptr);
  ASSERT_EQ(skipped_.size(), 1u);
  EXPECT_EQ(skipped_[0].second, stEncryption);

  TZipWriter w;
  w.Add("plain.txt", "p");
  w.Entries().back().method = TZipWriterMethod::zwmStored;
  Open(w);
  std::string bytes = w.Build();
  bytes[bytes.find("PK\x01\x02") + 10] = 14;  // another method
  support::SaveBytes(dir_ / "method.zip", bytes);
  zip_.SetZipFileName(dir_ / "method.zip");
  skipped_.clear();
  EXPECT_EQ(zip_.ExtractToMemory("plain.txt"), nullptr);
  ASSERT_EQ(skipped_.size(), 1u);
  EXPECT_EQ(skipped_[0].second, stCompressionUnknown);
}

TEST_F(ZipExtract, ReferenceArchivesAndSplitArchives) {
  zip_.SetZipFileName(std::string(VORLANEX_TEST_DATA) + "/zip/7z-cyrillic.zip");
  Unpack();
  EXPECT_EQ(zip_.SuccessCount(), 3) << zip_.ErrMsg();
  EXPECT_EQ(ReadFile(dir_ / "out/Документы/выписка.xml.sig"), "signature bytes\n");
  zip_.SetZipFileName(std::string(VORLANEX_TEST_DATA) + "/zip/sfx-stub.exe");
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("doc.xml")), "<doc>plain</doc>\n");
  zip_.SetZipFileName(std::string(VORLANEX_TEST_DATA) + "/zip/python-zip64.zip");
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("doc.xml")), "<doc>plain</doc>\n");

  TZipWriter w;
  for (int i = 0; i < 6; ++i)
    w.Add("part" + std::to_string(i) + ".txt", std::string(300, static_cast<char>('a' + i)),
          TZipWriterMethod::zwmStored);
  ASSERT_GE(w.SaveSplit(dir_ / "split.zip", 700).size(), 3u);
  zip_.SetZipFileName(dir_ / "split.zip");
  ASSERT_EQ(zip_.EntryCount(), 6) << zip_.ErrMsg();
  zip_.SetTempDir(dir_.Path());
  Unpack();
  EXPECT_EQ(zip_.SuccessCount(), 6) << zip_.ErrMsg();
  EXPECT_EQ(ReadFile(dir_ / "out/part5.txt"), std::string(300, 'f'));
  // The joined archive is gone again.
  for (const auto& e : fs::directory_iterator(platform::ToPath(dir_.Path())))
    EXPECT_EQ(e.path().filename().string().rfind("vxjoin", 0), std::string::npos);
}

TEST_F(ZipExtract, CancelAndExceptionsInHandlers) {
  TZipWriter w = Document();
  Open(w);
  zip_.OnProgress = [](const TZipProgressDetails& d) {
    if (d.kind == TZipProgressKind::pkNewFile) throw std::runtime_error("disk on fire");
  };
  EXPECT_EQ(zip_.ExtractToMemory("doc.xml"), nullptr);
  EXPECT_EQ(zip_.ErrCode(), 234);
  EXPECT_EQ(zip_.ErrMsg(), "Callback exception\r\nException in Event handler \"disk on fire\" [3]");
  EXPECT_EQ(zip_.SuccessCount(), 0);
  EXPECT_EQ(ui_.shown.size(), 1u);

  std::vector<TZipProgressKind> kinds;
  zip_.OnProgress = [&](const TZipProgressDetails& d) { kinds.push_back(d.kind); };
  zip_.OnCheckTerminate = [](bool& abort) { abort = true; };
  Unpack();
  EXPECT_EQ(zip_.ErrCode(), 2);
  EXPECT_EQ(ui_.shown.size(), 1u);  // a cancel is never shown
  EXPECT_TRUE(Tree(dir_ / "out").size() <= 1u);

  zip_.OnCheckTerminate = nullptr;
  kinds.clear();
  EXPECT_NE(zip_.ExtractToMemory("doc.xml"), nullptr);
  EXPECT_EQ(kinds, (std::vector<TZipProgressKind>{TZipProgressKind::pkTotalFiles, TZipProgressKind::pkTotalSize,
                                                  TZipProgressKind::pkNewFile, TZipProgressKind::pkEndItem,
                                                  TZipProgressKind::pkEndBatch}));
}

TEST_F(ZipExtract, ArchiveProblemsBeforeTheEngine) {
  TZipArchive unnamed;
  unnamed.SetInteraction(&ui_);
  EXPECT_EQ(unnamed.ExtractToFolder(), 133);
  EXPECT_EQ(unnamed.ErrMsg(), "Error - no zip file specified!");
  EXPECT_EQ(unnamed.ExtractToMemory("x"), nullptr);
  EXPECT_EQ(unnamed.ErrCode(), 133);

  // An archive that could not be listed is listed again, and fails again.
  zip_.SetZipFileName(dir_ / "later.zip");
  EXPECT_EQ(zip_.ErrCode(), 123);
  EXPECT_EQ(zip_.ExtractToMemory("doc.xml"), nullptr);
  EXPECT_EQ(zip_.ErrCode(), 123);
  Document().Save(dir_ / "later.zip");  // it exists now
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("doc.xml")), "<doc>the document</doc>");
  support::SaveBytes(dir_ / "empty.zip", TZipWriter::EmptyArchive());
  zip_.SetZipFileName(dir_ / "empty.zip");
  EXPECT_EQ(zip_.ExtractToMemory("doc.xml"), nullptr);
  EXPECT_EQ(zip_.ErrCode(), 164);
}

TEST_F(ZipExtract, SpecificationsSelectEntries) {
  TZipWriter w;
  for (const char* name : {"a.xml", "docs/b.XML", "docs/c.sig", "other/d.xml", "readme"}) w.Add(name, name);
  Open(w);
  auto unpack = [&](std::vector<std::string> include, std::vector<std::string> exclude = {}) {
    fs::remove_all(platform::ToPath(dir_ / "out"));
    zip_.IncludeSpecs() = std::move(include);
    zip_.ExcludeSpecs() = std::move(exclude);
    zip_.SetExtrBaseDir(Out());
    zip_.SetExtrOptions(ExtrDirNames);
    zip_.ExtractToFolder();
    std::vector<std::string> files;
    for (const std::string& f : Tree(dir_ / "out"))
      if (f.back() != '/') files.push_back(f);
    return files;
  };
  // Without a folder part the name part of entries in any folder is matched.
  EXPECT_EQ(unpack({"*.xml"}, {"other\\*"}), (std::vector<std::string>{"a.xml", "docs/b.XML"}));
  EXPECT_EQ(unpack({"docs/?.sig"}), std::vector<std::string>{"docs/c.sig"});
  EXPECT_EQ(unpack({"DOCS\\B.xml"}), std::vector<std::string>{"docs/b.XML"});
  EXPECT_EQ(unpack({"*.*"}).size(), 5u);  // names without a dot too
  EXPECT_EQ(unpack({"d*"}), std::vector<std::string>{"other/d.xml"});
  EXPECT_EQ(unpack({}).size(), 5u);  // no specification: everything
}

TEST_F(ZipExtract, TheNamedEntryAndNoOther) {
  TZipWriter w;
  w.Add("sub/doc.xml", "in a folder");
  w.Add("doc.xml", "the first one");
  w.Add("DOC.XML", "a second of the same name").crc = 7;
  Open(w);
  // Only the entry of the whole name, and only the first of that name: the
  // failing second one does not mix its bytes in.
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("doc.xml")), "the first one");
  EXPECT_EQ(Bytes(zip_.ExtractToMemory(Native("sub/doc.xml"))), "in a folder");
}

TEST_F(ZipExtract, StreamsOfTheApplication) {
  Open(Document());
  common::TMemoryStream mine;
  zip_.ZipStreams().push_back({"\\doc.xml", &mine});
  Unpack();
  EXPECT_EQ(zip_.ErrCode(), 0) << zip_.ErrMsg();
  EXPECT_EQ(Bytes(&mine), "<doc>the document</doc>");
  EXPECT_EQ(Tree(dir_ / "out"), (std::vector<std::string>{"sig/", "sig/doc.sig"}));
  EXPECT_TRUE(zip_.ZipStreams().empty());
  EXPECT_EQ(zip_.IncludeSpecs(), std::vector<std::string>{"*.*"});

  // OnStream may supply it instead.
  common::TMemoryStream given;
  zip_.OnStream = [&](int number, TZipStreamOperation op, TZipStreamInfo& info, bool& handled) {
    EXPECT_EQ(number, 1);
    if (op == zsoOpen) info.stream = &given;
    handled = true;
  };
  zip_.ZipStreams().push_back({Native("sig/doc.sig"), nullptr});
  Unpack();
  EXPECT_EQ(Bytes(&given), "signature");
  zip_.ZipStreams().push_back({"bad|name", nullptr});
  Unpack();
  EXPECT_EQ(zip_.ErrCode(), 103);
  EXPECT_TRUE(zip_.ZipStreams().empty());
}

// Archives as other tools write them: every entry is there and comes out whole.
TEST_F(ZipExtract, ArchivesAsOtherToolsWriteThem) {
  {  // 70,000 entries; the end record holds the count modulo 65,536 and no Zip64 record follows
    TZipWriter w;
    w.Entries().reserve(70000);
    for (int i = 0; i < 70000; ++i)
      w.Add("f" + std::to_string(i) + ".txt", std::to_string(i), TZipWriterMethod::zwmStored);
    Open(w, "many.zip");
    ASSERT_EQ(zip_.EntryCount(), 70000);
    EXPECT_EQ(Bytes(zip_.ExtractToMemory("f69999.txt")), "69999");
    EXPECT_EQ(Bytes(zip_.ExtractToMemory("f4463.txt")), "4463");
  }
  {  // a Zip64 archive behind a prefix, offsets relative to the archive data
    TZipWriter w = Document();
    w.zip64 = true;
    w.Entries()[2].zip64 = true;
    w.prefix = std::string(700, 'p');
    Open(w, "prefixed.zip");
    EXPECT_EQ(Bytes(zip_.ExtractToMemory("sig/doc.sig")), "signature");
  }
  {  // Zip64 blocks after other blocks, with only some fields escaped, version 20 stated
    TZipWriter w = Document();
    uint8_t escapes = 1;
    for (auto& e : w.Entries()) {
      e.zip64 = true;
      e.zip64_version = false;
      e.zip64_block_last = true;
      e.zip64_escapes = escapes++;
      e.central_extra = {{0x5455, "\x01\x02\x03\x04\x05"}};
    }
    Open(w, "blocks.zip");
    EXPECT_EQ(Bytes(zip_.ExtractToMemory("doc.xml")), "<doc>the document</doc>");
    EXPECT_EQ(Bytes(zip_.ExtractToMemory("sig/doc.sig")), "signature");
    EXPECT_TRUE(skipped_.empty());
  }
}

TEST_F(ZipExtract, EmptyStoredFileWithAWrongCompressedSize) {
  TZipWriter w;
  w.Add("empty.txt", "", TZipWriterMethod::zwmStored);
  w.Add("empty2.txt", "", TZipWriterMethod::zwmStored);
  w.Add("after.txt", "after");
  std::string bytes = w.Build();
  PatchCentral(bytes, 0, kCentralCompressed, 2);  // the two bytes of an empty deflate stream
  PatchCentral(bytes, 1, kCentralCompressed, 0x7FFFFFFF);
  support::SaveBytes(dir_ / "empty.zip", bytes);
  zip_.SetZipFileName(dir_ / "empty.zip");
  bool crc_error = false;
  zip_.OnCRC32Error = [&](const std::string&, uint32_t, uint32_t, bool&) { crc_error = true; };
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("empty.txt")), "");
  EXPECT_EQ(zip_.SuccessCount(), 1);
  Unpack();
  EXPECT_EQ(zip_.SuccessCount(), 3) << zip_.ErrMsg();
  EXPECT_EQ(Tree(dir_ / "out"), (std::vector<std::string>{"after.txt", "empty.txt", "empty2.txt"}));
  EXPECT_EQ(ReadFile(dir_ / "out/after.txt"), "after");
  EXPECT_FALSE(crc_error);
  EXPECT_TRUE(skipped_.empty());
}

TEST_F(ZipExtract, UnflaggedUtf8NamesFromUnixBesideWindowsNames) {
  TZipWriter w;
  w.Add("Документ.xml", "<unix/>").host = support::kHostUnix;
  w.Add(platform::Utf8ToCodePage(1251, "Выписка.xml"), "<windows/>").host = support::kHostNtfs;
  Open(w);
  ASSERT_EQ(zip_.EntryCount(), 2);
  EXPECT_EQ(zip_.Entry(0)->FileName(), "Документ.xml");
  EXPECT_EQ(zip_.Entry(1)->FileName(),
            platform::CodePageToUtf8(platform::AnsiCodePage(), platform::Utf8ToCodePage(1251, "Выписка.xml")));
  EXPECT_EQ(Bytes(zip_.ExtractToMemory("Документ.xml")), "<unix/>");
  Unpack();
  EXPECT_EQ(ReadFile(dir_ / "out/Документ.xml"), "<unix/>");
}
