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

// --- for the readers of the schemas of 2017 onward and the formats without a stylesheet

// The namespaces of the parts that the later schemas share.
inline constexpr std::u16string_view kNsEntitySpatial5 =
    u"urn://x-artefacts-rosreestr-ru/commons/complex-types/entity-spatial/5.0.1";
inline constexpr std::u16string_view kNsCertificationDoc =
    u"urn://x-artefacts-rosreestr-ru/commons/complex-types/certification-doc/1.0";

// Drops the white space around an element's text: these generators indent
// text that the older ones wrote tight.
void TrimBlanks(std::string& text);
// The date of a date-time ("2012-06-30T00:00:00+04:00" gives "2012-06-30"), so
// that a folder named after it holds the day; any other text as it is.
std::string DateOf(std::string_view text);

}  // namespace cadastral
