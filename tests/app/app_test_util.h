#pragma once
// Helpers for the window tests: answering modal windows that the code under
// test opens, and a fresh current folder for the settings file.

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>
#include <string>

#include "support/temp_folder.h"

// Readable geometry in test failures.
inline void PrintTo(const QSize& s, std::ostream* out) { *out << s.width() << "x" << s.height(); }
inline void PrintTo(const QPoint& p, std::ostream* out) { *out << "(" << p.x() << ", " << p.y() << ")"; }
inline void PrintTo(const QRect& r, std::ostream* out) {
  *out << "(" << r.x() << ", " << r.y() << ") " << r.width() << "x" << r.height();
}

namespace apptest {

// Hands each modal window that opens to handle, which must close it. Polls, so
// it also answers windows opened inside nested event loops.
class TModalWatcher {
 public:
  explicit TModalWatcher(std::function<void(QWidget*)> handle) : handle_(std::move(handle)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || !modal->isVisible() || busy_) return;
      busy_ = true;
      ++count_;
      handle_(modal);
      busy_ = false;
    });
    timer_.start(5);
  }
  int Count() const { return count_; }

 private:
  std::function<void(QWidget*)> handle_;
  QTimer timer_;
  int count_ = 0;
  bool busy_ = false;
};

// A scratch folder that is the current folder while the test runs.
class TWorkFolder {
 public:
  explicit TWorkFolder(const std::string& name) : folder_(name), previous_(QDir::currentPath()) {
    QDir::setCurrent(QString::fromStdString(folder_.Path()));
  }
  ~TWorkFolder() { QDir::setCurrent(previous_); }
  std::string operator/(const std::string& name) const { return folder_ / name; }
  const std::string& Path() const { return folder_.Path(); }

 private:
  support::TTempFolder folder_;
  QString previous_;
};

}  // namespace apptest
