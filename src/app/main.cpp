// The desktop program: one main window.

#include <QApplication>

#include "app/application.h"
#include "app/main_form.h"
#include "app/zip_dialog.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vorlanex"));
  QGuiApplication::setDesktopFileName(QStringLiteral("vorlanex"));
  // The application title is the window's caption and the caption of the
  // program's message boxes (app::kApplicationTitle).

  app::TMainForm form;
  app::TZipInteractionScope zip_dialogs(&form);
  form.show();
  return QApplication::exec();
}
