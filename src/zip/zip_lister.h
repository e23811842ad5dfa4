#pragma once
// The listing operation object of the component: it owns the visible list and,
// through it, the archive file.

#include <string>

#include "zip/zip_cen_dir.h"
#include "zipformat/zip_core.h"

namespace zip {

class TZipLister : public TZipCore {
 public:
  explicit TZipLister(TZipContext& context) : TZipCore(context), cen_dir_(context) {}

  // Opens and lists the archive; 0 or a negative code (warnings go to the context).
  int List(const std::string& name);

  bool Listed() const { return listed_; }
  TZipCenDir& CenDir() { return cen_dir_; }
  const TZipCenDir& CenDir() const { return cen_dir_; }

 private:
  TZipCenDir cen_dir_;
  bool listed_ = false;
};

}  // namespace zip
