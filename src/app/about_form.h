#pragma once
// The about window: the program's picture, its title with the version, the
// maker's notice, the support mail link and the web site link.

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace app {

class TBevelPanel;
class TClickablePicture;
class TLinkLabel;

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  // The program's own version record by default; tests give another.
  using TVersionRecordSource = std::function<std::string()>;
  explicit TAboutForm(QWidget* parent = nullptr, TVersionRecordSource version_record = {});

  TBevelPanel* Panel;
  TClickablePicture* ProgramIcon;
  QLabel* ProductName;
  QLabel* NoticeLabel;
  TLinkLabel* Mail;
  TLinkLabel* Site;
  QPushButton* OKButton;

  // "v%d.%d.%d.%d" of the program's version record, or the empty text.
  QString GetFileVersionText() const;
  // mailto:ADDRESS?subject=SUBJECT&body=BODY with the texts as they are.
  QString MailLink() const;
  static QString SiteAddress();

  void MailClick();
  void SiteClick();

  // Hands a link to the system (the mail program, the browser); replaceable for
  // tests. Failures are silent.
  std::function<void(const QString& link)> OpenLink;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  TVersionRecordSource version_record_;
  bool centred_ = false;
};

}  // namespace app
