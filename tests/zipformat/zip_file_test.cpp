// The directory reader over archives written byte by byte.

#include "zipformat/zip_file.h"

#include <gtest/gtest.h>

#include "support/zip_writer.h"
#include "zipformat/zip_error.h"
#include "zipformat/zipformat_test_util.h"

using namespace zip;
using support::TZipWriter;
using ziptest::ListBytes;
using ziptest::TRecordingContext;

namespace {

TZipWriter TwoEntries() {
  TZipWriter w;
  w.Add("doc.xml", "<doc>text</doc>");
  w.Add("doc.sig", std::string(300, 's'), support::TZipWriterMethod::zwmStored);
  return w;
}

std::vector<std::string> Names(const TZipFile& f) {
  std::vector<std::string> names;
  for (int i = 0; i < f.Count(); ++i) names.push_back(f.Record(i)->FileName());
  return names;
}

}  // namespace

TEST(ZipFileEndRecord, CommentsAndTrailingBytes) {
  {  // a 100-byte comment is found by the backward scan, without a warning
    TZipWriter w = TwoEntries();
    w.comment = std::string(100, 'c');
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(f.ZipComment(), w.comment);
    EXPECT_EQ(f.Count(), 2);
    EXPECT_TRUE(ctx.warnings.empty());
  }
  {  // 10 bytes of junk: warning 151, entries listed, the archive ends at its comment
    TZipWriter w = TwoEntries();
    w.comment = "note";
    w.trailing = std::string(10, 'j');
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(ctx.warnings, std::vector<int>{ZE_CECommentLen});
    EXPECT_EQ(f.Count(), 2);
    EXPECT_EQ(f.ZipComment(), "note");
    EXPECT_EQ(f.FileSize(), static_cast<int64_t>(w.Build().size()) - 10);
  }
  {  // an end record at the very end claiming a 5-byte comment: warning 151, empty comment
    TZipWriter w = TwoEntries();
    w.comment_length = 5;
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(ctx.warnings, std::vector<int>{ZE_CECommentLen});
    EXPECT_EQ(f.ZipComment(), "");
    EXPECT_EQ(f.Count(), 2);
  }
  {  // a comment length longer than the bytes left is clamped to them
    TZipWriter w = TwoEntries();
    w.comment = "abc";
    w.comment_length = 200;
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(f.ZipComment(), "abc");
  }
}

TEST(ZipFileEndRecord, NotAnArchive) {
  TZipFile f;
  EXPECT_EQ(ListBytes(f, "PK\x05\x06 short"), ZE_NotZipFile);
  EXPECT_EQ(ListBytes(f, ""), ZE_NotZipFile);
  // No signature within the last 65557 bytes: one lies just before them.
  std::string far = TZipWriter::EmptyArchive() + std::string(65557, 'x');
  EXPECT_EQ(ListBytes(f, far), ZE_NotZipFile);
  EXPECT_EQ(f.Count(), 0);
  // Within reach the same end record is found (with the trailing-bytes warning).
  TRecordingContext ctx;
  TZipFile g(ctx);
  EXPECT_EQ(ListBytes(g, TZipWriter::EmptyArchive() + std::string(65535 - 1, 'x')), 0);
  EXPECT_EQ(ctx.warnings, std::vector<int>{ZE_CECommentLen});
}

TEST(ZipFileEndRecord, EmptyArchiveOpensWithoutWarning) {
  TRecordingContext ctx;
  TZipFile f(ctx);
  const std::string empty = TZipWriter::EmptyArchive();
  ASSERT_EQ(empty.size(), 22u);
  ASSERT_EQ(ListBytes(f, empty), 0);
  EXPECT_EQ(f.Count(), 0);
  EXPECT_TRUE(f.Listed());
  EXPECT_EQ(f.PrefixOffset(), 0u);
  EXPECT_TRUE(ctx.warnings.empty());
}

TEST(ZipFileCentralDirectory, PrependedDataWithUnadjustedOffsets) {
  TZipWriter w = TwoEntries();
  w.prefix = std::string(1000, 'p');
  TRecordingContext ctx;
  TZipFile f(ctx);
  ASSERT_EQ(ListBytes(f, w.Build()), 0);
  EXPECT_EQ(ctx.warnings, std::vector<int>{ZW_StructureError});
  EXPECT_EQ(Names(f), (std::vector<std::string>{"doc.xml", "doc.sig"}));
  EXPECT_EQ(f.OffsetShift(), 1000);
  EXPECT_EQ(f.PrefixOffset(), 0u);
  EXPECT_EQ(f.Kind(), TZipFileKind::fkUnknown);

  // The same data with adjusted offsets: no warning, the stub still measured.
  w.offsets_include_prefix = true;
  TRecordingContext ctx2;
  TZipFile g(ctx2);
  ASSERT_EQ(ListBytes(g, w.Build()), 0);
  EXPECT_TRUE(ctx2.warnings.empty());
  EXPECT_EQ(g.PrefixOffset(), 1000u);
  EXPECT_EQ(g.OffsetShift(), 0);
}

TEST(ZipFileCentralDirectory, ExecutableWithAppendedArchiveListsLikeAPlainOne) {
  TZipWriter w = TwoEntries();
  w.prefix = "MZ" + std::string(510, '\0');
  TRecordingContext ctx;
  TZipFile f(ctx);
  ASSERT_EQ(ListBytes(f, w.Build()), 0);
  EXPECT_EQ(f.Kind(), TZipFileKind::fkExecutable);
  EXPECT_EQ(Names(f), (std::vector<std::string>{"doc.xml", "doc.sig"}));
  EXPECT_TRUE(ctx.warnings.empty());
  EXPECT_EQ(f.OffsetShift(), 512);
}

TEST(ZipFileCentralDirectory, RecordFieldsAndDirectoryEntries) {
  TZipWriter w;
  w.AddDirectory("docs");
  auto& e = w.Add("docs/a.xml", "<a/>");
  e.comment = "entry note";
  e.external_attributes = 0x20;
  e.flags = 1;
  TZipFile f;
  ASSERT_EQ(ListBytes(f, w.Build()), 0);
  ASSERT_EQ(f.Count(), 2);
  EXPECT_TRUE(f.Record(0)->IsDirOnly());
  const TZipDirRecord& r = *f.Record(1);
  EXPECT_FALSE(r.IsDirOnly());
  EXPECT_EQ(r.FileName(), std::string("docs") + platform::kPathDelimiter + "a.xml");
  EXPECT_EQ(r.RawFileName(), "docs/a.xml");
  EXPECT_EQ(r.UncompressedSize(), 4u);
  EXPECT_EQ(r.CRC32(), support::ZipCrc32("<a/>"));
  EXPECT_EQ(r.CompressionMethod(), 8);
  EXPECT_EQ(r.DateTime(), TZipWriter::kDefaultDateTime);
  EXPECT_EQ(r.RawComment(), "entry note");
  EXPECT_EQ(r.ExtFileAttrib(), 0x20u);
  EXPECT_TRUE(r.Encrypted());
  EXPECT_EQ(f.Record(2), nullptr);
  EXPECT_EQ(f.Record(-1), nullptr);
}

TEST(ZipFileZip64, EndRecordLocatorAndExtraField) {
  TZipWriter w = TwoEntries();
  w.zip64 = true;
  w.Entries()[1].zip64 = true;
  TRecordingContext ctx;
  TZipFile f(ctx);
  const std::string bytes = w.Build();
  ASSERT_EQ(ListBytes(f, bytes), 0);
  EXPECT_TRUE(f.Zip64());
  EXPECT_EQ(f.TotalEntries(), 2u);
  EXPECT_EQ(f.NumberOfParts(), 1);
  EXPECT_EQ(f.EOCOffset(), static_cast<int64_t>(bytes.size()) - 22 - 20 - 56);
  ASSERT_EQ(f.Count(), 2);
  EXPECT_EQ(f.Record(1)->UncompressedSize(), 300u);
  EXPECT_EQ(f.Record(1)->CompressedSize(), 300u);
  EXPECT_GT(f.Record(1)->RelOffLocalHdr(), 0u);
  EXPECT_TRUE(ctx.warnings.empty());
}

TEST(ZipFileZip64, BadRecordsAreErrors) {
  TZipFile f;
  TZipWriter w = TwoEntries();
  w.zip64 = true;
  w.zip64_version_needed = 46;
  EXPECT_EQ(ListBytes(f, w.Build()), ZE_UnsupportedVersion);
  w.zip64_version_needed = 45;
  w.zip64_record_size = 40;
  EXPECT_EQ(ListBytes(f, w.Build()), ZE_UnsupportedVersion);
  w.zip64_record_size = 44;
  w.zip64_locator_disk = 3;
  EXPECT_EQ(ListBytes(f, w.Build()), ZE_EOCBadRead);
  w.zip64_locator_disk.reset();

  // The locator's offset of the Zip64 end record: beyond the file, or too near its end.
  std::string bytes64 = w.Build();
  const size_t locator = bytes64.rfind("PK\x06\x07");
  auto with_offset = [&](uint64_t offset) {
    std::string b = bytes64;
    for (int i = 0; i < 8; ++i) b[locator + 8 + i] = static_cast<char>(offset >> (8 * i));
    return b;
  };
  EXPECT_EQ(ListBytes(f, with_offset(bytes64.size() + 100)), ZE_FileError);
  EXPECT_EQ(ListBytes(f, with_offset(~uint64_t{0})), ZE_FileError);
  EXPECT_EQ(ListBytes(f, with_offset(bytes64.size() - 30)), ZE_EOCBadRead);
  // A locator-shaped block that is no locator leaves the 32-bit values standing.
  std::string no_locator = bytes64;
  no_locator[locator + 3] = 'X';
  EXPECT_NE(ListBytes(f, no_locator), 0);

  // A Zip64 block too short for a value the header escapes.
  TZipWriter s;
  auto& e = s.Add("big.bin", "data", support::TZipWriterMethod::zwmStored);
  e.version_needed = 45;
  e.raw_central_extra = std::string("\x01\x00\x04\x00\x01\x02\x03\x04", 8);
  ASSERT_EQ(ListBytes(f, s.Build()), 0);  // nothing escaped: the block is not needed
  std::string bytes = s.Build();
  const size_t central = bytes.rfind("PK\x01\x02");
  bytes.replace(central + 24, 4, "\xFF\xFF\xFF\xFF");  // uncompressed size escaped
  EXPECT_EQ(ListBytes(f, bytes), ZE_Zip64FieldError);
}

TEST(ZipFileCentralDirectory, DamagedRecords) {
  const std::string good = TwoEntries().Build();
  const size_t central = good.find("PK\x01\x02");
  TZipFile f;
  {
    std::string bad = good;
    bad[central + 1] = 'X';  // the first record's signature; the stored offset is also wrong now
    EXPECT_EQ(ListBytes(f, bad), ZE_CEHBadRead);
  }
  // Name, extra field and comment lengths pointing past the data.
  auto with_lengths = [&](uint16_t name, uint16_t extra, uint16_t comment) {
    TZipWriter w;
    w.Add("a.xml", "x");
    w.central_size = 46 + 5;  // as if the record were whole
    std::string b = w.Build();
    const size_t c = b.find("PK\x01\x02");
    std::string lengths;
    for (uint16_t v : {name, extra, comment}) {
      lengths.push_back(static_cast<char>(v & 0xFF));
      lengths.push_back(static_cast<char>(v >> 8));
    }
    b.replace(c + 28, 6, lengths);
    return b;
  };
  EXPECT_EQ(ListBytes(f, with_lengths(200, 0, 0)), ZE_CENameLen);
  EXPECT_EQ(ListBytes(f, with_lengths(5, 200, 0)), ZE_SeekError);
  EXPECT_EQ(ListBytes(f, with_lengths(5, 0, 200)), ZE_CECommentLen);

  // A record count the directory cannot hold fails before anything is read.
  TZipWriter w = TwoEntries();
  w.entry_count = 60000;
  EXPECT_EQ(ListBytes(f, w.Build()), ZE_CEHDataSize);
  EXPECT_EQ(f.Count(), 0);
}

TEST(ZipFileCentralDirectory, EveryPrefixOfAnArchiveFailsCleanly) {
  TZipWriter w = TwoEntries();
  w.comment = "comment";
  w.Entries()[0].central_extra.push_back(support::UnicodePathBlock("doc.xml", "doc.xml"));
  w.zip64 = true;
  w.Entries()[1].zip64 = true;
  const std::string bytes = w.Build();
  for (size_t n = 0; n < bytes.size(); ++n) {
    TZipFile f;
    const int r = ListBytes(f, bytes.substr(0, n));
    for (int i = 0; i < f.Count(); ++i) (void)f.Record(i)->FileName();
    if (r == 0) {
      EXPECT_LE(f.Count(), 2);
    }
  }
  TZipFile f;
  EXPECT_EQ(ListBytes(f, bytes), 0);
  EXPECT_EQ(f.Count(), 2);
}

TEST(ZipFileSplit, NumberedPartsOnDisk) {
  ziptest::TTempFolder dir("vorlanex_zip_split");
  TZipWriter w;
  for (int i = 0; i < 6; ++i)
    w.Add("part" + std::to_string(i) + ".xml", std::string(700, static_cast<char>('a' + i)),
          support::TZipWriterMethod::zwmStored);
  const std::vector<std::string> parts = w.SaveSplit(dir / "set.zip", 1024);
  ASSERT_GE(parts.size(), 4u);
  EXPECT_EQ(parts[0], dir / "set001.zip");

  TRecordingContext ctx;
  TZipFile f(ctx);
  ASSERT_EQ(ZipCodeId(f.OpenAndList(dir / "set.zip")), 0);
  EXPECT_TRUE(f.MultiPart());
  EXPECT_EQ(f.NumberOfParts(), static_cast<int>(parts.size()));
  EXPECT_EQ(f.Kind(), TZipFileKind::fkSplit);
  ASSERT_EQ(f.Count(), 6);
  EXPECT_EQ(f.Record(5)->FileName(), "part5.xml");
  EXPECT_EQ(f.PartNames(), parts);

  // A central directory spread over two parts is read across them.
  TZipWriter many;
  for (int i = 0; i < 40; ++i) many.Add("name-of-some-length-" + std::to_string(i) + ".xml", "x");
  const std::vector<std::string> spread = many.SaveSplit(dir / "wide.zip", 900);
  TZipFile g;
  ASSERT_EQ(ZipCodeId(g.OpenAndList(dir / "wide.zip")), 0);
  EXPECT_EQ(g.Count(), 40);

  // A part with another time stamp breaks the set; so does a missing part.
  std::filesystem::last_write_time(
      platform::ToPath(parts[1]), std::filesystem::last_write_time(platform::ToPath(parts[0])) - std::chrono::hours(1));
  EXPECT_EQ(ZipCodeId(f.OpenAndList(dir / "set.zip")), ZE_NoInFile);
  std::filesystem::remove(platform::ToPath(parts[1]));
  EXPECT_EQ(ZipCodeId(f.OpenAndList(dir / "set.zip")), ZE_NoInFile);
  EXPECT_EQ(ZipCodeId(f.OpenAndList(dir / "set.rar")), ZE_NoInFile);
}

TEST(ZipFileOpen, MissingAndUnreadableFiles) {
  ziptest::TTempFolder dir("vorlanex_zip_open");
  TZipFile f;
  EXPECT_EQ(ZipCodeId(f.OpenAndList(dir / "none.zip")), ZE_NoInFile);
  EXPECT_EQ(ZipCodeId(f.OpenAndList(dir.Path())), ZE_FileOpen);  // a folder exists but is no file
  support::SaveBytes(dir / "short.zip", "PK");
  EXPECT_EQ(ZipCodeId(f.OpenAndList(dir / "short.zip")), ZE_NotZipFile);
  TwoEntries().Save(dir / "ok.zip");
  EXPECT_EQ(ZipCodeId(f.OpenAndList(dir / "ok.zip")), 0);
  EXPECT_FALSE(f.IsOpen());  // the file is closed again after listing
  EXPECT_EQ(f.Kind(), TZipFileKind::fkPlain);
}
