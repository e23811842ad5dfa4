#pragma once
// One row per archive and document, for a spreadsheet: UTF-8 with a byte order
// mark, ";" between fields, CR LF between rows.

#include <fstream>
#include <string>
#include <vector>

#include "sorting/sort_run.h"

namespace cli {

class TCsvReport {
 public:
  // Opens (replacing) the file and writes the heading; false when it cannot be created.
  bool Open(const std::string& path);
  bool IsOpen() const { return file_.is_open(); }
  void AddDocument(const sorting::TDocumentRecord& record);
  // A row for an archive that yielded no document.
  void AddArchive(const std::string& archive, const std::string& result);
  // Puts the rows so far on disk: after each archive, so that a run that is
  // interrupted or killed leaves a report of whole rows.
  void Flush();
  bool Close();

  static std::string Field(const std::string& text);

 private:
  void Row(const std::vector<std::string>& fields);
  std::ofstream file_;
};

}  // namespace cli
