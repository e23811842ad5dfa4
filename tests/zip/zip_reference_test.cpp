// Archives made by other tools (tests/data/zip, see its README) list as they should.

#include <gtest/gtest.h>

#include "platform/text_conversion.h"
#include "zip/zip_archive.h"
#include "zip_test_util.h"

using namespace zip;

namespace {

std::string Data(const std::string& name) { return std::string(VORLANEX_TEST_DATA) + "/zip/" + name; }

std::string Native(std::string s) {
  for (char& c : s)
    if (c == '/') c = platform::kPathDelimiter;
  return s;
}

struct TListing {
  explicit TListing(const std::string& name, TZipEncodingOpts encoding = zenAuto) {
    zip.SetInteraction(&ui);
    zip.SetEncoding(encoding);
    zip.SetZipFileName(Data(name));
    for (int i = 0; i < zip.EntryCount(); ++i) names.push_back(zip.Entry(i)->FileName());
  }
  ziptest::TRecordingInteraction ui;
  TZipArchive zip;
  std::vector<std::string> names;
};

}  // namespace

TEST(ZipReferenceArchives, SevenZipWithUtf8Flag) {
  TListing l("7z-cyrillic.zip");
  EXPECT_EQ(l.zip.ErrCode(), 0);
  EXPECT_EQ(l.names, (std::vector<std::string>{"doc.xml", Native("Документы/выписка.xml"),
                                               Native("Документы/выписка.xml.sig")}));
  EXPECT_EQ(l.zip.Entry(1)->CRC32(), 0x462471DAu);
  EXPECT_EQ(l.zip.Entry(1)->UncompressedSize(), 76u);
  EXPECT_NE(l.zip.FindEntry("ДОКУМЕНТЫ\\ВЫПИСКА.XML"), nullptr);
  EXPECT_TRUE(l.ui.shown.empty());
}

TEST(ZipReferenceArchives, InfoZipUnixNamesWithoutFlagReadAsUtf8) {
  const std::vector<std::string> names = {Native("Документы/выписка.xml"), Native("Документы/выписка.xml.sig")};
  TListing automatic("infozip-cyrillic.zip");
  EXPECT_EQ(automatic.names, names);  // the folder entry is hidden
  EXPECT_EQ(automatic.zip.Entry(1)->CRC32(), 0xA8AB0F2Bu);
  TListing utf8("infozip-cyrillic.zip", zenUTF8);
  EXPECT_EQ(utf8.names, names);
  // Told the names are in the OEM code page, they are read so.
  TListing oem("infozip-cyrillic.zip", zenOEM);
  ASSERT_EQ(oem.names.size(), 2u);
  EXPECT_EQ(oem.names[0], Native(platform::CodePageToUtf8(platform::OemCodePage(), "Документы/выписка.xml")));
}

TEST(ZipReferenceArchives, PythonZip64AndComments) {
  // Its end record holds the true values, not the escapes, so the Zip64 records
  // between directory and end record are a gap: warning 20, then all is read.
  TListing l("python-zip64.zip");
  EXPECT_EQ(l.zip.ErrCode(), 20);
  ASSERT_NE(l.zip.CurrentZip(), nullptr);
  EXPECT_TRUE(l.zip.CurrentZip()->Zip64());
  EXPECT_EQ(l.names, (std::vector<std::string>{"doc.xml", Native("Документы/выписка.xml")}));
  EXPECT_EQ(l.zip.Entry(1)->UncompressedSize(), 76u);
  EXPECT_EQ(l.zip.ZipComment(), "python zip64");

  TListing c("infozip-comment.zip");
  EXPECT_EQ(c.names, std::vector<std::string>{"doc.xml"});
  EXPECT_EQ(c.zip.RawZipComment(), "Архив для проверки");
}

TEST(ZipReferenceArchives, ExecutableWithAdjustedAppendedArchive) {
  TListing l("sfx-stub.exe");
  EXPECT_EQ(l.zip.ErrCode(), 0);
  EXPECT_EQ(l.names, std::vector<std::string>{"doc.xml"});
  EXPECT_EQ(l.zip.CurrentZip()->Kind(), TZipFileKind::fkExecutable);
  EXPECT_EQ(l.zip.CurrentZip()->PrefixOffset(), 1024u);
  EXPECT_TRUE(l.ui.shown.empty());
}
