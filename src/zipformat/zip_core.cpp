#include "zipformat/zip_core.h"

#include "zipformat/zip_message_table.h"

namespace zip {

TZipContext::~TZipContext() = default;
void TZipContext::ReportWarning(int, const std::string&) {}
void TZipContext::Diag(const std::string&) {}
void TZipContext::ProgressStart(const std::string&, int64_t) {}
void TZipContext::ProgressAdvance(int64_t) {}
void TZipContext::ProgressEnd() {}
std::string TZipContext::LoadStr(int id) const { return LoadZipStr(id); }

TZipContext& DefaultZipContext() {
  static TZipContext context;
  return context;
}

TZipCore::~TZipCore() = default;

}  // namespace zip
