#pragma once
// The extract on a land plot (KVZU): the file class that runs the values reader
// of the document's version (the readers and their table: schema_versions.h).

#include "cadastral/file_info_data.h"
#include "cadastral/ostrevan_file.h"
#include "cadastral/schema_versions.h"

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

}  // namespace cadastral
