#pragma once
// Shared helpers of the archive component's tests.

#include <string>
#include <vector>

#include "zip/zip_interaction.h"
#include "zipformat/zipformat_test_util.h"

namespace ziptest {

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

}  // namespace ziptest
