#include "zip/zip_lister.h"

namespace zip {

int TZipLister::List(const std::string& name) {
  listed_ = false;
  cen_dir_.Clear();
  if (name.empty()) return 0;
  const int result = cen_dir_.File().OpenAndList(name);
  listed_ = result == 0;
  return result;
}

}  // namespace zip
