#pragma once
// The reading functions that every values reader takes its values out with.
// They take UTF-8 names and give UTF-8 text; every name is compared exactly, a
// namespace prefix included.

#include <string>
#include <string_view>

namespace xml {
class TXMLSequentialParser;
struct TXMLNode;
}  // namespace xml

namespace cadastral {

// The attribute of the element the parser stands on, or of the next child
// element, whose header it reads; empty when there is none.
std::string ReadHeaderAttribute(xml::TXMLSequentialParser& parser, std::string_view attribute_name);
// All text of the first child of that name (text and character data at any
// depth, joined), empty without such a child.
std::string ChildText(xml::TXMLNode* node, std::string_view child_name);
// The attribute of the first child of that name, empty without either.
std::string ChildAttribute(xml::TXMLNode* node, std::string_view child_name, std::string_view attribute_name);

}  // namespace cadastral
