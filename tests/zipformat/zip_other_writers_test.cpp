// Archives as other tools write them: entry counts past 65,535 without a Zip64
// record, the shapes of Zip64 end records and extra fields that writers produce.

#include <gtest/gtest.h>

#include "support/zip_writer.h"
#include "zipformat/zip_error.h"
#include "zipformat/zip_file.h"
#include "zipformat/zip_reader.h"
#include "zipformat/zipformat_test_util.h"

using namespace zip;
using support::TZipWriter;
using support::TZipWriterMethod;
using ziptest::ListBytes;
using ziptest::TRecordingContext;

namespace {

std::string EntryName(int i) { return "f" + std::to_string(100000 + i) + ".txt"; }

// n tiny stored entries; without Zip64 the end record holds n modulo 65,536.
TZipWriter Many(int n) {
  TZipWriter w;
  w.Entries().reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) w.Add(EntryName(i), "x", TZipWriterMethod::zwmStored);
  return w;
}

TZipWriter TwoEntries() {
  TZipWriter w;
  w.Add("doc.xml", "<doc>text</doc>");
  w.Add("doc.sig", std::string(300, 's'), TZipWriterMethod::zwmStored);
  return w;
}

// Size and offset of the central directory as the plain archive has them.
struct TDirectory {
  uint32_t offset, size;
};
TDirectory DirectoryOf(const std::string& bytes) {
  const size_t end = bytes.rfind("PK\x05\x06");
  return {GetLe32(bytes, end + 16), GetLe32(bytes, end + 12)};
}

}  // namespace

TEST(ZipOtherWriters, CountsPast65535WithoutZip64AreReadWhole) {
  for (int n : {65536, 70000}) {
    SCOPED_TRACE(n);
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, Many(n).Build()), 0);
    ASSERT_EQ(f.Count(), n);
    EXPECT_EQ(f.Record(n - 1)->FileName(), EntryName(n - 1));
    EXPECT_NE(f.FindName(EntryName(n - 1)), nullptr);
    EXPECT_EQ(ctx.warnings, std::vector<int>{ZW_StructureError});  // the count disagreed with the size
  }
}

TEST(ZipOtherWriters, CountSizeAndOffsetMustAgreeSomehow) {
  TZipWriter five;
  for (int i = 0; i < 5; ++i) five.Add(EntryName(i), "data");
  const TDirectory dir = DirectoryOf(five.Build());
  {  // a count that is merely short: every record the size covers, with a warning
    TZipWriter w = five;
    w.entry_count = 2;
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(f.Count(), 5);
    EXPECT_EQ(ctx.warnings, std::vector<int>{ZW_StructureError});
  }
  const uint32_t record = dir.size / 5;  // the records are of one size
  {  // the size ends between two records past the count, and records go on: an error
    TZipWriter w = five;
    w.entry_count = 2;
    w.central_size = 3 * record;
    TZipFile f;
    EXPECT_EQ(ListBytes(f, w.Build()), ZE_CEHDataSize);
  }
  {  // the size ends inside a record past the count: an error
    TZipWriter w = five;
    w.entry_count = 1;
    w.central_size = 2 * record + 10;
    TZipFile f;
    EXPECT_EQ(ListBytes(f, w.Build()), ZE_CEHDataSize);
  }
  {  // the count is right and the size too large, with no record behind: read as before
    TZipWriter w = five;
    w.central_size = dir.size + 10;
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(f.Count(), 5);
    EXPECT_EQ(ctx.warnings, std::vector<int>{ZW_StructureError});
  }
}

TEST(ZipOtherWriters, Zip64EndRecordShapes) {
  {  // Windows' compressed folders leave the locator's number of disks at 0
    TZipWriter w = Many(70000);
    w.zip64 = true;
    w.zip64_total_disks = 0;
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(f.Count(), 70000);
    EXPECT_EQ(f.NumberOfParts(), 1);
    EXPECT_FALSE(f.MultiPart());
    EXPECT_TRUE(ctx.warnings.empty());
  }
  {  // an archive comment after the end records
    TZipWriter w = TwoEntries();
    w.zip64 = true;
    w.comment = "a comment after the Zip64 records";
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(f.Count(), 2);
    EXPECT_EQ(f.ZipComment(), w.comment);
    EXPECT_TRUE(ctx.warnings.empty());
  }
  {  // behind a prefix, offsets (the locator's too) relative to the archive data
    TZipWriter w = TwoEntries();
    w.zip64 = true;
    w.Entries()[1].zip64 = true;
    w.prefix = std::string(1000, 'p');
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(f.Count(), 2);
    EXPECT_EQ(f.OffsetShift(), 1000);
    EXPECT_EQ(f.Record(1)->UncompressedSize(), 300u);
    EXPECT_EQ(ctx.warnings, std::vector<int>{ZW_StructureError});  // as for a plain archive behind a prefix
  }
  {  // appended to an executable: the same, without the warning
    TZipWriter w = TwoEntries();
    w.zip64 = true;
    w.prefix = "MZ" + std::string(510, '\0');
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_EQ(f.Kind(), TZipFileKind::fkExecutable);
    EXPECT_EQ(f.Count(), 2);
    EXPECT_EQ(f.OffsetShift(), 512);
    EXPECT_TRUE(ctx.warnings.empty());
  }
}

TEST(ZipOtherWriters, Zip64RecordOverridesABrokenEndRecord) {
  const std::string plain = TwoEntries().Build();
  const TDirectory dir = DirectoryOf(plain);
  {  // no escapes, but values that cannot be right: the Zip64 record's stand
    TZipWriter w = TwoEntries();
    w.zip64 = true;
    w.zip64_escapes = false;
    w.entry_count = 0;
    w.central_size = 0;
    w.central_offset = 7;
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    EXPECT_TRUE(f.Zip64());
    EXPECT_EQ(f.Count(), 2);
    EXPECT_EQ(f.CentralOffset(), dir.offset);
    EXPECT_TRUE(ctx.warnings.empty());
  }
  {  // a locator whose offset misses the record that lies right before it
    TZipWriter w = TwoEntries();
    w.zip64 = true;
    std::string bytes = w.Build();
    const size_t locator = bytes.rfind("PK\x06\x07");
    bytes[locator + 8] = 5;  // now points into the first local header
    for (int i = 9; i < 16; ++i) bytes[locator + static_cast<size_t>(i)] = 0;
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, bytes), 0);
    EXPECT_EQ(f.Count(), 2);
    EXPECT_TRUE(ctx.warnings.empty());
  }
  {  // a locator-shaped block before a plain end record, leading to no Zip64 record: nothing changes
    std::string bytes = plain;
    bytes.insert(bytes.rfind("PK\x05\x06"), std::string("PK\x06\x07", 4) + std::string(16, '\0'));
    TRecordingContext ctx;
    TZipFile f(ctx);
    ASSERT_EQ(ListBytes(f, bytes), 0);
    EXPECT_EQ(f.Count(), 2);
    EXPECT_FALSE(f.Zip64());
    EXPECT_EQ(ctx.warnings, std::vector<int>{ZW_StructureError});  // the block is a gap after the directory
  }
}

TEST(ZipOtherWriters, Zip64ExtraFieldsByTheOrderRule) {
  TZipFile plain;
  TZipWriter base = TwoEntries();
  base.Add("third.bin", std::string(50, 't'), TZipWriterMethod::zwmStored);
  ASSERT_EQ(ListBytes(plain, base.Build()), 0);

  struct TShape {
    uint8_t escapes;
    bool block_last;
    bool version45;
  };
  for (const TShape shape : {TShape{2, false, true}, TShape{4, true, true}, TShape{7, false, false},
                             TShape{5, true, false}, TShape{1, false, false}}) {
    SCOPED_TRACE(testing::Message() << int{shape.escapes} << shape.block_last << shape.version45);
    TZipWriter w = base;
    for (auto& e : w.Entries()) {
      e.zip64 = true;
      e.zip64_escapes = shape.escapes;
      e.zip64_block_last = shape.block_last;
      e.zip64_version = shape.version45;
      // Other blocks before and after the Zip64 one.
      e.central_extra = {{0x000A, std::string(32, '\0')}, {0x5455, "\x01\x02\x03\x04\x05"}};
    }
    TZipFile f;
    ASSERT_EQ(ListBytes(f, w.Build()), 0);
    ASSERT_EQ(f.Count(), 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(f.Record(i)->UncompressedSize(), plain.Record(i)->UncompressedSize());
      EXPECT_EQ(f.Record(i)->CompressedSize(), plain.Record(i)->CompressedSize());
      EXPECT_EQ(f.Record(i)->RelOffLocalHdr(), plain.Record(i)->RelOffLocalHdr() + 20 * static_cast<uint64_t>(i));
    }
  }
}
