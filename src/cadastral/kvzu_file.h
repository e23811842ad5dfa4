#pragma once
// The extract on a land plot (KVZU, schema versions 05 and 06): the file class
// that picks the values reader by version, and the two readers.

#include "cadastral/file_info_data.h"
#include "cadastral/ostrevan_file.h"

namespace cadastral {

class TKvzuFile : public TOstrevanFile {
 public:
  TKvzuFile() = default;
  ~TKvzuFile() override;

  // Recognises the document, then runs the values reader of its version.
  void LoadFromStream(common::TStream& stream) override;

  // The reader of the recognised version holding the values it read; null
  // when the version has none. The file keeps a reference of its own.
  TKvzuFileInfoData* InfoData() const { return info_data_; }

 private:
  TKvzuFileInfoData* info_data_ = nullptr;
};

class TKvzuFile6InfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};
class TKvzuFile5InfoData : public TKvzuFileInfoData {
 public:
  void ReadValues(xml::TXMLSequentialParser& parser) override;
};

}  // namespace cadastral
