#pragma once
// Shared helpers of the archive component's tests.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/stream.h"
#include "platform/file_system.h"
#include "support/temp_folder.h"
#include "zip/zip_core.h"
#include "zip/zip_file.h"
#include "zip/zip_interaction.h"

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

// Records dialogs and busy-cursor calls instead of showing anything.
class TRecordingInteraction : public zip::TZipInteraction {
 public:
  struct TShown {
    std::string caption, text;
    zip::TZipDlgIcon icon;
    zip::TZipDlgBeep beep;
    std::vector<zip::TZipDialogButton> buttons;
    int default_button, cancel_button;
  };
  std::string ApplicationTitle() override { return "Vorlanex"; }
  int ShowModal(zip::TZipMessageDialog& d) override {
    shown.push_back({d.Caption(), d.Text(), d.Icon(), d.Beep(), d.Buttons(), d.DefaultButton(), d.CancelButton()});
    if (d.HasPasswordEdit()) d.edit_text = password;
    return answer;
  }
  void BeginBusyCursor() override { ++busy_begun; }
  void EndBusyCursor() override { ++busy_ended; }
  void ProcessMessages() override { ++processed; }
  std::vector<TShown> shown;
  int answer = zip::zmrOk;
  std::string password;
  int busy_begun = 0, busy_ended = 0, processed = 0;
};

using support::TTempFolder;

}  // namespace ziptest
