// Pictures of the program's windows for the README and for looking at them:
//   vorlanex_screenshots OUT_DIR SAMPLES_DIR
// Needs a display (scripts/screenshots runs it under Xvfb). Works in a fresh
// folder with a settings file naming the samples and a fresh output folder, and
// writes main_window.png, rule_menu.png, about_window.png, damaged_archive.png and
// summary.png.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/about_form.h"
#include "app/application.h"
#include "app/main_form.h"
#include "app/widgets.h"
#include "app/zip_dialog.h"
#include "sorting/output_rules.h"
#include "sorting/settings_file.h"

namespace {

QString g_out;
int g_failures = 0;

// Lets the windows draw themselves.
void Settle(int ms = 400) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The screen's pixels under the given windows.
void Save(const QString& name, std::initializer_list<const QWidget*> windows) {
  QRect area;
  for (const QWidget* w : windows)
    if (w && w->isVisible()) area |= w->frameGeometry();
  QScreen* screen = QGuiApplication::primaryScreen();
  area &= screen->geometry();
  const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  const QString path = g_out + QLatin1Char('/') + name;
  if (shot.isNull() || !shot.save(path, "PNG")) {
    std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
    ++g_failures;
    return;
  }
  std::printf("%s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: vorlanex_screenshots OUT_DIR SAMPLES_DIR\n");
    return 2;
  }
  g_out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  const QString samples = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
  QDir().mkpath(g_out);

  // A fresh working folder whose settings file names the samples and a fresh
  // output folder, as a newcomer's first start would have them after choosing.
  QTemporaryDir work;
  if (!work.isValid() || !QDir::setCurrent(work.path())) {
    std::fprintf(stderr, "screenshots: no working folder\n");
    return 1;
  }
  sorting::SaveSettingsFile(
      sorting::kSettingsFileName, {24, 24, 596, 372},
      {app::ToUtf8(QDir::toNativeSeparators(samples)),
       app::ToUtf8(QDir::toNativeSeparators(work.filePath(QStringLiteral("Результат")))), true, true},
      {sorting::kDefaultKptRule, sorting::kDefaultKvzuRule});

  app::TMainForm form;
  app::TZipInteractionScope zip_dialogs(&form);
  form.show();
  Settle();
  Save(QStringLiteral("main_window.png"), {&form});

  // The KPT rule's placeholder menu, opened where a right click would open it.
  form.RuleKptEdit->setFocus();
  form.RuleKptEdit->setCursorPosition(0);
  emit form.RuleKptEdit->customContextMenuRequested(QPoint(120, 12));
  Settle();
  Save(QStringLiteral("rule_menu.png"), {&form, form.RuleKptPopupMenu});
  form.RuleKptPopupMenu->hide();

  {
    app::TAboutForm about;
    about.show();
    Settle();
    Save(QStringLiteral("about_window.png"), {&about});
  }

  // The sort of the samples: the damaged archive's dialog, then the summary. Each
  // modal window is pictured once it has drawn itself, then answered.
  bool damaged_seen = false, summary_seen = false;
  QTimer watcher;
  QElapsedTimer shown;
  const QWidget* last = nullptr;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (modal != last) {
      last = modal;
      shown.start();
      return;
    }
    if (shown.elapsed() < 400) return;
    if (auto* dialog = qobject_cast<app::TZipDialogWindow*>(modal)) {
      if (!damaged_seen) Save(QStringLiteral("damaged_archive.png"), {dialog});
      damaged_seen = true;
      dialog->reject();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (box->objectName() == QStringLiteral("SummaryBox")) {
        Save(QStringLiteral("summary.png"), {&form, box});
        summary_seen = true;
      }
      box->accept();
    }
    last = nullptr;
  });
  watcher.start(50);
  form.SortButton->click();
  watcher.stop();
  if (!damaged_seen || !summary_seen) {
    std::fprintf(stderr, "screenshots: the sort showed no %s\n",
                 damaged_seen ? "summary" : "dialog for the damaged archive");
    ++g_failures;
  }
  form.close();
  return g_failures == 0 ? 0 : 1;
}
