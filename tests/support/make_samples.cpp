// Writes the bundled sample archives: every kind and version of registry document
// once, plus the awkward cases a day's downloads hold (two documents in one archive,
// an upper-case entry name, a document that is not from the registry, a damaged
// archive, an archive in a sub-folder with Cyrillic entry names, the registry's
// response as an archive of archives, an extract of a kind the program does not read).
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

  // The documents of today, each in the shape it usually comes in.
  struct Today {
    TSchema schema;
    const char* archive;
    const char* entry;
    Values values;
    testdocs::TBuildOptions options;
  };
  testdocs::TBuildOptions other_stylesheet;
  other_stylesheet.other_stylesheet = true;
  testdocs::TBuildOptions bom;
  bom.byte_order_mark = true;
  testdocs::TBuildOptions cp1251;
  cp1251.encoding = testdocs::TEncoding::Windows1251;
  const Today today[] = {
      {TSchema::Kpt10,
       "kpt10_50_20_0010338.zip",
       "kpt10_50_20_0010338.xml",
       {"50:20:0010338", "МСК-50, зона 2", "2017-06-20", ""},
       testdocs::LaterGeneratorOptions()},
      {TSchema::Kvzu07,
       "kvzu07_50_20_0010338_12.zip",
       "kvzu07_50_20_0010338_12.xml",
       {"50:20:0010338:12", "МСК-50, зона 2", "2018-02-14", "2011-04-05"},
       other_stylesheet},
      {TSchema::KptTerritory,
       "kpt11_50_20_0010339.zip",
       "50_20_0010339_kpt11.xml",
       {"50:20:0010339", "МСК-50, зона 1", "2021-03-15", ""},
       bom},
      {TSchema::LandProperty,
       "egrn_land_50_20_0010339_5.zip",
       "50_20_0010339_5.xml",
       {"50:20:0010339:5", "МСК-50, зона 1", "2021-03-16", "2012-06-30T00:00:00+04:00"},
       cp1251},
      {TSchema::LandBaseParams,
       "egrn_base_params_50_20_0010339_6.zip",
       "50_20_0010339_6.xml",
       {"50:20:0010339:6", "МСК-50, зона 1", "2021-03-16", "2014-09-01T00:00:00+04:00"},
       {}},
  };
  for (const auto& t : today) {
    support::TZipWriter zip;
    AddDocument(zip, t.entry, testdocs::BuildDocument(Document(t.schema, t.values), t.options));
    Write(out, t.archive, zip);
  }
  {  // the registry's response: an archive per document beside one per signature
    support::TZipWriter zip;
    const auto pair = [&zip](const std::string& entry, const std::string& xml) {
      support::TZipWriter document, signature;
      document.Add(entry, xml);
      signature.Add(entry + ".sig", Signature(xml));
      zip.Add(entry + ".zip", document.Build());
      zip.Add(entry + ".sig.zip", signature.Build());
    };
    pair("50_20_0010340_kpt11.xml", testdocs::BuildDocument(Document(
                                        TSchema::KptTerritory, {"50:20:0010340", "МСК-50, зона 1", "2021-03-15", ""})));
    pair("50_20_0010340_7.xml",
         testdocs::BuildDocument(Document(TSchema::LandBaseParams, {"50:20:0010340:7", "МСК-50, зона 1", "2021-03-15",
                                                                    "2015-05-20T00:00:00+03:00"})));
    Write(out, "response_50_20_0010340.zip", zip);
  }
  {  // an extract on a building: a registry document the program does not read
    support::TZipWriter zip;
    testdocs::TBuildOptions building;
    building.root_element = "extract_about_property_build";
    AddDocument(zip, "50_20_0010339_15.xml",
                testdocs::BuildDocument(Document(TSchema::LandProperty, {"50:20:0010339:15", "МСК-50, зона 1",
                                                                         "2021-03-16", "2019-10-01T00:00:00+03:00"}),
                                        building));
    Write(out, "egrn_building_50_20_0010339_15.zip", zip);
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
