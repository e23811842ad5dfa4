#include "app/main_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <sstream>

#include "app/about_form.h"
#include "app/application.h"
#include "app/widgets.h"
#include "app/zip_dialog.h"
#include "app_test_util.h"
#include "cli/cli.h"
#include "platform/file_system.h"
#include "platform/text_conversion.h"
#include "sorting/settings_file.h"

using app::TMainForm;
using apptest::TModalWatcher;
using apptest::TWorkFolder;

namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteSettings(const std::string& utf8_text) {
  std::ofstream out(sorting::kSettingsFileName, std::ios::binary);
  out << platform::Utf8ToCodePage(1251, utf8_text);
}

QStringList MenuTexts(const QMenu* menu) {
  QStringList texts;
  for (const QAction* action : menu->actions()) texts << action->text();
  return texts;
}

// Every window test starts in a fresh current folder, so the settings file is
// the test's own.
class MainFormTest : public ::testing::Test {
 protected:
  TWorkFolder work_{"vorlanex_main_form"};
};

TEST_F(MainFormTest, ControlsTextsAndMenus) {
  TMainForm form;
  EXPECT_EQ(form.windowTitle(), "Велторин");
  EXPECT_EQ(form.size(), QSize(580, 333));
  EXPECT_EQ(form.pos(), QPoint(0, 0));
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.windowIcon().isNull());

  EXPECT_EQ(form.InputFolderLabel->text(), "Папка с файлами Остревана:");
  EXPECT_EQ(form.OutputFolderLabel->text(), "Папка с результатом сортировки:");
  EXPECT_EQ(form.InputFolderEdit->text(), "");
  EXPECT_EQ(form.OutputFolderEdit->text(), "");
  EXPECT_EQ(form.InputFolderEdit->geometry(), QRect(8, 27, 541, 21));
  EXPECT_EQ(form.OutputFolderBrowseSpeedButton->geometry(), QRect(549, 73, 23, 21));
  EXPECT_TRUE(form.InputFolderBrowseSpeedButton->text().isEmpty());
  EXPECT_FALSE(form.InputFolderBrowseSpeedButton->icon().isNull());

  EXPECT_EQ(form.AboutLabel->text(), "Сведения о программе...");
  EXPECT_EQ(form.AboutLabel->toolTip(), "Вывести сведения о программе");
  EXPECT_EQ(form.AboutLabel->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(form.AboutLabel->font().underline());
  EXPECT_EQ(form.AboutLabel->geometry().right(), 577);  // its designed right edge, 451 + 127 - 1

  EXPECT_EQ(form.SettingsGroupBox->title(), "Настройки");
  EXPECT_EQ(form.SettingsGroupBox->geometry(), QRect(8, 100, 564, 167));
  EXPECT_EQ(form.InputFolderDeepSearchCheckBox->text(), "Искать файлы остревана во вложенных папках");
  EXPECT_EQ(form.UnpackCheckBox->text(), "Извлечь архив в папку с результатом сортировки");
  EXPECT_TRUE(form.InputFolderDeepSearchCheckBox->isChecked());
  EXPECT_TRUE(form.UnpackCheckBox->isChecked());
  EXPECT_EQ(form.RuleKptLabel->text(), "Правила сортировки КПТ:");
  EXPECT_EQ(form.RuleKvzuLabel->text(), "Правила сортировки КВЗУ:");
  EXPECT_EQ(form.RuleKptEdit->text(),
            "{Система координат}\\{Номер региона}\\{Номер района}\\{Номер квартала}\\{Дата удостоверения}");
  EXPECT_EQ(form.RuleKvzuEdit->text(),
            "{Система координат}\\{Номер региона}\\{Номер района}\\{Номер квартала}\\{Номер участка}\\{Дата "
            "постановки}");
  EXPECT_EQ(form.RuleKptEdit->geometry(), QRect(8, 83, 544, 21));

  EXPECT_EQ(form.ProgressBar->minimum(), 0);
  EXPECT_EQ(form.ProgressBar->value(), 0);
  EXPECT_EQ(form.SortButton->text(), "Начать сортировку");
  EXPECT_EQ(form.CloseButton->text(), "Закрыть");
  EXPECT_EQ(form.CloseButton->geometry().right(), 571);

  EXPECT_EQ(MenuTexts(form.RuleKptPopupMenu),
            QStringList({"Добавить номер региона", "Добавить номер района", "Добавить номер квартала",
                         "Добавить систему координат", "Добавить дату удостоверения"}));
  EXPECT_EQ(MenuTexts(form.RuleKvzuPopupMenu),
            QStringList({"Добавить номер региона", "Добавить номер района", "Добавить номер квартала",
                         "Добавить номер участка", "Добавить систему координат", "Добавить дату постановки участка",
                         "Добавить дату удостоверения"}));
  // The menus replace the edits' own context menus.
  EXPECT_EQ(form.RuleKptEdit->contextMenuPolicy(), Qt::CustomContextMenu);
  EXPECT_EQ(form.RuleKvzuEdit->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(MainFormTest, TabOrderRunsThroughFoldersSwitchesRulesAndButtons) {
  TMainForm form;
  form.show();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  form.InputFolderEdit->setFocus();
  std::vector<QWidget*> order;
  for (int i = 0; i < 8; ++i) {
    order.push_back(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  const std::vector<QWidget*> expected = {
      form.InputFolderEdit, form.OutputFolderEdit, form.InputFolderDeepSearchCheckBox,
      form.UnpackCheckBox,  form.RuleKptEdit,      form.RuleKvzuEdit,
      form.SortButton,      form.CloseButton};
  EXPECT_EQ(order, expected);
  // Tabbing into a rule edit selects nothing (a folder edit selects its text).
  EXPECT_FALSE(form.RuleKptEdit->hasSelectedText());
}

TEST_F(MainFormTest, HeightStaysWithinItsLimitsAndWideningStretchesTheControls) {
  TMainForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  // The limits hold for the outer size, frame included (the window system's, or
  // the designed one where it draws none).
  const QMargins frame = form.FrameExtents();
  const int h = frame.left() + frame.right(), v = frame.top() + frame.bottom();
  EXPECT_EQ(form.OuterGeometry().size(), QSize(580 + h, std::clamp(333 + v, 367, 372)));

  form.resize(780, 1000);
  EXPECT_EQ(form.OuterGeometry().height(), 372);
  form.resize(780, 100);
  EXPECT_EQ(form.OuterGeometry().height(), 367);
  form.resize(100, 333);
  EXPECT_EQ(form.OuterGeometry().width(), 308);

  form.resize(780, 372 - v);  // 200 wider than designed, the tallest allowed
  const int dh = form.height() - 333;
  EXPECT_EQ(form.InputFolderEdit->geometry(), QRect(8, 27, 741, 21));
  EXPECT_EQ(form.InputFolderBrowseSpeedButton->geometry(), QRect(749, 27, 23, 21));
  EXPECT_EQ(form.OutputFolderEdit->width(), 741);
  EXPECT_EQ(form.SettingsGroupBox->geometry(), QRect(8, 100, 764, 167 + dh));
  EXPECT_EQ(form.RuleKptEdit->geometry(), QRect(8, 83, 744, 21));
  EXPECT_EQ(form.InputFolderDeepSearchCheckBox->width(), 753);
  EXPECT_EQ(form.ProgressBar->geometry(), QRect(8, 273 + dh, 764, 17));
  EXPECT_EQ(form.CloseButton->geometry().right(), 771);
  EXPECT_EQ(form.CloseButton->y(), 300 + dh);
  EXPECT_EQ(form.SortButton->y(), 300 + dh);
  EXPECT_EQ(form.AboutLabel->geometry().right(), 777);
  EXPECT_EQ(form.InputFolderLabel->pos(), QPoint(8, 8));
  EXPECT_EQ(form.RuleKvzuLabel->pos(), QPoint(8, 110));
}

TEST_F(MainFormTest, TypedFullStopStaysInAFolderAndBecomesAnUnderscoreInARule) {
  TMainForm form;
  form.show();
  form.InputFolderEdit->setFocus();
  QTest::keyClicks(form.InputFolderEdit, "v1.2");
  EXPECT_EQ(form.InputFolderEdit->text(), "v1.2");
  QTest::keyClicks(form.OutputFolderEdit, "a|b");
  EXPECT_EQ(form.OutputFolderEdit->text(), "a_b");

  form.RuleKptEdit->setText("ab");
  form.RuleKptEdit->setCursorPosition(1);
  QTest::keyClick(form.RuleKptEdit, '.');
  EXPECT_EQ(form.RuleKptEdit->text(), "a_b");
  EXPECT_EQ(form.RuleKptEdit->cursorPosition(), 2);
  QTest::keyClick(form.RuleKptEdit, '/');
  EXPECT_EQ(form.RuleKptEdit->text(), "a__b");
  EXPECT_EQ(form.RuleKptEdit->cursorPosition(), 3);
  // Text set by the program is corrected too, the caret kept where it stood.
  form.RuleKvzuEdit->setText("x*y?z");
  EXPECT_EQ(form.RuleKvzuEdit->text(), "x_y_z");
}

TEST_F(MainFormTest, MenuItemsInsertPlaceholdersAtTheCaretInFrontOfASelection) {
  TMainForm form;
  form.show();
  form.RuleKvzuEdit->setText("abc");
  form.RuleKvzuEdit->setCursorPosition(0);
  form.AddKvzuCadParcelPopupItem->trigger();
  EXPECT_EQ(form.RuleKvzuEdit->text(), "{Номер участка}abc");
  EXPECT_EQ(form.RuleKvzuEdit->cursorPosition(), 15);

  form.RuleKptEdit->setText("abcdef");
  form.RuleKptEdit->setSelection(2, 2);  // "cd"
  form.RuleKptEdit->clearFocus();        // the selection survives losing the focus
  EXPECT_EQ(form.RuleKptEdit->selectedText(), "cd");
  form.AddKptCadRegionPopupItem->trigger();
  EXPECT_EQ(form.RuleKptEdit->text(), "ab{Номер региона}cdef");
  EXPECT_EQ(form.RuleKptEdit->cursorPosition(), 17);

  form.RuleKvzuEdit->setCursorPosition(form.RuleKvzuEdit->text().size());
  form.AddKvzuDateCreatedPopupItem->trigger();
  EXPECT_EQ(form.RuleKvzuEdit->text(), "{Номер участка}abc{Дата постановки}");

  // Every item inserts its own placeholder.
  const std::pair<QAction*, const char*> items[] = {
      {form.AddKptCadDistrictPopupItem, "{Номер района}"},
      {form.AddKptCadBlockPopupItem, "{Номер квартала}"},
      {form.AddKptCoordSystemPopupItem, "{Система координат}"},
      {form.AddKptCertificationDocDatePopupItem, "{Дата удостоверения}"},
      {form.AddKvzuCadRegionPopupItem, "{Номер региона}"},
      {form.AddKvzuCadDistrictPopupItem, "{Номер района}"},
      {form.AddKvzuCadBlockPopupItem, "{Номер квартала}"},
      {form.AddKvzuCoordSystemPopupItem, "{Система координат}"},
      {form.AddKvzuCertificationDocDatePopupItem, "{Дата удостоверения}"},
  };
  for (auto [action, placeholder] : items) {
    QLineEdit* edit = form.RuleKptPopupMenu->actions().contains(action) ? form.RuleKptEdit : form.RuleKvzuEdit;
    edit->clear();
    action->trigger();
    EXPECT_EQ(edit->text(), placeholder) << action->objectName().toStdString();
  }
}

TEST_F(MainFormTest, FolderBrowserStartsAtTheTextAndCancelKeepsIt) {
  TMainForm form;
  QString asked_title, asked_start, answer;
  form.FolderChooser = [&](const QString& title, const QString& start) {
    asked_title = title;
    asked_start = start;
    return answer;
  };
  form.InputFolderEdit->setText("/data/in");
  form.InputFolderBrowseSpeedButton->click();  // cancelled
  EXPECT_EQ(asked_title, "Папка с файлами Остревана:");
  EXPECT_EQ(asked_start, "/data/in");
  EXPECT_EQ(form.InputFolderEdit->text(), "/data/in");

  answer = "/data/v1.2 \"new\"";
  form.OutputFolderBrowseSpeedButton->click();
  EXPECT_EQ(asked_title, "Папка с результатом сортировки:");
  EXPECT_EQ(asked_start, "");  // an empty edit: nothing preselected
  EXPECT_EQ(form.OutputFolderEdit->text(), "/data/v1.2 _new_");
}

TEST_F(MainFormTest, FirstCloseWritesExactlyTheSixLines) {
  QSize outer;
  {
    TMainForm form;
    form.show();
    outer = form.OuterGeometry().size();
    form.close();
  }
  const std::string expected = platform::Utf8ToCodePage(
      1251,
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
      "<root>\r\n"
      "\t<FormSettings Left=\"0\" Top=\"0\" Width=\"" +
          std::to_string(outer.width()) + "\" Height=\"" + std::to_string(outer.height()) +
          "\"/>\r\n"
          "\t<FolderSettings InputFolder=\"\" OutputFolder=\"\" InputFolderDeepSearch=\"1\" Unpack=\"1\"/>\r\n"
          "\t<RulesSettings RuleKpt=\"{Система координат}\\{Номер региона}\\{Номер района}\\{Номер квартала}\\{Дата "
          "удостоверения}\" RuleKvzu=\"{Система координат}\\{Номер региона}\\{Номер района}\\{Номер квартала}\\{Номер "
          "участка}\\{Дата постановки}\"/>\r\n"
          "</root>");
  EXPECT_EQ(ReadBytes(sorting::kSettingsFileName), expected);
}

TEST_F(MainFormTest, EscClosesTheWindowAndWritesTheFile) {
  TMainForm form;
  form.show();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  form.UnpackCheckBox->setChecked(false);
  form.InputFolderDeepSearchCheckBox->setChecked(false);
  QTest::keyClick(form.RuleKptEdit, Qt::Key_Escape);
  EXPECT_FALSE(form.isVisible());
  const std::string text = ReadBytes(sorting::kSettingsFileName);
  EXPECT_NE(text.find("InputFolderDeepSearch=\"0\" Unpack=\"0\"/>"), std::string::npos) << text;
}

TEST_F(MainFormTest, SettingsAreReadWhenShownAndSurviveAClose) {
  WriteSettings(
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<settings>\r\n"
      "\t<FormSettings Top=\"40\" Width=\"700\" Height=\"400\"/>\r\n"
      "\t<FolderSettings InputFolder=\"/in/v1.2\" OutputFolder=\"/out\" InputFolderDeepSearch=\"0\" "
      "Unpack=\"0\"/>\r\n"
      "\t<RulesSettings RuleKpt=\"R&amp;D's {Номер региона}\" RuleKvzu=\"a&quot;b\"/>\r\n</settings>");
  {
    TMainForm form;
    form.show();
    // The root's name is not checked; a missing Left is 300; a height of 400 is
    // held to the largest allowed.
    EXPECT_EQ(form.OuterGeometry(), QRect(300, 40, 700, 372));
    EXPECT_EQ(form.InputFolderEdit->text(), "/in/v1.2");
    EXPECT_EQ(form.InputFolderEdit->cursorPosition(), 0);
    EXPECT_EQ(form.OutputFolderEdit->text(), "/out");
    EXPECT_FALSE(form.InputFolderDeepSearchCheckBox->isChecked());
    EXPECT_FALSE(form.UnpackCheckBox->isChecked());
    EXPECT_EQ(form.RuleKptEdit->text(), "R&D's {Номер региона}");
    EXPECT_EQ(form.RuleKvzuEdit->text(), "a_b");  // a hand-written quote is corrected
    form.close();
  }
  const std::string text = ReadBytes(sorting::kSettingsFileName);
  EXPECT_NE(text.find("RuleKpt=\"R&amp;D's {" + platform::Utf8ToCodePage(1251, "Номер региона") + "}\""),
            std::string::npos);
  TMainForm again;
  again.show();
  EXPECT_EQ(again.RuleKptEdit->text(), "R&D's {Номер региона}");
  EXPECT_EQ(again.OuterGeometry(), QRect(300, 40, 700, 372));
}

TEST_F(MainFormTest, MissingSectionsAndAttributesGiveDesignValuesAndDefaults) {
  WriteSettings("<root><FolderSettings InputFolder=\"in\"/><RulesSettings/></root>");
  TMainForm form;
  form.show();
  EXPECT_EQ(form.pos(), QPoint(0, 0));  // no FormSettings: placement as designed
  EXPECT_TRUE(form.InputFolderDeepSearchCheckBox->isChecked());
  EXPECT_TRUE(form.UnpackCheckBox->isChecked());
  EXPECT_EQ(form.RuleKptEdit->text(), "");  // an empty RulesSettings empties both rules
  EXPECT_EQ(form.RuleKvzuEdit->text(), "");
}

TEST_F(MainFormTest, DamagedSettingsFileIsReportedAndTheWindowStillOpens) {
  WriteSettings("<root><FormSettings Left=\"5\"></root>");
  QString caption, message;
  TModalWatcher watcher([&](QWidget* modal) {
    caption = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) message = box->text();
    modal->close();
  });
  TMainForm form;
  form.show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.Count() > 0; }));
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(caption, "Велторин");
  EXPECT_TRUE(message.endsWith(" (файл: \"Vorlanex.cfg\")")) << message.toStdString();
  EXPECT_EQ(form.pos(), QPoint(0, 0));  // nothing of the file applied
}

TEST_F(MainFormTest, FailedWriteIsReportedAndTheWindowStillCloses) {
  platform::ForceDirectories(work_ / sorting::kSettingsFileName);  // a folder where the file should be
  int reports = 0;
  TModalWatcher watcher([&](QWidget* modal) {
    reports += modal->objectName() == "ErrorReport";
    modal->close();
  });
  TMainForm form;
  form.show();
  form.close();
  EXPECT_EQ(reports, 1);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(MainFormTest, AboutLinkOpensTheAboutWindowModally) {
  TMainForm form;
  form.show();
  QString title;
  bool modal = false;
  TModalWatcher watcher([&](QWidget* window) {
    title = window->windowTitle();
    modal = window->isModal();
    window->close();
  });
  QTest::mouseClick(form.AboutLabel, Qt::LeftButton);
  EXPECT_EQ(title, "Сведения о программе");
  EXPECT_TRUE(modal);
}

// The samples sorted from the window and from the command line.
class WindowSortTest : public MainFormTest {
 protected:
  void SetUp() override {
    form_.show();
    form_.InputFolderEdit->setText(VORLANEX_SAMPLES_DIR);
    form_.OutputFolderEdit->setText(QString::fromStdString(work_ / "out"));
    QObject::connect(form_.ProgressBar, &QProgressBar::valueChanged, [this](int v) { progress_.push_back(v); });
  }
  TMainForm form_;
  app::TZipInteractionScope zip_dialogs_{&form_};
  std::vector<int> progress_;
};

TEST_F(WindowSortTest, SummaryMatchesTheCommandLineAndTheDamagedArchiveShowsItsDialog) {
  QString summary, summary_caption, damaged_text;
  QStringList damaged_buttons;
  bool sort_enabled_during_run = true;
  QMessageBox::Icon summary_icon = QMessageBox::Critical;
  TModalWatcher watcher([&](QWidget* modal) {
    sort_enabled_during_run &= form_.SortButton->isEnabled();
    if (auto* dialog = qobject_cast<app::TZipDialogWindow*>(modal)) {
      damaged_text = dialog->findChild<QLabel*>("dlgText")->text();
      for (auto* b : dialog->findChildren<QPushButton*>()) damaged_buttons << b->objectName() + " " + b->text();
      dialog->reject();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      summary = box->text();
      summary_caption = box->windowTitle();
      summary_icon = box->icon();
      EXPECT_EQ(form_.ProgressBar->value(), 0);
      box->accept();
    }
  });
  form_.SortButton->click();
  EXPECT_TRUE(form_.SortButton->isEnabled());
  EXPECT_FALSE(sort_enabled_during_run);
  EXPECT_EQ(damaged_text, "This archive is not a valid Zip archive");
  EXPECT_EQ(damaged_buttons, QStringList({"ZipDlg_A1 &OK"}));
  EXPECT_EQ(summary_caption, "Сортировка завершена");
  EXPECT_EQ(summary_icon, QMessageBox::NoIcon);

  // The progress bar counted every archive and went back to 0.
  const int archives = form_.SortRun().N;
  EXPECT_EQ(archives, 19);
  EXPECT_EQ(form_.ProgressBar->maximum(), archives);
  std::vector<int> expected;
  for (int i = 1; i <= archives; ++i) expected.push_back(i);
  expected.push_back(0);
  EXPECT_EQ(progress_, expected);

  // Each line the window shows, the command line prints over the same samples.
  std::ostringstream out, err;
  cli::RunCli({"--input", VORLANEX_SAMPLES_DIR, "--output", work_ / "cli", "--quiet"}, out, err, false);
  const QStringList cli_lines = QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
  const QStringList window_lines = summary.split('\n');
  EXPECT_EQ(window_lines.first(), "Обработано файлов: 19");
  for (const QString& line : window_lines) EXPECT_TRUE(cli_lines.contains(line)) << line.toStdString();
  EXPECT_TRUE(window_lines.contains("Из них файлов КПТ: 10")) << summary.toStdString();
  EXPECT_TRUE(window_lines.contains("Из них файлов КВЗУ: 8")) << summary.toStdString();
}

TEST_F(WindowSortTest, CloseDuringARunStopsItThenSavesAndCloses) {
  int summaries = 0;
  TModalWatcher watcher([&](QWidget* modal) {
    summaries += modal->objectName() == "SummaryBox";
    modal->close();
  });
  // The close request arrives with the first pending messages of the run.
  QTimer::singleShot(0, &form_, [this] {
    EXPECT_TRUE(form_.Running());
    form_.close();
    EXPECT_TRUE(form_.isVisible());  // not before the archive under way is done
  });
  form_.SortButton->click();
  EXPECT_FALSE(form_.isVisible());
  EXPECT_TRUE(form_.SortRun().Stopped);
  EXPECT_LT(form_.SortRun().Done, form_.SortRun().N);
  EXPECT_EQ(summaries, 0);
  EXPECT_NE(ReadBytes(sorting::kSettingsFileName).find("samples"), std::string::npos);
}

TEST_F(WindowSortTest, EmptyFolderTextDoesNothing) {
  form_.InputFolderEdit->clear();
  TModalWatcher watcher([](QWidget* modal) {
    ADD_FAILURE() << "a window opened: " << modal->windowTitle().toStdString();
    modal->close();
  });
  form_.SortButton->click();
  EXPECT_TRUE(progress_.empty());
}

}  // namespace
