#pragma once
// The component's modal message dialog as data: caption, text, icon and beep,
// the buttons with their names, captions and roles, the password edit, and the
// geometry rules. A presenter (the window's, or the one writing to standard
// error) shows it and answers with the pressed button's modal result.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zipformat/zip_error.h"

namespace zip {

// Buttons in the order the dialog creates them; Help is never made.
enum TZipMsgDlgBtn {
  zmbYes,
  zmbNo,
  zmbOK,
  zmbCancel,
  zmbAbort,
  zmbRetry,
  zmbIgnore,
  zmbAll,
  zmbNoToAll,
  zmbYesToAll,
  zmbHelp
};
using TZipMsgDlgButtons = uint32_t;  // a set: bit (1 << TZipMsgDlgBtn)
constexpr TZipMsgDlgButtons ZipButtons(std::initializer_list<TZipMsgDlgBtn> buttons) {
  TZipMsgDlgButtons set = 0;
  for (TZipMsgDlgBtn b : buttons) set |= 1u << b;
  return set;
}

// Modal results; 1..10 are the answers a dialog handler may give.
enum TZipModalResult {
  zmrNone = 0,
  zmrOk = 1,
  zmrCancel = 2,
  zmrAbort = 3,
  zmrRetry = 4,
  zmrIgnore = 5,
  zmrYes = 6,
  zmrNo = 7,
  zmrAll = 8,
  zmrNoToAll = 9,
  zmrYesToAll = 10
};

// Dialog kinds: the type in bits 16..18, the password edit in bit 20.
constexpr int zmtWarning = 0x000000;
constexpr int zmtError = 0x010000;
constexpr int zmtInformation = 0x020000;
constexpr int zmtConfirmation = 0x030000;
constexpr int zmtNone = 0x040000;
constexpr int zmtPassword = 0x140000;
constexpr int kZipErrorHelpContext = 10000;

enum class TZipDlgType { dtWarning, dtError, dtInformation, dtConfirmation, dtNone };
enum class TZipDlgIcon { diNone, diExclamation, diHand, diAsterisk, diQuestion };
enum class TZipDlgBeep { dbNone, dbExclamation, dbHand, dbAsterisk, dbQuestion };

struct TZipDialogButton {
  TZipMsgDlgBtn kind;
  std::string name;     // "ZipDlg_A1", "ZipDlg_A2", ... in creation order
  std::string caption;  // from the message table
  int modal_result;
};

// Sizes a presenter measures with the dialog's font.
struct TZipFontMetrics {
  int average_char_width = 0;  // width of kAverageCharSample / 64
  int char_height = 0;
  int screen_width = 0;
};
struct TZipRect {
  int left = 0, top = 0, width = 0, height = 0;
};
struct TZipDialogGeometry {
  int client_width = 0, client_height = 0;
  TZipRect icon, text, edit;
  std::vector<TZipRect> buttons;  // in the order of Buttons()
};
// Measures a text wrapped to at most max_width pixels: its width and height.
using TZipMeasureText = std::function<void(const std::string& text, int max_width, int& width, int& height)>;

class TZipMessageDialog {
 public:
  // Dialog units of the layout.
  static constexpr int kHorzMargin = 8, kVertMargin = 8, kHorzSpacing = 10, kVertSpacing = 10;
  static constexpr int kButtonWidth = 50, kButtonHeight = 14, kButtonSpacing = 4;
  static constexpr int kIconSize = 32;  // pixels
  static constexpr int kEditMaxLength = 80;
  static constexpr int kEditMinChars = 80;  // average characters of edit width
  static constexpr char kPasswordChar = '*';
  static constexpr const char* kTextName = "dlgText";
  static constexpr const char* kEditName = "dlgEdit";
  static constexpr const char* kAverageCharSample = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789  ";

  // title empty: the application's title; show_help_context (Verbose or Trace)
  // gives the caption "%s   (%d)". Captions come from load.
  TZipMessageDialog(const std::string& title, const std::string& message, int kind, TZipMsgDlgButtons buttons,
                    int help_context, const std::string& application_title, bool show_help_context,
                    const TZipStrLoader& load);

  const std::string& Caption() const { return caption_; }
  const std::string& Text() const { return text_; }
  int Kind() const { return kind_; }
  int HelpContext() const { return help_context_; }
  TZipDlgType Type() const { return type_; }
  TZipDlgIcon Icon() const;
  TZipDlgBeep Beep() const;
  const std::vector<TZipDialogButton>& Buttons() const { return buttons_; }
  // Index into Buttons(), or -1.
  int DefaultButton() const { return default_; }
  int CancelButton() const { return cancel_; }
  bool HasPasswordEdit() const { return (kind_ & zmtPassword) == zmtPassword; }

  // The answer of the password edit, set by the presenter when OK is pressed.
  std::string edit_text;

  // Pixel geometry from the font metrics: margins and spacings in dialog units,
  // buttons of one width (at least 50 units, at least the widest caption + 8 px),
  // text no wider than half the screen, the window as wide as the wider of text
  // (with icon) and button row.
  TZipDialogGeometry Layout(const TZipFontMetrics& metrics, const TZipMeasureText& measure) const;

 private:
  std::string caption_;
  std::string text_;
  int kind_;
  int help_context_;
  TZipDlgType type_;
  std::vector<TZipDialogButton> buttons_;
  int default_ = -1;
  int cancel_ = -1;
};

}  // namespace zip
