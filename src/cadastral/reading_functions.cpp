#include "cadastral/reading_functions.h"

#include "platform/text_conversion.h"
#include "xml/xml_sequential_parser.h"

namespace cadastral {

std::string ReadHeaderAttribute(xml::TXMLSequentialParser& parser, std::string_view attribute_name) {
  xml::TXMLNode* element = nullptr;
  if (!parser.ReadElementHeader(element)) return {};
  return platform::Utf16ToUtf8(element->GetAttribute(platform::Utf8ToUtf16(attribute_name)));
}

namespace {

xml::TXMLNode* SelectChild(xml::TXMLNode* node, std::string_view child_name) {
  if (!node || child_name.empty()) return nullptr;
  xml::TXMLNode* child = nullptr;
  return node->SelectNode(platform::Utf8ToUtf16(child_name), child) ? child : nullptr;
}

}  // namespace

std::string ChildText(xml::TXMLNode* node, std::string_view child_name) {
  xml::TXMLNode* child = SelectChild(node, child_name);
  return child ? platform::Utf16ToUtf8(child->GetText()) : std::string();
}

std::string ChildAttribute(xml::TXMLNode* node, std::string_view child_name, std::string_view attribute_name) {
  xml::TXMLNode* child = SelectChild(node, child_name);
  return child ? platform::Utf16ToUtf8(child->GetAttribute(platform::Utf8ToUtf16(attribute_name))) : std::string();
}

void TrimBlanks(std::string& text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(text.find_last_not_of(kBlanks) + 1);
  text.erase(0, begin);
}

std::string DateOf(std::string_view text) {
  // YYYY-MM-DDThh...
  const auto digits = [&](size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
      if (text[i] < '0' || text[i] > '9') return false;
    return true;
  };
  if (text.size() > 10 && text[10] == 'T' && digits(0, 4) && text[4] == '-' && digits(5, 2) && text[7] == '-' &&
      digits(8, 2))
    return std::string(text.substr(0, 10));
  return std::string(text);
}

}  // namespace cadastral
