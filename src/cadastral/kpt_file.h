#pragma once
// The plan of territory (KPT): the file class that runs the values reader of
// the document's version (the readers and their table: schema_versions.h).

#include <memory>
#include <string_view>

#include "cadastral/file_info_data.h"
#include "cadastral/ostrevan_file.h"
#include "cadastral/ref_object.h"
#include "cadastral/schema_versions.h"

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

}  // namespace cadastral
