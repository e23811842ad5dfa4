#pragma once
// The plan of territory (KPT, schema versions 05 to 09): the file class that
// picks the values reader by version, the five readers, and the reading
// functions that the extract readers share.

#include <memory>
#include <string>
#include <string_view>

#include "cadastral/file_info_data.h"
#include "cadastral/ostrevan_file.h"
#include "cadastral/ref_object.h"

namespace xml {
struct TXMLNode;
}

namespace cadastral {

// Counted references to cadastral block objects.
using TCadastralBlockList = TRefObjectList;

// The coordinate system text of every version 05 plan: those plans name none.
inline constexpr std::string_view kKpt05CoordSystemName = "Без системы координат (05 версия)";

class TKPTFile : public TOstrevanFile {
 public:
  TKPTFile();
  ~TKPTFile() override;

  // Recognises the document, then runs the values reader of its version.
  void LoadFromStream(common::TStream& stream) override;

  // The reader of the recognised version holding the values it read; null
  // when the version has none. The file keeps a reference of its own: take
  // another to keep the record beyond the file.
  TKPTFileInfoData* InfoData() const { return info_data_; }
  // Created empty; nothing fills it.
  TCadastralBlockList& CadastralBlocks() { return *cadastral_blocks_; }

 private:
  TKPTFileInfoData* info_data_ = nullptr;
  std::unique_ptr<TCadastralBlockList> cadastral_blocks_;
};

class TKPTFile9InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTFile8InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTFile7InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTFile6InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKPTFile5InfoData : public TKPTFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};

// The reading functions take UTF-8 names and give UTF-8 text; every name is
// compared exactly, a namespace prefix included.

// The attribute of the element the parser stands on, or of the next child
// element, whose header it reads; empty when there is none.
std::string ReadHeaderAttribute(xml::TXMLSequentialParser& parser, std::string_view attribute_name);
// All text of the first child of that name (text and character data at any
// depth, joined), empty without such a child.
std::string ChildText(xml::TXMLNode* node, std::string_view child_name);
// The attribute of the first child of that name, empty without either.
std::string ChildAttribute(xml::TXMLNode* node, std::string_view child_name, std::string_view attribute_name);

}  // namespace cadastral
