#include "cadastral/ostrevan_file.h"

#include "common/stream.h"
#include "platform/text_compare.h"
#include "platform/text_conversion.h"
#include "xml/xml_sequential_parser.h"

namespace cadastral {

std::string StylesheetContent(const TStylesheetRow& row) {
  std::string content = "type=\"text/xsl\" href=\"https://";
  content.append(kRegistryPortalHost).append(row.Path).append("\"");
  return content;
}

namespace {

// The contents of the rows, built once.
const std::array<std::string, kStylesheetRows.size()>& RowContents() {
  static const auto contents = [] {
    std::array<std::string, kStylesheetRows.size()> result;
    for (size_t i = 0; i < kStylesheetRows.size(); ++i) result[i] = StylesheetContent(kStylesheetRows[i]);
    return result;
  }();
  return contents;
}

}  // namespace

TOstrevanFile::TOstrevanFile() : parser_(std::make_unique<xml::TXMLSequentialParser>()) {}

TOstrevanFile::~TOstrevanFile() = default;

void TOstrevanFile::LoadFromStream(common::TStream& stream) {
  stream.SetPosition(0);
  parser_->InitStream(stream);
  // Read on behind the root element: an instruction placed after it still counts.
  parser_->ReaderSettings().BreakReading = xml::TXMLBreakReading::None;
  Recognize();
}

void TOstrevanFile::Recognize() {
  kind_ = fkUnknown;
  version_ = kUnknownVersion;
  xml::TXMLNode* node = nullptr;
  for (;;) {
    if (!parser_->ReadCompleteNode(node)) return;
    if (node->NodeName() == u"xml-stylesheet") break;
  }
  // Only the first instruction counts, whether it matches a row or not.
  const std::string content = platform::Utf16ToUtf8(node->NodeValue());
  const auto& contents = RowContents();
  for (size_t i = 0; i < contents.size(); ++i) {
    if (platform::SameText(std::string_view(content), std::string_view(contents[i]))) {
      kind_ = kStylesheetRows[i].Kind;
      version_ = kStylesheetRows[i].Version;
      return;
    }
  }
}

}  // namespace cadastral
