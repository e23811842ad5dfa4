#include "app/application.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace app {

QFont WindowFont() {
  QFont font;
  // Where Tahoma is missing, a face of about its width before the wider default.
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                    QStringLiteral("DejaVu Sans")});
  font.setPointSize(8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QString PlainLines(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

void PlainButtons(QMessageBox& box) {
  for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
}

void ShowErrorReport(QWidget* parent, const QString& message) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), PlainLines(message), QMessageBox::Ok,
                  parent);
  box.setObjectName(QStringLiteral("ErrorReport"));
  box.setTextFormat(Qt::PlainText);
  PlainButtons(box);
  box.exec();
}

}  // namespace app
