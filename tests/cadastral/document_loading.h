#pragma once
// Loads test documents through the file classes as the sort run does: the file
// object is released before the values are looked at.

#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "cadastral/kpt_file.h"
#include "cadastral/kvzu_file.h"
#include "cadastral/ostrevan_file.h"
#include "common/stream.h"

namespace cadtest {

struct TRecognition {
  cadastral::TOstrevanFileKind kind;
  std::string version;
  bool operator==(const TRecognition&) const = default;
};

inline TRecognition Recognize(std::string_view bytes) {
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto file = cadastral::TRef<cadastral::TOstrevanFile>::Create();
  file->LoadFromStream(stream);
  return {file->Kind(), file->Version()};
}

// The values record, or null when the file handed none out.
inline cadastral::TRef<cadastral::TKPTFileInfoData> ReadKpt(std::string_view bytes) {
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto file = cadastral::TRef<cadastral::TKPTFile>::Create();
  file->LoadFromStream(stream);
  return cadastral::TRef<cadastral::TKPTFileInfoData>(file->InfoData());
}

inline cadastral::TRef<cadastral::TKvzuFileInfoData> ReadKvzu(std::string_view bytes) {
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto file = cadastral::TRef<cadastral::TKvzuFile>::Create();
  file->LoadFromStream(stream);
  return cadastral::TRef<cadastral::TKvzuFileInfoData>(file->InfoData());
}

// The fields of either record, for comparing in one go.
struct TValues {
  std::string cadastral_number;
  std::string coord_system_name;
  std::string certification_number;
  std::string certification_date;
  std::string date_created;
  bool operator==(const TValues&) const = default;
};

// Stands for "no record handed out" in comparisons.
inline TValues NoRecord() {
  TValues v;
  v.cadastral_number = "<no record>";
  return v;
}
inline TValues NumberOnly(std::string number) {
  TValues v;
  v.cadastral_number = std::move(number);
  return v;
}
inline TValues CoordSystemOnly(std::string name) {
  TValues v;
  v.coord_system_name = std::move(name);
  return v;
}

inline TValues ValuesOf(const cadastral::TKPTFileInfoData& v) {
  return {v.CadastralNumber, v.CoordSystemName, v.CertificationDocNumber, v.CertificationDocDate, {}};
}
inline TValues ValuesOf(const cadastral::TKvzuFileInfoData& v) {
  return {v.CadastralNumber, v.CoordSystemName, v.CertificationDocNumber, v.CertificationDocDate, v.DateCreated};
}

inline std::ostream& operator<<(std::ostream& out, const TValues& v) {
  return out << "{number \"" << v.cadastral_number << "\", coord \"" << v.coord_system_name << "\", cert \""
             << v.certification_number << "\" / \"" << v.certification_date << "\", created \"" << v.date_created
             << "\"}";
}
inline std::ostream& operator<<(std::ostream& out, const TRecognition& r) {
  return out << "{kind " << static_cast<int>(r.kind) << ", version \"" << r.version << "\"}";
}

}  // namespace cadtest
