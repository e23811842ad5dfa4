#include "sorting/engine_check.h"

#include "platform/file_system.h"
#include "zip/zip_archive.h"
#include "zip/zip_engine_loader.h"

namespace sorting {

bool EngineAvailable(const std::string& folder, std::string& message) {
  const std::string where = folder.empty() ? platform::ExecutableDirectory() : folder;
  zip::TZipArchive probe;
  // Nobody is asked anything: the answer is the component's last error.
  probe.SetUnattended(true);
  probe.SetEngineDirectory(where);
  probe.SetEngineLoad(true);
  if (probe.EngineLoad()) {
    probe.SetEngineLoad(false);
    return true;
  }
  // The table text may add the path on a line of its own; the first line says it all.
  std::string reason = probe.ErrMsg();
  reason = reason.substr(0, reason.find_first_of("\r\n"));
  message = std::string("модуль распаковки ") + zip::kZipEngineLibraryName + " не загружается из папки " + where;
  if (!reason.empty()) message += " (" + reason + ")";
  return false;
}

}  // namespace sorting
