// Writes the seed corpus of the archive fuzz targets into the folder given.
//   make_zip_fuzz_seeds tests/data/fuzz/fuzz_zip_directory
//   make_zip_fuzz_seeds tests/data/fuzz/fuzz_zip_extract

#include <cstdio>
#include <string>

#include "support/zip_writer.h"

using namespace support;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_zip_fuzz_seeds <folder>\n");
    return 2;
  }
  const std::string dir = argv[1];
  auto save = [&](const std::string& name, const std::string& bytes) { SaveBytes(dir + "/" + name, bytes); };

  save("empty.zip", TZipWriter::EmptyArchive());
  {
    TZipWriter w;
    w.Add("doc.xml", "<doc>text</doc>");
    w.Add("doc.sig", "signature", TZipWriterMethod::zwmStored);
    w.comment = "archive comment";
    save("plain.zip", w.Build());
    w.trailing = "junk junk!";
    save("trailing.zip", w.Build());
    w.trailing.clear();
    w.prefix = "MZ stub stub stub";
    save("prefixed.zip", w.Build());
  }
  {
    TZipWriter w;
    w.AddDirectory("docs");
    auto& e = w.Add("docs/a.xml", "<a/>");
    e.comment = "entry comment";
    e.central_extra.push_back(UnicodePathBlock("docs/a.xml", "докс/а.xml"));
    e.central_extra.push_back(UnicodeCommentBlock("entry comment", "примечание"));
    auto& oem = w.Add(std::string("\x84\xAE\xAA.xml", 7), "x");
    oem.host = kHostMsDos;
    auto& utf8 = w.Add("выписка.xml", "y");
    utf8.flags = kFlagUtf8Name;
    utf8.version_made_by = kVersionMadeByNtfs50;
    save("names.zip", w.Build());
  }
  {
    TZipWriter w;
    w.Add("big.bin", std::string(100, 'b')).zip64 = true;
    w.Add("small.txt", "s");
    w.zip64 = true;
    save("zip64.zip", w.Build());
  }
  {
    // Zip64 as other tools write it: behind a prefix with a comment after, a
    // locator that counts no disks, blocks escaping some fields only.
    TZipWriter w;
    auto& first = w.Add("first.bin", std::string(40, 'f'));
    first.zip64 = true;
    first.zip64_escapes = 2;
    first.zip64_version = false;
    first.central_extra.push_back({0x5455, "\x01\x02\x03\x04\x05"});
    auto& second = w.Add("second.bin", "second", TZipWriterMethod::zwmStored);
    second.zip64 = true;
    second.zip64_escapes = 5;
    second.zip64_block_last = true;
    second.central_extra.push_back({0x000A, std::string(32, '\0')});
    w.zip64 = true;
    w.zip64_total_disks = 0;
    w.prefix = "stub before the archive";
    w.comment = "comment after the Zip64 records";
    save("zip64-shapes.zip", w.Build());
  }
  {
    // A count short of the records the directory's size covers, an empty
    // stored file with a wrong compressed size, an unflagged UTF-8 name from Unix.
    TZipWriter w;
    w.Add("a.txt", "a");
    w.Add("empty.txt", "", TZipWriterMethod::zwmStored).crc = 0;
    w.Add("Документ.xml", "<d/>").host = kHostUnix;
    w.entry_count = 1;
    std::string bytes = w.Build();
    bytes[bytes.rfind("empty.txt") - 46 + 20] = 2;  // the compressed size in its central record
    save("count-and-sizes.zip", bytes);
  }
  {
    // Names the unpacking must refuse, next to ones it must take.
    TZipWriter w;
    w.Add("../up.txt", "u");
    w.Add("/abs.txt", "a");
    w.Add("C:\\drive.txt", "c");
    w.Add("a/../../b.txt", "b");
    w.AddDirectory("dir");
    w.Add("dir/sub/ok.txt", "ok", TZipWriterMethod::zwmStored);
    auto& link = w.Add("link", "../outside");
    link.host = kHostUnix;
    link.external_attributes = 0120777u << 16;
    save("paths.zip", w.Build());
  }
  {
    TZipWriter w;
    std::string text;
    for (int i = 0; i < 200; ++i) text += "<row n=\"" + std::to_string(i) + "\">value</row>\n";
    w.Add("rows.xml", text);
    w.Add("rows.bin", text, TZipWriterMethod::zwmStored);
    w.Add("bad-crc.txt", "checked").crc = 1;
    auto& described = w.Add("described.txt", "data descriptor flag");
    described.flags = 0x0008;
    save("data.zip", w.Build());
  }
  return 0;
}
