#pragma once
// How the archive component talks to the user: its message dialog, the
// hourglass while it is busy, and the processing of pending window messages in
// its cancellation poll. The desktop program installs a window-backed one; the
// default writes dialogs to standard error and does nothing else.

#include <cstdint>
#include <string>

#include "zip/zip_message_dialog.h"

namespace zip {

class TZipInteraction {
 public:
  virtual ~TZipInteraction();

  // The application's main window, the parent of the engine's own dialogs (0: none).
  virtual intptr_t WindowHandle() { return 0; }
  // The application's title (the caption of a dialog without a title).
  virtual std::string ApplicationTitle() { return {}; }
  // Shows the dialog modally; the pressed button's modal result. For a
  // password dialog the answer goes to dialog.edit_text.
  virtual int ShowModal(TZipMessageDialog& dialog) = 0;
  // The hourglass on (first operation starts) and the previous cursor back.
  virtual void BeginBusyCursor() {}
  virtual void EndBusyCursor() {}
  // Lets the application handle its pending window messages.
  virtual void ProcessMessages() {}
};

// Writes the dialog's caption and text to standard error and answers with the
// default button (a password dialog answers Cancel: nobody can type).
class TZipConsoleInteraction : public TZipInteraction {
 public:
  int ShowModal(TZipMessageDialog& dialog) override;
};

// The process-wide interaction; SetZipInteraction(nullptr) restores the default.
// The object set must outlive every component that uses it. It belongs to the
// main thread: components made on other threads use the console one.
TZipInteraction& ZipInteraction();
void SetZipInteraction(TZipInteraction* interaction);
// The default, writing to standard error; safe on any thread.
TZipInteraction& ConsoleZipInteraction();

}  // namespace zip
