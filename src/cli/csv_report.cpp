#include "cli/csv_report.h"

#include "platform/file_system.h"

namespace cli {

namespace {

const char* KindText(cadastral::TOstrevanFileKind kind) {
  switch (kind) {
    case cadastral::fkKPT:
      return "КПТ";
    case cadastral::fkKvzu:
      return "КВЗУ";
    default:
      return "";
  }
}

}  // namespace

bool TCsvReport::Open(const std::string& path) {
  file_.open(platform::ToPath(path), std::ios::binary | std::ios::trunc);
  if (!file_) return false;
  file_ << "\xEF\xBB\xBF";
  Row({"Архив", "Файл в архиве", "Вид", "Версия", "Кадастровый номер", "Система координат", "Номер удостоверения",
       "Дата удостоверения", "Дата постановки", "Папка", "Результат"});
  return static_cast<bool>(file_);
}

std::string TCsvReport::Field(const std::string& text) {
  if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void TCsvReport::Row(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ';';
    line += Field(fields[i]);
  }
  file_ << line << "\r\n";
}

void TCsvReport::AddDocument(const sorting::TDocumentRecord& r) {
  std::string result = sorting::ActionName(r.action);
  if (!r.reason.empty()) result += ": " + r.reason;
  Row({r.archive, r.entry, KindText(r.kind), r.version == cadastral::kUnknownVersion ? "" : r.version,
       r.cadastral_number, r.coord_system, r.certification_number, r.certification_date, r.registration_date,
       r.target_folder, result});
}

void TCsvReport::AddArchive(const std::string& archive, const std::string& result) {
  Row({archive, "", "", "", "", "", "", "", "", "", result});
}

void TCsvReport::Flush() { file_.flush(); }

bool TCsvReport::Close() {
  file_.close();
  return !file_.fail();
}

}  // namespace cli
