// Writes one test document to a file, for looking at the builder's output by hand.
//   make_test_document KPT_09 plan.xml --single-line --size=100M

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "support/document_builder.h"

namespace {

int Usage() {
  std::cerr << "usage: make_test_document SCHEMA FILE [options]\n"
               "  SCHEMA  KPT_05 KPT_06 KPT_07 KPT_08 KPT_09 KPT_10 KPT_territory\n"
               "          KVZU_05 KVZU_06 KVZU_07 KVZU_property_land KVZU_base_params_land\n"
               "  --single-line          no line breaks (default: indented, CR LF)\n"
               "  --windows-1251         encode as windows-1251\n"
               "  --bom                  write a byte order mark\n"
               "  --later-generator      KPT 10, KVZU 07: the prefixes and layout of the later generator\n"
               "  --other-stylesheet     KPT 10, KVZU 07: the second stylesheet reference\n"
               "  --root=NAME            formats without a stylesheet: another root element\n"
               "  --parcels=N            N sample parcels in the first block / the extract\n"
               "  --size=N[K|M]          append parcels until the text has N bytes\n"
               "  --stylesheet-after-root, --no-stylesheet\n"
               "  --certification-first  the certification before the blocks / parcels\n"
               "  --coord-systems-first  the coordinate systems before the parcels / certification\n"
               "  --split-number         a comment and a CDATA section in the certification number\n"
               "  --truncate=N           keep only the first N bytes\n";
  return 2;
}

bool ParseCount(std::string_view text, std::size_t& value) {
  if (text.empty()) return false;
  std::size_t scale = 1;
  if (text.back() == 'K' || text.back() == 'k') scale = 1024;
  if (text.back() == 'M' || text.back() == 'm') scale = 1024 * 1024;
  if (scale != 1) text.remove_suffix(1);
  char* end = nullptr;
  const std::string digits(text);
  const unsigned long long number = std::strtoull(digits.c_str(), &end, 10);
  if (digits.empty() || *end != '\0') return false;
  value = static_cast<std::size_t>(number) * scale;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace testdocs;
  if (argc < 3) return Usage();

  const std::string_view name = argv[1];
  const TSchema* schema = nullptr;
  for (const TSchema& candidate : kAllSchemas)
    if (SchemaName(candidate) == name) schema = &candidate;
  if (schema == nullptr) return Usage();

  TDocument doc = SampleDocument(*schema);
  TBuildOptions options;
  for (int i = 3; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::size_t count = 0;
    if (arg == "--later-generator") {
      options = LaterGeneratorOptions();
    } else if (arg == "--other-stylesheet") {
      options.other_stylesheet = true;
    } else if (arg.starts_with("--root=")) {
      options.root_element = std::string(arg.substr(7));
    } else if (arg == "--single-line") {
      options.layout = TLayout::SingleLine;
    } else if (arg == "--windows-1251") {
      options.encoding = TEncoding::Windows1251;
    } else if (arg == "--bom") {
      options.byte_order_mark = true;
    } else if (arg == "--stylesheet-after-root") {
      options.stylesheet_placement = TStylesheetPlacement::AfterRoot;
    } else if (arg == "--no-stylesheet") {
      options.stylesheet_placement = TStylesheetPlacement::None;
    } else if (arg == "--certification-first") {
      options.certification_first = true;
    } else if (arg == "--coord-systems-first") {
      options.coord_systems_first = true;
    } else if (arg == "--split-number") {
      options.number_split = TNumberSplit::CommentAndCData;
    } else if (arg.starts_with("--size=") && ParseCount(arg.substr(7), count)) {
      options.target_size = count;
    } else if (arg.starts_with("--truncate=") && ParseCount(arg.substr(11), count)) {
      options.truncate_at = count;
    } else if (arg.starts_with("--parcels=") && ParseCount(arg.substr(10), count)) {
      std::vector<TParcel>& parcels = KindOf(*schema) == TDocumentKind::Kpt ? doc.blocks[0].parcels : doc.parcels;
      parcels.clear();
      for (std::size_t n = 0; n < count; ++n) parcels.push_back(SampleParcel("50:20:0010336", static_cast<int>(n) + 1));
    } else {
      return Usage();
    }
  }

  const std::string bytes = BuildDocument(doc, options);
  std::ofstream out(argv[2], std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::cerr << "make_test_document: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
