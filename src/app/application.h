#pragma once
// What the whole desktop program shares: its title, its font, the conversion
// between the program's UTF-8 texts and Qt's, and the application's default error
// report.

#include <QFont>
#include <QString>
#include <string>
#include <string_view>

class QMessageBox;
class QWidget;

namespace app {

inline constexpr const char* kApplicationTitle = "Велторин";

inline QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

// Tahoma, 8 points; where the system has no Tahoma the font matcher gives the
// nearest sans-serif face with Cyrillic letters.
QFont WindowFont();

// Line breaks as the program writes them (CR LF) in the form a Qt label shows.
QString PlainLines(QString text);

// A message box's buttons with their captions only, as the system's message
// boxes show them (some styles add pictures).
void PlainButtons(QMessageBox& box);

// The application's default error report: a modal message box with the error
// text, the error icon and the application title. Every handler's errors end here.
void ShowErrorReport(QWidget* parent, const QString& message);

// Runs a handler; an error it raises goes to the error report (Qt's event loop
// must never see an exception).
template <typename Handler>
void Guarded(QWidget* parent, Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowErrorReport(parent, QString::fromUtf8(e.what()));
  } catch (...) {
    ShowErrorReport(parent, QStringLiteral("Unknown error"));
  }
}

}  // namespace app
