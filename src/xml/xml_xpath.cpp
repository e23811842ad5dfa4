#include "xml/xml_xpath.h"

#include "platform/text_conversion.h"

namespace xml {

// ============================================================================
// The path-expression evaluator plugs in here. Every path that SelectNode and
// SelectNodes do not answer by a direct name lookup arrives at this function.
// Until the evaluator exists, such a path is refused.
// ============================================================================
IXMLNodeListPtr XPathSelectNodes(TXMLNode& context, std::u16string_view path) {
  (void)context;
  throw EXmlXPathInvalidString("Path expressions are not evaluated yet: " + platform::Utf16ToUtf8(path));
}

}  // namespace xml
