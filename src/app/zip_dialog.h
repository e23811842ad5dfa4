#pragma once
// The archive component's dialogs and busy cursor in Qt: the message dialog is
// laid out by the component's own geometry rules and shown modally, centred on
// the screen, with the icon and the beep of its type.

#include <QDialog>
#include <memory>

#include "zip/zip_interaction.h"
#include "zip/zip_message_dialog.h"

namespace app {

// The dialog window of one message: the text label "dlgText", the buttons
// "ZipDlg_A1", ... in the component's order, the password edit "dlgEdit" when the
// kind asks for one. Esc and the close box answer with the cancel button's result.
class TZipDialogWindow : public QDialog {
  Q_OBJECT
 public:
  TZipDialogWindow(const zip::TZipMessageDialog& dialog, QWidget* parent);
  // The answer when the dialog is closed without a button (Esc, close box).
  int CancelResult() const { return cancel_result_; }

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  int cancel_result_;
  zip::TZipDlgBeep beep_;
};

// The component's interaction with the user in the desktop program.
class TQtZipInteraction : public zip::TZipInteraction {
 public:
  // The window that owns the dialogs (none: the active window).
  void SetMainWindow(QWidget* window) { main_window_ = window; }

  intptr_t WindowHandle() override;
  std::string ApplicationTitle() override;
  int ShowModal(zip::TZipMessageDialog& dialog) override;
  void BeginBusyCursor() override;
  void EndBusyCursor() override;
  void ProcessMessages() override;

 private:
  QWidget* main_window_ = nullptr;
};

// Installs the Qt interaction for the archive component while it lives.
class TZipInteractionScope {
 public:
  explicit TZipInteractionScope(QWidget* main_window = nullptr);
  ~TZipInteractionScope();
  TZipInteractionScope(const TZipInteractionScope&) = delete;
  TZipInteractionScope& operator=(const TZipInteractionScope&) = delete;
  TQtZipInteraction& Interaction() { return interaction_; }

 private:
  TQtZipInteraction interaction_;
};

}  // namespace app
