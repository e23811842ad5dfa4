#include "app/about_form.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QUrl>
#include <algorithm>

#include "app/application.h"
#include "app/jpeg_image.h"
#include "app/widgets.h"
#include "platform/version_resource.h"

#ifndef VORLANEX_SUPPORT_MAIL
#define VORLANEX_SUPPORT_MAIL "support@vorlanex.example"
#endif
#ifndef VORLANEX_SITE_URL
#define VORLANEX_SITE_URL "https://vorlanex.example"
#endif

namespace app {

// The picture's JPEG bytes, compiled in from pictures/about.jpg.
extern const unsigned char kAboutPicture[];
extern const size_t kAboutPicture_size;

namespace {

constexpr QSize kClientSize(387, 322);

// The site's name as the label shows it: the address without its scheme and
// trailing slash.
QString SiteName(QString address) {
  const int scheme = address.indexOf(QStringLiteral("://"));
  if (scheme >= 0) address.remove(0, scheme + 3);
  while (address.endsWith(QLatin1Char('/'))) address.chop(1);
  return address;
}

// A centred label keeps its designed centre; text wider than the design (another
// font than the one it was designed with) widens it on both sides.
void PlaceCentred(QLabel* label, QRect design) {
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  const QSize hint = label->sizeHint();
  QRect r = design;
  if (hint.width() > r.width()) {
    r.setWidth(hint.width());
    r.moveCenter(QPoint(design.center().x(), r.center().y()));
  }
  r.setHeight(std::max(design.height(), hint.height()));
  label->setGeometry(r);
}

}  // namespace

TAboutForm::TAboutForm(QWidget* parent, TVersionRecordSource version_record)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      version_record_(version_record ? std::move(version_record) : TVersionRecordSource(platform::OwnVersionRecord)) {
  setObjectName(QStringLiteral("AboutForm"));
  setWindowTitle(QStringLiteral("Сведения о программе"));
  setFont(WindowFont());
  setFixedSize(kClientSize);

  Panel = new TBevelPanel(this);
  Panel->setObjectName(QStringLiteral("Panel"));
  Panel->setGeometry(8, 8, 371, 273);

  ProgramIcon = new TClickablePicture(Panel);
  ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
  ProgramIcon->setGeometry(36, 8, 300, 83);
  const QImage image = DecodeJpeg(QByteArray::fromRawData(reinterpret_cast<const char*>(kAboutPicture),
                                                          static_cast<qsizetype>(kAboutPicture_size)));
  if (!image.isNull())
    ProgramIcon->setPixmap(
        QPixmap::fromImage(image.scaled(ProgramIcon->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));

  ProductName = new QLabel(Panel);
  ProductName->setObjectName(QStringLiteral("ProductName"));
  QFont bold = font();
  bold.setBold(true);
  ProductName->setFont(bold);

  NoticeLabel = new QLabel(QStringLiteral("© Разработчики Vorlanex"), Panel);
  NoticeLabel->setObjectName(QStringLiteral("NoticeLabel"));
  PlaceCentred(NoticeLabel, QRect(94, 123, 183, 13));

  Mail = new TLinkLabel(QStringLiteral(VORLANEX_SUPPORT_MAIL), Panel);
  Mail->setObjectName(QStringLiteral("Mail"));
  Mail->setToolTip(QStringLiteral("Эл. почта службы техподдержки"));
  PlaceCentred(Mail, QRect(135, 142, 100, 13));

  Site = new TLinkLabel(SiteName(SiteAddress()), Panel);
  Site->setObjectName(QStringLiteral("Site"));
  Site->setToolTip(QStringLiteral("Сайт разработчика"));
  PlaceCentred(Site, QRect(159, 161, 53, 13));

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(156, 289, 75, 25);
  OKButton->setDefault(true);
  OKButton->setFocus();

  OpenLink = [](const QString& link) { QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode)); };
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(Mail, &TLinkLabel::clicked, this, [this] { Guarded(this, [this] { MailClick(); }); });
  connect(Site, &TLinkLabel::clicked, this, [this] { Guarded(this, [this] { SiteClick(); }); });
  connect(ProgramIcon, &TClickablePicture::clicked, this, [this] { Guarded(this, [this] { SiteClick(); }); });
  FormCreate();
}

void TAboutForm::FormCreate() {
  ProductName->setText(QStringLiteral("Велторин (версия %1)").arg(GetFileVersionText()));
  PlaceCentred(ProductName, QRect(46, 104, 288, 13));
}

QString TAboutForm::GetFileVersionText() const {
  try {
    return ToQString(platform::FileVersionText(version_record_()));
  } catch (...) {
    // A version that cannot be read only leaves the text empty.
    return {};
  }
}

QString TAboutForm::MailLink() const {
  const QString subject = QStringLiteral("Велторин (версия: %1)").arg(GetFileVersionText());
  return QStringLiteral("mailto:%1?subject=%2&body=%3")
      .arg(QStringLiteral(VORLANEX_SUPPORT_MAIL), subject, QStringLiteral("Здравствуйте."));
}

QString TAboutForm::SiteAddress() { return QStringLiteral(VORLANEX_SITE_URL); }

void TAboutForm::MailClick() {
  if (OpenLink) OpenLink(MailLink());
}

void TAboutForm::SiteClick() {
  if (OpenLink) OpenLink(SiteAddress());
}

void TAboutForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (centred_ || event->spontaneous()) return;
  centred_ = true;
  if (QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace app
