// Writes the bundled sample archives: every kind and version of registry document
// once, plus the awkward cases a day's downloads hold (two documents in one archive,
// an upper-case entry name, a document that is not from the registry, a damaged
// archive, an archive in a sub-folder with Cyrillic entry names).
//
//   make_samples <folder>      (the folder is created; existing samples are replaced)

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "support/document_builder.h"
#include "support/zip_writer.h"

namespace {

using testdocs::TSchema;

// Stand-in for the detached signature that travels with every document.
std::string Signature(const std::string& document) {
  std::string sig = "-----BEGIN PKCS7-----\r\n";
  uint32_t h = support::ZipCrc32(document);
  for (int line = 0; line < 12; ++line) {
    for (int i = 0; i < 64; ++i) {
      h = h * 1103515245u + 12345u;
      sig += "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[(h >> 16) % 64];
    }
    sig += "\r\n";
  }
  return sig + "-----END PKCS7-----\r\n";
}

struct Values {
  std::string number;      // block (KPT) or plot (KVZU)
  std::string system;      // empty: none
  std::string date;        // certification date
  std::string registered;  // KVZU registration date
};

testdocs::TDocument Document(TSchema schema, const Values& v) {
  testdocs::TDocument doc = testdocs::SampleDocument(schema);
  doc.certification->date = v.date;
  if (testdocs::KindOf(schema) == testdocs::TDocumentKind::Kpt) {
    auto& block = doc.blocks.at(0);
    block.cadastral_number = v.number;
    block.parcels.clear();
    for (int i = 1; i <= 3; ++i) block.parcels.push_back(testdocs::SampleParcel(v.number, i));
    if (!v.system.empty() && !block.coord_systems.empty()) block.coord_systems[0].name = v.system;
  } else {
    auto& parcel = doc.parcels.at(0);
    parcel.cadastral_number = v.number;
    parcel.date_created = v.registered;
    if (!v.system.empty()) doc.coord_systems.at(0).name = v.system;
  }
  return doc;
}

void AddDocument(support::TZipWriter& zip, const std::string& entry, const std::string& xml) {
  zip.Add(entry, xml);
  zip.Add(entry + ".sig", Signature(xml));
}

void Write(const std::string& folder, const std::string& name, const support::TZipWriter& zip) {
  const std::string path = folder + platform::kPathDelimiter + name;
  platform::ForceDirectories(platform::FromPath(platform::ToPath(path).parent_path()));
  zip.Save(path);
  std::printf("%s\n", name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples <folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  platform::ForceDirectories(out);

  struct Single {
    TSchema schema;
    const char* archive;
    const char* entry;
    Values values;
  };
  const Single singles[] = {
      {TSchema::Kpt05, "kpt05_66_41_0101001.zip", "kpt05_66_41_0101001.xml", {"66:41:0101001", "", "2011-04-18", ""}},
      {TSchema::Kpt06,
       "kpt06_66_41_0101002.zip",
       "kpt06_66_41_0101002.xml",
       {"66:41:0101002", "МСК-66 зона 1", "2012-09-03", ""}},
      {TSchema::Kpt07,
       "kpt07_66_41_0203004.zip",
       "kpt07_66_41_0203004.xml",
       {"66:41:0203004", "МСК-66 зона 1", "2013-02-27", ""}},
      {TSchema::Kpt08,
       "kpt08_50_20_0010336.zip",
       "kpt08_50_20_0010336.xml",
       {"50:20:0010336", "МСК-50, зона 2", "2014-11-10", ""}},
      {TSchema::Kpt09,
       "kpt09_50_20_0010337.zip",
       "kpt09_50_20_0010337.xml",
       {"50:20:0010337", "МСК-50, зона 2", "2016-05-12", ""}},
      {TSchema::Kvzu05,
       "kvzu05_66_41_0101001_25.zip",
       "kvzu05_66_41_0101001_25.xml",
       {"66:41:0101001:25", "МСК-66 зона 1", "2012-06-14", "2009-11-05"}},
      {TSchema::Kvzu06,
       "kvzu06_50_20_0010336_101.zip",
       "kvzu06_50_20_0010336_101.xml",
       {"50:20:0010336:101", "МСК-50, зона 2", "2016-05-12", "2010-03-22"}},
  };
  for (const auto& s : singles) {
    support::TZipWriter zip;
    AddDocument(zip, s.entry, testdocs::BuildDocument(Document(s.schema, s.values)));
    Write(out, s.archive, zip);
  }

  {  // a plan and an extract delivered together: filed twice
    support::TZipWriter zip;
    AddDocument(
        zip, "kpt09_66_41_0101003.xml",
        testdocs::BuildDocument(Document(TSchema::Kpt09, {"66:41:0101003", "МСК-66 зона 2", "2017-01-23", ""})));
    AddDocument(zip, "kvzu06_66_41_0101003_7.xml",
                testdocs::BuildDocument(
                    Document(TSchema::Kvzu06, {"66:41:0101003:7", "МСК-66 зона 2", "2017-01-23", "2008-07-01"})));
    Write(out, "two_documents.zip", zip);
  }
  {  // the entry name in capitals, the document in one line and windows-1251
    support::TZipWriter zip;
    testdocs::TBuildOptions options;
    options.layout = testdocs::TLayout::SingleLine;
    options.encoding = testdocs::TEncoding::Windows1251;
    AddDocument(zip, "KPT08_66_41_0305001.XML",
                testdocs::BuildDocument(Document(TSchema::Kpt08, {"66:41:0305001", "МСК-66 зона 1", "2015-03-12", ""}),
                                        options));
    Write(out, "UPPER_CASE_ENTRY.ZIP", zip);
  }
  {  // an XML document of somebody else's: counted as an archive, nothing filed
    support::TZipWriter zip;
    zip.Add("report.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<report><title>Список участков</title></report>\r\n");
    zip.Add("readme.txt", "Не выписка из реестра.\r\n");
    Write(out, "not_a_registry_document.zip", zip);
  }
  {  // cut off in the middle of the directory: reported, nothing filed
    support::TZipWriter zip;
    AddDocument(
        zip, "kpt09_66_41_0101004.xml",
        testdocs::BuildDocument(Document(TSchema::Kpt09, {"66:41:0101004", "МСК-66 зона 1", "2016-08-30", ""})));
    const std::string bytes = zip.Build();
    const std::string path = out + platform::kPathDelimiter + "damaged.zip";
    support::SaveBytes(path, bytes.substr(0, bytes.size() - 40));
    std::printf("damaged.zip\n");
  }
  {  // in a sub-folder, with Cyrillic entry names flagged as UTF-8 and a stored folder
    support::TZipWriter zip;
    zip.AddDirectory("Выписка");
    const std::string xml = testdocs::BuildDocument(
        Document(TSchema::Kvzu06, {"66:41:0203004:12", "МСК-66 зона 1", "2018-10-02", "2011-12-15"}));
    zip.Add("Выписка/Выписка 66-41-0203004-12.xml", xml).flags |= support::kFlagUtf8Name;
    zip.Add("Выписка/Выписка 66-41-0203004-12.xml.sig", Signature(xml)).flags |= support::kFlagUtf8Name;
    for (auto& entry : zip.Entries()) entry.flags |= support::kFlagUtf8Name;
    Write(out, std::string("Выписки") + platform::kPathDelimiter + "kvzu06_66_41_0203004_12.zip", zip);
  }
  return 0;
}
