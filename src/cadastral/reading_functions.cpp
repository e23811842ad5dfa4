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

}  // namespace cadastral
