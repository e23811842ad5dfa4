#pragma once
// The document kind and the values records that the version readers fill and
// the output rules consume.

#include <cstdint>
#include <string>

#include "cadastral/ref_object.h"

namespace xml {
class TXMLSequentialParser;
}

namespace cadastral {

enum TOstrevanFileKind : uint8_t { fkKPT = 0, fkKvzu = 1, fkUnknown = 2 };

// Schema version text of a document that was not recognised.
inline constexpr const char* kUnknownVersion = "-1";

// Values of a cadastral plan of territory. Every text is the document's own
// (UTF-8), untrimmed; a value the document lacks stays empty.
class TKPTFileInfoData : public TRefObject {
 public:
  std::string CadastralNumber;  // of the cadastral block
  std::string CertificationDocNumber;
  std::string CertificationDocDate;
  std::string CoordSystemName;

  // Reads the values of one schema version from the parser's document.
  virtual void ReadValues(xml::TXMLSequentialParser& parser) = 0;
};

// Values of an extract on a land plot.
class TKvzuFileInfoData : public TRefObject {
 public:
  std::string CadastralNumber;  // of the land plot
  std::string CertificationDocNumber;
  std::string CertificationDocDate;
  std::string CoordSystemName;
  std::string DateCreated;  // registration date of the plot

  virtual void ReadValues(xml::TXMLSequentialParser& parser) = 0;
};

}  // namespace cadastral
