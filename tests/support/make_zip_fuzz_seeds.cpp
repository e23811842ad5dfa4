// Writes the seed corpus of fuzz_zip_directory into the folder given.
//   make_zip_fuzz_seeds tests/data/fuzz/fuzz_zip_directory

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
  return 0;
}
