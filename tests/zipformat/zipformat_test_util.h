#pragma once
// Shared helpers of the ZIP format tests (the component's tests use them too).

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/stream.h"
#include "platform/file_system.h"
#include "support/temp_folder.h"
#include "zipformat/zip_core.h"
#include "zipformat/zip_error.h"
#include "zipformat/zip_file.h"

namespace ziptest {

inline std::unique_ptr<common::TStream> MemoryStream(const std::string& bytes) {
  auto stream = std::make_unique<common::TMemoryStream>();
  stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return stream;
}

// A context that keeps the warnings it is given.
class TRecordingContext : public zip::TZipContext {
 public:
  void ReportWarning(int code, const std::string&) override { warnings.push_back(zip::ZipCodeId(code)); }
  std::vector<int> warnings;
};

// Lists archive bytes held in memory; the result code's id (0 on success).
inline int ListBytes(zip::TZipFile& file, const std::string& bytes) {
  return zip::ZipCodeId(file.OpenAndList(MemoryStream(bytes), "memory.zip"));
}

using support::TTempFolder;

}  // namespace ziptest
