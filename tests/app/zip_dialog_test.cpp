#include "app/zip_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "app_test_util.h"
#include "zipformat/zip_message_table.h"

using apptest::TModalWatcher;

namespace {

zip::TZipMessageDialog Dialog(const std::string& text, int kind, std::initializer_list<zip::TZipMsgDlgBtn> buttons) {
  return zip::TZipMessageDialog("", text, kind, zip::ZipButtons(buttons), zip::kZipErrorHelpContext, "Велторин", false,
                                [](int id) { return zip::LoadZipStr(id); });
}

QStringList Buttons(const QWidget& window) {
  QStringList names;
  for (const QPushButton* b : window.findChildren<QPushButton*>()) names << b->objectName() + " " + b->text();
  return names;
}

TEST(ZipDialogTest, ErrorDialogHasTheTitleTheIconAndOneOkButton) {
  const auto dialog = Dialog("This archive is not a valid Zip archive", zip::zmtInformation, {zip::zmbOK});
  app::TZipDialogWindow window(dialog, nullptr);
  EXPECT_EQ(window.windowTitle(), "Велторин");
  EXPECT_TRUE(window.isModal());
  ASSERT_NE(window.findChild<QLabel*>("Image"), nullptr);
  EXPECT_EQ(window.findChild<QLabel*>("Image")->size(), QSize(32, 32));
  auto* text = window.findChild<QLabel*>("dlgText");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(), "This archive is not a valid Zip archive");
  EXPECT_TRUE(text->wordWrap());
  EXPECT_EQ(Buttons(window), QStringList({"ZipDlg_A1 &OK"}));
  EXPECT_TRUE(window.findChild<QPushButton*>("ZipDlg_A1")->isDefault());
  EXPECT_EQ(window.CancelResult(), zip::zmrOk);  // OK is the cancel button too
  // Centred on the screen.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_LE(std::abs(window.geometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(window.geometry().center().y() - screen.center().y()), 1);

  const auto none = Dialog("plain", zip::zmtNone, {zip::zmbOK});
  app::TZipDialogWindow plain(none, nullptr);
  EXPECT_EQ(plain.findChild<QLabel*>("Image"), nullptr);
}

TEST(ZipDialogTest, ButtonsInTheirOrderWithDefaultAndCancel) {
  const auto dialog = Dialog("Overwrite?", zip::zmtConfirmation, {zip::zmbCancel, zip::zmbNo, zip::zmbYes});
  app::TZipDialogWindow window(dialog, nullptr);
  EXPECT_EQ(Buttons(window), QStringList({"ZipDlg_A1 &Yes", "ZipDlg_A2 &No", "ZipDlg_A3 &Cancel"}));
  EXPECT_TRUE(window.findChild<QPushButton*>("ZipDlg_A1")->isDefault());
  // Buttons share one width and stand in one row.
  const auto* yes = window.findChild<QPushButton*>("ZipDlg_A1");
  const auto* cancel = window.findChild<QPushButton*>("ZipDlg_A3");
  EXPECT_EQ(yes->width(), cancel->width());
  EXPECT_EQ(yes->y(), cancel->y());
  EXPECT_LT(yes->x(), cancel->x());

  // Shown modally: Esc answers Cancel, a button its own result.
  app::TQtZipInteraction interaction;
  auto shown = Dialog("Overwrite?", zip::zmtConfirmation, {zip::zmbCancel, zip::zmbNo, zip::zmbYes});
  {
    TModalWatcher watcher([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(interaction.ShowModal(shown), zip::zmrCancel);
  }
  {
    TModalWatcher watcher([](QWidget* modal) { modal->findChild<QPushButton*>("ZipDlg_A2")->click(); });
    EXPECT_EQ(interaction.ShowModal(shown), zip::zmrNo);
  }
}

TEST(ZipDialogTest, LongTextWrapsAtHalfTheScreenWidth) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "Warning - Error in zip structure! ";
  const auto dialog = Dialog(text, zip::zmtWarning, {zip::zmbOK});
  app::TZipDialogWindow window(dialog, nullptr);
  const auto* label = window.findChild<QLabel*>("dlgText");
  const int half = QGuiApplication::primaryScreen()->geometry().width() / 2;
  EXPECT_LE(label->width(), half);
  EXPECT_GT(label->width(), half / 2);
  EXPECT_GT(label->height(), 3 * label->fontMetrics().height());
  EXPECT_GE(window.width(), label->geometry().right());
}

TEST(ZipDialogTest, PasswordDialogAnswersWithTheTypedText) {
  app::TQtZipInteraction interaction;
  auto dialog = Dialog("Enter Password ", zip::zmtPassword, {zip::zmbOK, zip::zmbCancel});
  TModalWatcher watcher([](QWidget* modal) {
    auto* edit = modal->findChild<QLineEdit*>("dlgEdit");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit->maxLength(), 80);
    QTest::keyClicks(edit, "secret");
    modal->findChild<QPushButton*>("ZipDlg_A1")->click();
  });
  EXPECT_EQ(interaction.ShowModal(dialog), zip::zmrOk);
  EXPECT_EQ(dialog.edit_text, "secret");
}

TEST(ZipDialogTest, BusyCursorWhileTheComponentWorksButNotOverItsDialog) {
  app::TQtZipInteraction interaction;
  interaction.BeginBusyCursor();
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Qt::CursorShape over_dialog = Qt::WaitCursor;
  auto dialog = Dialog("x", zip::zmtInformation, {zip::zmbOK});
  {
    TModalWatcher watcher([&](QWidget* modal) {
      over_dialog = QGuiApplication::overrideCursor()->shape();
      modal->close();
    });
    interaction.ShowModal(dialog);
  }
  EXPECT_EQ(over_dialog, Qt::ArrowCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  interaction.EndBusyCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(ZipDialogTest, InstalledForTheComponentWhileTheScopeLives) {
  {
    app::TZipInteractionScope scope;
    EXPECT_EQ(&zip::ZipInteraction(), &scope.Interaction());
    EXPECT_EQ(zip::ZipInteraction().ApplicationTitle(), "Велторин");
  }
  EXPECT_EQ(zip::ZipInteraction().ApplicationTitle(), "");
}

}  // namespace
