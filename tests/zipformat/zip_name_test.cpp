// Entry-name decoding and the name index.

#include "zipformat/zip_name.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/text_conversion.h"
#include "support/zip_writer.h"
#include "zipformat/zip_dir_hash_list.h"
#include "zipformat/zip_dir_record.h"

using namespace zip;

namespace {

const std::string kCyrillic = "Документы/выписка.xml";
const std::string kCp866 = platform::Utf8ToCodePage(866, kCyrillic);
const std::string kCp1251 = platform::Utf8ToCodePage(1251, kCyrillic);
const std::string kDelimited = [] {
  std::string s = kCyrillic;
  for (char& c : s)
    if (c == '/') c = platform::kPathDelimiter;
  return s;
}();

// Records indexed by their position in a list, as an archive file indexes them.
class TRecords : public TZipIndexSource {
 public:
  explicit TRecords(std::vector<TZipDirRecord*> records) : records_(std::move(records)) {}
  const std::string& IndexName(int id) const override { return records_[static_cast<size_t>(id)]->FileName(); }
  uint32_t IndexHash(int id) const override { return records_[static_cast<size_t>(id)]->NameHash(); }
  bool IndexDeleted(int id) const override { return records_[static_cast<size_t>(id)]->Deleted(); }
  void Append(TZipDirRecord* record) { records_.push_back(record); }

 private:
  std::vector<TZipDirRecord*> records_;
};

std::string Extra(const support::TZipExtraBlock& b) {
  std::string s;
  s.push_back(static_cast<char>(b.tag & 0xFF));
  s.push_back(static_cast<char>(b.tag >> 8));
  s.push_back(static_cast<char>(b.data.size() & 0xFF));
  s.push_back(static_cast<char>(b.data.size() >> 8));
  return s + b.data;
}

std::string Name(std::string_view raw, uint16_t made_by, uint16_t flags = 0, std::string_view extra = {},
                 TZipNameOptions options = {}) {
  return DecodeEntryName({raw, flags, made_by, extra}, options);
}

}  // namespace

TEST(ZipNameDecoding, HostDecidesBetweenOemAndAnsi) {
  EXPECT_EQ(Name("docs/a.xml", 0x0014), std::string("docs") + platform::kPathDelimiter + "a.xml");
  EXPECT_EQ(Name(kCp866, 0x0014), kDelimited);  // MS-DOS
  EXPECT_EQ(Name(kCp866, 0x0614), kDelimited);  // HPFS
  EXPECT_EQ(Name(kCp866, support::kVersionMadeByNtfs50), kDelimited);
  EXPECT_EQ(Name(kCp1251, 0x0A14), kDelimited);  // NTFS with another version: ANSI
  EXPECT_EQ(Name(kCp1251, 0x0314), kDelimited);  // Unix: ANSI
  // The name code page replaces the ANSI one (an unknown one falls back to it).
  EXPECT_EQ(Name(platform::Utf8ToCodePage(1252, "Café.xml"), 0x0314, 0, {}, {zenAuto, 1252}), "Café.xml");
  EXPECT_EQ(Name(kCp1251, 0x0314, 0, {}, {zenAuto, 424242}), kDelimited);
}

// Unix and macOS tools write UTF-8 names without the flag; Windows tools write
// their code page, which is practically never valid UTF-8.
TEST(ZipNameDecoding, UnflaggedUtf8FromHostsOtherThanDos) {
  EXPECT_EQ(Name(kCyrillic, 0x0314), kDelimited);  // Unix
  EXPECT_EQ(Name(kCyrillic, 0x1314), kDelimited);  // macOS
  EXPECT_EQ(Name(kCp1251, 0x0A14), kDelimited);    // Windows (NTFS) in windows-1251, beside it
  EXPECT_EQ(Name(kCp1251, 0x0314), kDelimited);
  // MS-DOS hosts (and the other OEM hosts) keep the OEM code page.
  auto delimited = [](std::string s) {
    for (char& c : s)
      if (c == '/') c = platform::kPathDelimiter;
    return s;
  };
  const std::string oem = delimited(platform::CodePageToUtf8(platform::OemCodePage(), kCyrillic));
  EXPECT_EQ(Name(kCyrillic, 0x0014), oem);
  EXPECT_EQ(Name(kCyrillic, support::kVersionMadeByNtfs50), oem);
  // Told the encoding, the component decodes so.
  EXPECT_EQ(Name(kCyrillic, 0x0314, 0, {}, {zenNone, 0}),
            delimited(platform::CodePageToUtf8(platform::AnsiCodePage(), kCyrillic)));
  // Entry comments the same way.
  EXPECT_EQ(DecodeEntryComment({"Подпись", 0, 0x0314, {}}, {}), "Подпись");
}

TEST(ZipNameDecoding, Utf8FlagAndUnicodePathField) {
  EXPECT_EQ(Name(kCyrillic, 0x0014, kFlagUtf8), kDelimited);
  // Invalid UTF-8 under bit 11 is read in the ANSI code page instead.
  EXPECT_EQ(Name(kCp1251, 0x0314, kFlagUtf8), kDelimited);

  const std::string good = Extra(support::UnicodePathBlock(kCp866, kCyrillic));
  EXPECT_EQ(Name(kCp866, 0x0314, 0, good), kDelimited);  // the field wins over the host
  const std::string ascii_raw = "dokumenty.xml";
  EXPECT_EQ(Name(ascii_raw, 0x0014, 0, Extra(support::UnicodePathBlock(ascii_raw, "документы.xml"))), "документы.xml");
  // Wrong CRC, wrong version, empty text, broken UTF-8: the field is ignored.
  EXPECT_EQ(Name(ascii_raw, 0x0014, 0, Extra(support::UnicodePathBlock(ascii_raw, "документы.xml", true))), ascii_raw);
  EXPECT_EQ(Name(ascii_raw, 0x0014, 0, Extra(support::UnicodePathBlock(ascii_raw, "документы.xml", false, 2))),
            ascii_raw);
  EXPECT_EQ(Name(ascii_raw, 0x0014, 0, Extra(support::UnicodePathBlock(ascii_raw, ""))), ascii_raw);
  EXPECT_EQ(Name(ascii_raw, 0x0014, 0, Extra(support::UnicodePathBlock(ascii_raw, "\xD0"))), ascii_raw);
  // A block found after another one; a truncated block is never read.
  const std::string chained = Extra({0x5455, "12345"}) + good;
  EXPECT_EQ(Name(kCp866, 0x0314, 0, chained), kDelimited);
  EXPECT_EQ(Name(kCp866, 0x0014, 0, good.substr(0, good.size() - 1)), kDelimited);  // OEM by host then
  EXPECT_FALSE(FindExtraBlock(std::string("\x75\x70\x40\x00"
                                          "abc",
                                          7),
                              kUnicodePathTag));
}

TEST(ZipNameDecoding, ForcedEncodings) {
  const std::string field = Extra(support::UnicodePathBlock(kCp866, kCyrillic));
  EXPECT_EQ(Name(kCp866, 0x0314, 0, {}, {zenOEM, 0}), kDelimited);
  EXPECT_EQ(Name(kCyrillic, 0x0014, 0, {}, {zenUTF8, 0}), kDelimited);
  EXPECT_EQ(Name(kCp866, 0x0014, kFlagUtf8, field, {zenUPath, 0}), kDelimited);
  EXPECT_EQ(Name(kCp1251, 0x0014, kFlagUtf8, {}, {zenNone, 0}), kDelimited);  // raw bytes as ANSI text
  EXPECT_EQ(Name(kCp1251, 0x0014, 0, {}, {zenUPath, 0}), kDelimited);         // no field: the raw text
}

TEST(ZipNameDecoding, CommentsUseTheirOwnFieldAndKeepSlashes) {
  const std::string raw = platform::Utf8ToCodePage(866, "Подпись a/b");
  EXPECT_EQ(DecodeEntryComment({raw, 0, 0x0014, {}}, {}), "Подпись a/b");
  const std::string field = Extra(support::UnicodeCommentBlock("note", "заметка"));
  EXPECT_EQ(DecodeEntryComment({"note", 0, 0x0314, field}, {}), "заметка");
  EXPECT_EQ(DecodeEntryName({"note", 0, 0x0314, field}, {}), "note");  // not a path field
}

TEST(ZipDirHashList, BucketCounts) {
  EXPECT_EQ(TZipDirHashList::BucketCountFor(0), 61);
  EXPECT_EQ(TZipDirHashList::BucketCountFor(61), 61);
  EXPECT_EQ(TZipDirHashList::BucketCountFor(62), 131);
  EXPECT_EQ(TZipDirHashList::BucketCountFor(11999), 12289);
  EXPECT_EQ(TZipDirHashList::BucketCountFor(12000), 10243);
  EXPECT_EQ(TZipDirHashList::BucketCountFor(1000000), 65537);
  TZipDirRecord r;
  r.Assign({}, "a.xml", {}, {});
  TRecords records({&r});
  TZipDirHashList unsized(records);
  unsized.Add(0);
  EXPECT_EQ(unsized.BucketCount(), TZipDirHashList::kUnsizedBuckets);
}

TEST(ZipDirHashList, CaseAndSlashVariantsFindTheFirstRecord) {
  TZipCentralHeader utf8;
  utf8.flags = kFlagUtf8;
  TZipDirRecord first, second, third;
  first.Assign(utf8, "Docs/Выписка.XML", {}, {});
  second.Assign(utf8, "docs\\выписка.xml", {}, {});
  third.Assign(utf8, "other.xml", {}, {});
  TRecords records({&first, &second, &third});
  TZipDirHashList index(records);
  index.SetCapacity(3);
  EXPECT_EQ(index.Add(0), -1);
  EXPECT_EQ(index.Add(1), 0);  // the duplicate is reported and kept
  EXPECT_EQ(index.Add(2), -1);
  EXPECT_EQ(index.Find("DOCS/ВЫПИСКА.xml"), 0);
  EXPECT_EQ(index.Find("docs\\выписка.xml"), 0);
  EXPECT_EQ(index.Find("docs/выписка.xm"), -1);
  first.SetDeleted(true);
  EXPECT_EQ(index.Find("docs/выписка.xml"), 1);
  EXPECT_EQ(index.Find("docs/выписка.xml", true), 0);
  EXPECT_EQ(TZipDirHashList::HashName("a/B"), TZipDirHashList::HashName("A\\b"));
  EXPECT_TRUE(TZipDirHashList::SameName("ё/Ж", "Ё\\ж"));
  EXPECT_FALSE(TZipDirHashList::SameName("ab", "abc"));
}

TEST(ZipDirHashList, NodesComeFromBlocksAndAreRecycled) {
  std::vector<TZipDirRecord> records(600);
  TRecords source({});
  TZipDirHashList index(source);
  index.SetCapacity(600);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].Assign({}, "file" + std::to_string(i) + ".xml", {}, {});
    source.Append(&records[i]);
    index.Add(static_cast<int>(i));
  }
  EXPECT_EQ(index.Count(), 600);
  EXPECT_EQ(index.BlockCount(), 2);  // 511 nodes per block
  EXPECT_TRUE(index.Remove(7));
  EXPECT_EQ(index.Find("FILE7.XML"), -1);
  TZipDirRecord again;
  again.Assign({}, "file7.xml", {}, {});
  source.Append(&again);
  index.Add(600);  // takes the freed node
  EXPECT_EQ(index.BlockCount(), 2);
  EXPECT_EQ(index.Find("file7.xml"), 600);
  EXPECT_EQ(index.Find("file599.xml"), 599);
  index.Clear();
  EXPECT_EQ(index.BlockCount(), 0);
  EXPECT_EQ(index.Find("file1.xml"), -1);
}
