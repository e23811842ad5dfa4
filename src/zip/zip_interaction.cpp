#include "zip/zip_interaction.h"

#include <atomic>
#include <cstdio>

namespace zip {

namespace {
std::atomic<TZipInteraction*> g_interaction{nullptr};
}

TZipInteraction::~TZipInteraction() = default;

int TZipConsoleInteraction::ShowModal(TZipMessageDialog& dialog) {
  std::fprintf(stderr, "%s%s%s\n", dialog.Caption().c_str(), dialog.Caption().empty() ? "" : ": ",
               dialog.Text().c_str());
  std::fflush(stderr);
  if (dialog.HasPasswordEdit()) return zmrCancel;
  const int index = dialog.DefaultButton();
  return index >= 0 ? dialog.Buttons()[static_cast<size_t>(index)].modal_result : zmrOk;
}

TZipInteraction& ConsoleZipInteraction() {
  static TZipConsoleInteraction console;
  return console;
}

TZipInteraction& ZipInteraction() {
  TZipInteraction* set = g_interaction.load();
  return set ? *set : ConsoleZipInteraction();
}

void SetZipInteraction(TZipInteraction* interaction) { g_interaction.store(interaction); }

}  // namespace zip
