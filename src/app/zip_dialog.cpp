#include "app/zip_dialog.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "app/application.h"

namespace app {

namespace {

QRect ToRect(const zip::TZipRect& r) { return QRect(r.left, r.top, r.width, r.height); }

// The password edit shows "*" for every character, whatever the style's own.
class TAsteriskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* answer) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return zip::TZipMessageDialog::kPasswordChar;
    return QProxyStyle::styleHint(hint, option, widget, answer);
  }
};

QStyle::StandardPixmap IconPixmap(zip::TZipDlgIcon icon) {
  switch (icon) {
    case zip::TZipDlgIcon::diExclamation:
      return QStyle::SP_MessageBoxWarning;
    case zip::TZipDlgIcon::diHand:
      return QStyle::SP_MessageBoxCritical;
    case zip::TZipDlgIcon::diAsterisk:
      return QStyle::SP_MessageBoxInformation;
    case zip::TZipDlgIcon::diQuestion:
      return QStyle::SP_MessageBoxQuestion;
    case zip::TZipDlgIcon::diNone:
      break;
  }
  return QStyle::SP_CustomBase;
}

void Beep(zip::TZipDlgBeep beep) {
  if (beep == zip::TZipDlgBeep::dbNone) return;
#ifdef Q_OS_WIN
  UINT sound = MB_OK;
  switch (beep) {
    case zip::TZipDlgBeep::dbExclamation:
      sound = MB_ICONEXCLAMATION;
      break;
    case zip::TZipDlgBeep::dbHand:
      sound = MB_ICONHAND;
      break;
    case zip::TZipDlgBeep::dbAsterisk:
      sound = MB_ICONASTERISK;
      break;
    case zip::TZipDlgBeep::dbQuestion:
      sound = MB_ICONQUESTION;
      break;
    case zip::TZipDlgBeep::dbNone:
      break;
  }
  MessageBeep(sound);
#else
  // One bell is all the other systems offer.
  QApplication::beep();
#endif
}

QScreen* ScreenOf(QWidget* parent) {
  if (parent && parent->screen()) return parent->screen();
  return QGuiApplication::primaryScreen();
}

}  // namespace

TZipDialogWindow::TZipDialogWindow(const zip::TZipMessageDialog& dialog, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      beep_(dialog.Beep()) {
  setWindowTitle(ToQString(dialog.Caption()));
  setLayoutDirection(QApplication::layoutDirection());
  setFont(QApplication::font("QMessageBox"));
  setModal(true);

  const QFontMetrics metrics(font());
  QScreen* screen = ScreenOf(parent);
  zip::TZipFontMetrics font_metrics;
  font_metrics.average_char_width =
      metrics.horizontalAdvance(QString::fromLatin1(zip::TZipMessageDialog::kAverageCharSample)) / 64;
  font_metrics.char_height = metrics.height();
  font_metrics.screen_width = screen ? screen->geometry().width() : 0;
  const QString text = PlainLines(ToQString(dialog.Text()));
  const zip::TZipDialogGeometry geometry =
      dialog.Layout(font_metrics, [&metrics, &text, &dialog](const std::string& s, int max_width, int& w, int& h) {
        const QString measured = s == dialog.Text() ? text : ToQString(s);
        const QRect r = metrics.boundingRect(QRect(0, 0, max_width, 1 << 20), Qt::TextWordWrap, measured);
        w = r.width();
        h = r.height();
      });

  if (dialog.Icon() != zip::TZipDlgIcon::diNone) {
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Image"));
    icon->setPixmap(style()->standardIcon(IconPixmap(dialog.Icon()), nullptr, this).pixmap(32, 32));
    icon->setGeometry(ToRect(geometry.icon));
  }
  auto* label = new QLabel(text, this);
  label->setObjectName(QString::fromLatin1(zip::TZipMessageDialog::kTextName));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setGeometry(ToRect(geometry.text));

  QLineEdit* edit = nullptr;
  if (dialog.HasPasswordEdit()) {
    edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(zip::TZipMessageDialog::kEditName));
    auto* asterisk = new TAsteriskStyle;
    asterisk->setParent(edit);
    edit->setStyle(asterisk);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(zip::TZipMessageDialog::kEditMaxLength);
    edit->setGeometry(ToRect(geometry.edit));
  }

  const auto& buttons = dialog.Buttons();
  cancel_result_ =
      dialog.CancelButton() >= 0 ? buttons[static_cast<size_t>(dialog.CancelButton())].modal_result : zip::zmrCancel;
  for (size_t i = 0; i < buttons.size(); ++i) {
    auto* button = new QPushButton(ToQString(buttons[i].caption), this);
    button->setObjectName(ToQString(buttons[i].name));
    button->setGeometry(ToRect(geometry.buttons[i]));
    const int result = buttons[i].modal_result;
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    if (static_cast<int>(i) == dialog.DefaultButton()) {
      button->setDefault(true);
      if (!edit) button->setFocus();
    }
  }
  if (edit) edit->setFocus();
  setFixedSize(geometry.client_width, geometry.client_height);
  if (screen) move(screen->geometry().center() - QPoint(geometry.client_width / 2, geometry.client_height / 2));
}

void TZipDialogWindow::reject() { done(cancel_result_); }

void TZipDialogWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) Beep(beep_);
}

intptr_t TQtZipInteraction::WindowHandle() { return main_window_ ? static_cast<intptr_t>(main_window_->winId()) : 0; }

std::string TQtZipInteraction::ApplicationTitle() { return kApplicationTitle; }

int TQtZipInteraction::ShowModal(zip::TZipMessageDialog& dialog) {
  QWidget* parent = main_window_ ? main_window_ : QApplication::activeWindow();
  TZipDialogWindow window(dialog, parent);
  // The busy cursor is the component's; over its own dialog the user points.
  const bool busy = QGuiApplication::overrideCursor() != nullptr;
  if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  const int result = window.exec();
  if (busy) QGuiApplication::restoreOverrideCursor();
  if (dialog.HasPasswordEdit() && result == zip::zmrOk)
    if (auto* edit = window.findChild<QLineEdit*>(QString::fromLatin1(zip::TZipMessageDialog::kEditName)))
      dialog.edit_text = ToUtf8(edit->text());
  return result;
}

void TQtZipInteraction::BeginBusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }

void TQtZipInteraction::EndBusyCursor() { QGuiApplication::restoreOverrideCursor(); }

void TQtZipInteraction::ProcessMessages() { QCoreApplication::processEvents(); }

TZipInteractionScope::TZipInteractionScope(QWidget* main_window) {
  interaction_.SetMainWindow(main_window);
  zip::SetZipInteraction(&interaction_);
}

TZipInteractionScope::~TZipInteractionScope() { zip::SetZipInteraction(nullptr); }

}  // namespace app
