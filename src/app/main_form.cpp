#include "app/main_form.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>

#include "app/about_form.h"
#include "app/application.h"
#include "app/pictures.h"
#include "app/widgets.h"
#include "sorting/output_rules.h"
#include "sorting/settings_file.h"

namespace app {

namespace {

constexpr QSize kDesignClientSize(580, 333);
constexpr QSize kDesignGroupSize(564, 167);
// The frame the window was designed with (a sizeable Windows frame): its outer
// size 596 x 372 around the client area.
constexpr QMargins kDesignFrame(8, 31, 8, 8);

// A label sized to its text at its designed place.
QLabel* NewLabel(const QString& text, QWidget* parent, TAnchors* anchors, QPoint at) {
  auto* label = new QLabel(text, parent);
  anchors->Add(label, QRect(at, label->sizeHint()), akLeft | akTop);
  return label;
}

// Text set by the program, as a system edit takes it: the caret at the start, so
// the edit shows the beginning of a long path or rule.
void SetEditText(QLineEdit* edit, const QString& text) {
  edit->setText(text);
  edit->setCursorPosition(0);
}

QToolButton* NewBrowseButton(QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setIcon(QPixmap::fromImage(FolderImage()));
  button->setIconSize(QSize(16, 16));
  return button;
}

}  // namespace

// The window as the sort run sees it.
class TMainForm::TWindowHost : public sorting::TSortHost {
 public:
  explicit TWindowHost(TMainForm& form) : form_(form) {}

  std::string InputFolder() override { return ToUtf8(form_.InputFolderEdit->text()); }
  std::string OutputFolder() override { return ToUtf8(form_.OutputFolderEdit->text()); }
  bool DeepSearch() override { return form_.InputFolderDeepSearchCheckBox->isChecked(); }
  bool Unpack() override { return form_.UnpackCheckBox->isChecked(); }
  std::string KptRule() override { return ToUtf8(form_.RuleKptEdit->text()); }
  std::string KvzuRule() override { return ToUtf8(form_.RuleKvzuEdit->text()); }

  // A bar whose maximum equals its minimum shows a busy animation instead of an
  // empty bar, so a run without archives keeps a maximum of 1.
  void SetProgressMax(int maximum) override { form_.ProgressBar->setMaximum(std::max(maximum, 1)); }
  void StepProgress() override { form_.ProgressBar->setValue(form_.ProgressBar->value() + 1); }
  void ResetProgress() override { form_.ProgressBar->setValue(0); }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void ShowSummary(const std::string& text, const std::string& caption) override {
    // The user asked to close while the last archive was handled: no summary in the way.
    if (form_.close_pending_) return;
    form_.ShowSummary(ToQString(text), ToQString(caption));
  }
  void ReportError(const std::string& message) override { ShowErrorReport(&form_, ToQString(message)); }
  bool StopRequested() override { return form_.stop_requested_; }

 private:
  TMainForm& form_;
};

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  setWindowIcon(QIcon(QPixmap::fromImage(ProgramIconImage(16))));
  setFont(WindowFont());
  resize(kDesignClientSize);
  move(0, 0);
  ApplySizeLimits();

  BuildControls();
  BuildMenus();

  host_ = std::make_unique<TWindowHost>(*this);
  run_ = std::make_unique<sorting::TSortRun>(*host_);
  FolderChooser = [this](const QString& title, const QString& start_folder) {
    return QFileDialog::getExistingDirectory(this, title, start_folder, QFileDialog::ShowDirsOnly);
  };

  auto guarded = [this](void (TMainForm::*handler)()) {
    return [this, handler] { Guarded(this, [&] { (this->*handler)(); }); };
  };
  connect(InputFolderBrowseSpeedButton, &QToolButton::clicked, this,
          guarded(&TMainForm::InputFolderBrowseSpeedButtonClick));
  connect(OutputFolderBrowseSpeedButton, &QToolButton::clicked, this,
          guarded(&TMainForm::OutputFolderBrowseSpeedButtonClick));
  connect(SortButton, &QPushButton::clicked, this, guarded(&TMainForm::SortButtonClick));
  connect(CloseButton, &QPushButton::clicked, this, guarded(&TMainForm::CloseButtonClick));
  connect(AboutLabel, &TLinkLabel::clicked, this, guarded(&TMainForm::AboutLabelClick));
  for (QLineEdit* edit :
       {InputFolderEdit, OutputFolderEdit, static_cast<QLineEdit*>(RuleKptEdit), static_cast<QLineEdit*>(RuleKvzuEdit)})
    connect(edit, &QLineEdit::textChanged, this, [this, edit] { Guarded(this, [&] { CorrectEditText(edit); }); });
  // The Close button is the window's cancel button: Esc presses it.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, CloseButton, &QPushButton::click);
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildControls() {
  anchors_ = new TAnchors(this, kDesignClientSize);

  InputFolderLabel = NewLabel(QStringLiteral("Папка с файлами Остревана:"), this, anchors_, {8, 8});
  InputFolderLabel->setObjectName(QStringLiteral("InputFolderLabel"));
  InputFolderEdit = new QLineEdit(this);
  InputFolderEdit->setObjectName(QStringLiteral("InputFolderEdit"));
  anchors_->Add(InputFolderEdit, {8, 27, 541, 21}, akLeft | akTop | akRight);
  InputFolderBrowseSpeedButton = NewBrowseButton(this);
  InputFolderBrowseSpeedButton->setObjectName(QStringLiteral("InputFolderBrowseSpeedButton"));
  anchors_->Add(InputFolderBrowseSpeedButton, {549, 27, 23, 21}, akTop | akRight);

  OutputFolderLabel = NewLabel(QStringLiteral("Папка с результатом сортировки:"), this, anchors_, {8, 54});
  OutputFolderLabel->setObjectName(QStringLiteral("OutputFolderLabel"));
  OutputFolderEdit = new QLineEdit(this);
  OutputFolderEdit->setObjectName(QStringLiteral("OutputFolderEdit"));
  anchors_->Add(OutputFolderEdit, {8, 73, 541, 21}, akLeft | akTop | akRight);
  OutputFolderBrowseSpeedButton = NewBrowseButton(this);
  OutputFolderBrowseSpeedButton->setObjectName(QStringLiteral("OutputFolderBrowseSpeedButton"));
  anchors_->Add(OutputFolderBrowseSpeedButton, {549, 73, 23, 21}, akTop | akRight);

  AboutLabel = new TLinkLabel(QStringLiteral("Сведения о программе..."), this);
  AboutLabel->setObjectName(QStringLiteral("AboutLabel"));
  AboutLabel->setToolTip(QStringLiteral("Вывести сведения о программе"));
  {
    // Sized to its text; it keeps its right edge where it was designed.
    const QSize hint = AboutLabel->sizeHint();
    const int width = std::max(127, hint.width());
    anchors_->Add(AboutLabel, {451 + 127 - width, 1, width, std::max(13, hint.height())}, akTop | akRight);
  }

  SettingsGroupBox = new QGroupBox(QStringLiteral("Настройки"), this);
  SettingsGroupBox->setObjectName(QStringLiteral("SettingsGroupBox"));
  anchors_->Add(SettingsGroupBox, {8, 100, 564, 167}, akLeft | akTop | akRight | akBottom);
  group_anchors_ = new TAnchors(SettingsGroupBox, kDesignGroupSize);

  InputFolderDeepSearchCheckBox =
      new QCheckBox(QStringLiteral("Искать файлы остревана во вложенных папках"), SettingsGroupBox);
  InputFolderDeepSearchCheckBox->setObjectName(QStringLiteral("InputFolderDeepSearchCheckBox"));
  InputFolderDeepSearchCheckBox->setChecked(true);
  group_anchors_->Add(InputFolderDeepSearchCheckBox, {8, 20, 553, 17}, akLeft | akTop | akRight);
  UnpackCheckBox = new QCheckBox(QStringLiteral("Извлечь архив в папку с результатом сортировки"), SettingsGroupBox);
  UnpackCheckBox->setObjectName(QStringLiteral("UnpackCheckBox"));
  UnpackCheckBox->setChecked(true);
  group_anchors_->Add(UnpackCheckBox, {8, 43, 553, 17}, akLeft | akTop | akRight);

  RuleKptLabel = NewLabel(QStringLiteral("Правила сортировки КПТ:"), SettingsGroupBox, group_anchors_, {8, 66});
  RuleKptLabel->setObjectName(QStringLiteral("RuleKptLabel"));
  RuleKptEdit = new TRuleEdit(SettingsGroupBox);
  RuleKptEdit->setObjectName(QStringLiteral("RuleKptEdit"));
  SetEditText(RuleKptEdit, QString::fromUtf8(sorting::kDefaultKptRule));
  group_anchors_->Add(RuleKptEdit, {8, 83, 544, 21}, akLeft | akTop | akRight);
  RuleKvzuLabel = NewLabel(QStringLiteral("Правила сортировки КВЗУ:"), SettingsGroupBox, group_anchors_, {8, 110});
  RuleKvzuLabel->setObjectName(QStringLiteral("RuleKvzuLabel"));
  RuleKvzuEdit = new TRuleEdit(SettingsGroupBox);
  RuleKvzuEdit->setObjectName(QStringLiteral("RuleKvzuEdit"));
  SetEditText(RuleKvzuEdit, QString::fromUtf8(sorting::kDefaultKvzuRule));
  group_anchors_->Add(RuleKvzuEdit, {8, 127, 544, 21}, akLeft | akTop | akRight);

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  anchors_->Add(ProgressBar, {8, 273, 564, 17}, akLeft | akRight | akBottom);

  SortButton = new QPushButton(QStringLiteral("Начать сортировку"), this);
  SortButton->setObjectName(QStringLiteral("SortButton"));
  SortButton->setAutoDefault(false);
  CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setAutoDefault(false);
  {
    // A caption wider than designed (a wider font) widens its button to the left;
    // the right edges stay.
    const int close_width = std::max(75, CloseButton->sizeHint().width());
    const int sort_width = std::max(115, SortButton->sizeHint().width());
    const int close_left = 572 - close_width;
    anchors_->Add(CloseButton, {close_left, 300, close_width, 25}, akRight | akBottom);
    anchors_->Add(SortButton, {close_left - 6 - sort_width, 300, sort_width, 25}, akRight | akBottom);
  }

  // Tab order: the two folders, the group (switches, then rules), Sort, Close.
  QWidget* order[] = {InputFolderEdit, OutputFolderEdit, InputFolderDeepSearchCheckBox,
                      UnpackCheckBox,  RuleKptEdit,      RuleKvzuEdit,
                      SortButton,      CloseButton};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TMainForm::BuildMenus() {
  auto item = [this](QMenu* menu, QAction*& action, const char* name, const QString& text,
                     void (TMainForm::*handler)()) {
    action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, [this, handler] { Guarded(this, [&] { (this->*handler)(); }); });
  };
  RuleKptPopupMenu = new QMenu(this);
  RuleKptPopupMenu->setObjectName(QStringLiteral("RuleKptPopupMenu"));
  item(RuleKptPopupMenu, AddKptCadRegionPopupItem, "AddKptCadRegionPopupItem", QStringLiteral("Добавить номер региона"),
       &TMainForm::AddKptCadRegionPopupItemClick);
  item(RuleKptPopupMenu, AddKptCadDistrictPopupItem, "AddKptCadDistrictPopupItem",
       QStringLiteral("Добавить номер района"), &TMainForm::AddKptCadDistrictPopupItemClick);
  item(RuleKptPopupMenu, AddKptCadBlockPopupItem, "AddKptCadBlockPopupItem", QStringLiteral("Добавить номер квартала"),
       &TMainForm::AddKptCadBlockPopupItemClick);
  item(RuleKptPopupMenu, AddKptCoordSystemPopupItem, "AddKptCoordSystemPopupItem",
       QStringLiteral("Добавить систему координат"), &TMainForm::AddKptCoordSystemPopupItemClick);
  item(RuleKptPopupMenu, AddKptCertificationDocDatePopupItem, "AddKptCertificationDocDatePopupItem",
       QStringLiteral("Добавить дату удостоверения"), &TMainForm::AddKptCertificationDocDatePopupItemClick);

  RuleKvzuPopupMenu = new QMenu(this);
  RuleKvzuPopupMenu->setObjectName(QStringLiteral("RuleKvzuPopupMenu"));
  item(RuleKvzuPopupMenu, AddKvzuCadRegionPopupItem, "AddKvzuCadRegionPopupItem",
       QStringLiteral("Добавить номер региона"), &TMainForm::AddKvzuCadRegionPopupItemClick);
  item(RuleKvzuPopupMenu, AddKvzuCadDistrictPopupItem, "AddKvzuCadDistrictPopupItem",
       QStringLiteral("Добавить номер района"), &TMainForm::AddKvzuCadDistrictPopupItemClick);
  item(RuleKvzuPopupMenu, AddKvzuCadBlockPopupItem, "AddKvzuCadBlockPopupItem",
       QStringLiteral("Добавить номер квартала"), &TMainForm::AddKvzuCadBlockPopupItemClick);
  item(RuleKvzuPopupMenu, AddKvzuCadParcelPopupItem, "AddKvzuCadParcelPopupItem",
       QStringLiteral("Добавить номер участка"), &TMainForm::AddKvzuCadParcelPopupItemClick);
  item(RuleKvzuPopupMenu, AddKvzuCoordSystemPopupItem, "AddKvzuCoordSystemPopupItem",
       QStringLiteral("Добавить систему координат"), &TMainForm::AddKvzuCoordSystemPopupItemClick);
  item(RuleKvzuPopupMenu, AddKvzuDateCreatedPopupItem, "AddKvzuDateCreatedPopupItem",
       QStringLiteral("Добавить дату постановки участка"), &TMainForm::AddKvzuDateCreatedPopupItemClick);
  item(RuleKvzuPopupMenu, AddKvzuCertificationDocDatePopupItem, "AddKvzuCertificationDocDatePopupItem",
       QStringLiteral("Добавить дату удостоверения"), &TMainForm::AddKvzuCertificationDocDatePopupItemClick);

  // The placeholder menus replace the edits' standard context menus.
  for (auto [edit, menu] : {std::pair<QLineEdit*, QMenu*>{RuleKptEdit, RuleKptPopupMenu},
                            std::pair<QLineEdit*, QMenu*>{RuleKvzuEdit, RuleKvzuPopupMenu}}) {
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit, &QLineEdit::customContextMenuRequested, menu,
            [edit, menu](const QPoint& at) { menu->popup(edit->mapToGlobal(at)); });
  }
}

// --- placement and size limits --------------------------------------------------

QMargins TMainForm::FrameExtents() const {
  if (const QWindow* window = windowHandle()) {
    const QMargins margins = window->frameMargins();
    if (!margins.isNull()) return margins;
  }
  return kDesignFrame;
}

QRect TMainForm::OuterGeometry() const {
  const QMargins frame = FrameExtents();
  return QRect(pos(), size().grownBy(frame));
}

void TMainForm::ApplySizeLimits() {
  const QMargins frame = FrameExtents();
  if (frame == limits_frame_) return;
  limits_frame_ = frame;
  const int horizontal = frame.left() + frame.right();
  const int vertical = frame.top() + frame.bottom();
  setMinimumSize(kMinOuterWidth - horizontal, kMinOuterHeight - vertical);
  setMaximumSize(QWIDGETSIZE_MAX, kMaxOuterHeight - vertical);
}

void TMainForm::ApplyOuterGeometry(int left, int top, int width, int height) {
  const QMargins frame = FrameExtents();
  move(left, top);
  // The size limits apply: a height of 400 becomes the largest height allowed.
  resize(width - frame.left() - frame.right(), height - frame.top() - frame.bottom());
}

bool TMainForm::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
    case QEvent::PlatformSurface:
      // The window system tells its frame only once the window is on screen.
      ApplySizeLimits();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

// --- settings --------------------------------------------------------------------

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TMainForm::FormShow() {
  // Once per program run, not at every showing.
  if (settings_loaded_) return;
  settings_loaded_ = true;
  try {
    LoadSettings();
  } catch (const std::exception& e) {
    const QString message = QString::fromUtf8(e.what());
    QTimer::singleShot(0, this, [this, message] { ShowErrorReport(this, message); });
  }
}

void TMainForm::LoadSettings() {
  const std::optional<sorting::TSettings> settings = sorting::LoadSettingsFile(sorting::kSettingsFileName);
  if (!settings) return;
  if (const auto& form = settings->form) ApplyOuterGeometry(form->left, form->top, form->width, form->height);
  if (const auto& folders = settings->folders) {
    SetEditText(InputFolderEdit, ToQString(folders->input_folder));
    SetEditText(OutputFolderEdit, ToQString(folders->output_folder));
    InputFolderDeepSearchCheckBox->setChecked(folders->deep_search);
    UnpackCheckBox->setChecked(folders->unpack);
  }
  if (const auto& rules = settings->rules) {
    SetEditText(RuleKptEdit, ToQString(rules->kpt_rule));
    SetEditText(RuleKvzuEdit, ToQString(rules->kvzu_rule));
  }
}

void TMainForm::SaveSettings() {
  const QRect outer = OuterGeometry();
  sorting::SaveSettingsFile(sorting::kSettingsFileName, {outer.x(), outer.y(), outer.width(), outer.height()},
                            {ToUtf8(InputFolderEdit->text()), ToUtf8(OutputFolderEdit->text()),
                             InputFolderDeepSearchCheckBox->isChecked(), UnpackCheckBox->isChecked()},
                            {ToUtf8(RuleKptEdit->text()), ToUtf8(RuleKvzuEdit->text())});
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery())
    event->accept();
  else
    event->ignore();
}

bool TMainForm::FormCloseQuery() {
  if (running_) {
    stop_requested_ = true;
    close_pending_ = true;
    return false;
  }
  Guarded(this, [this] { SaveSettings(); });
  return true;
}

// --- editing -----------------------------------------------------------------------

void TMainForm::CorrectEditText(QLineEdit* edit) {
  const bool folder = edit == InputFolderEdit || edit == OutputFolderEdit;
  const sorting::TEditCorrection correction =
      sorting::CorrectEditText(ToUtf8(edit->text()), edit->cursorPosition(),
                               folder ? sorting::kFolderForbiddenChars : sorting::kRuleForbiddenChars);
  if (!correction.changed) return;
  edit->setText(ToQString(correction.text));
  edit->setCursorPosition(correction.caret);
}

void TMainForm::InsertRuleItem(const QString& placeholder, QLineEdit* edit) {
  const int caret = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
  QString text = edit->text();
  text.insert(caret, placeholder);
  edit->setText(text);
  edit->setCursorPosition(caret + static_cast<int>(placeholder.size()));
}

QString TMainForm::BrowseForFolder(const QString& title, const QString& start_folder) {
  const QString chosen = FolderChooser ? FolderChooser(title, start_folder) : QString();
  return chosen.isEmpty() ? start_folder : QDir::toNativeSeparators(chosen);
}

// --- handlers ----------------------------------------------------------------------

void TMainForm::InputFolderBrowseSpeedButtonClick() {
  SetEditText(InputFolderEdit, BrowseForFolder(InputFolderLabel->text(), InputFolderEdit->text()));
}

void TMainForm::OutputFolderBrowseSpeedButtonClick() {
  SetEditText(OutputFolderEdit, BrowseForFolder(OutputFolderLabel->text(), OutputFolderEdit->text()));
}

void TMainForm::SortButtonClick() {
  if (running_) return;
  running_ = true;
  stop_requested_ = false;
  SortButton->setEnabled(false);
  emit runningChanged(true);
  Guarded(this, [this] { run_->SortButtonClick(); });
  running_ = false;
  SortButton->setEnabled(true);
  emit runningChanged(false);
  if (close_pending_) {
    close_pending_ = false;
    close();
  }
}

void TMainForm::ShowSummary(const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, PlainLines(text), QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("SummaryBox"));
  box.setTextFormat(Qt::PlainText);
  PlainButtons(box);
  box.exec();
}

void TMainForm::CloseButtonClick() { close(); }

void TMainForm::AboutLabelClick() {
  TAboutForm about;
  about.exec();
}

void TMainForm::AddKptCadRegionPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kRegionPlaceholder), RuleKptEdit);
}
void TMainForm::AddKptCadDistrictPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kDistrictPlaceholder), RuleKptEdit);
}
void TMainForm::AddKptCadBlockPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kBlockPlaceholder), RuleKptEdit);
}
void TMainForm::AddKptCoordSystemPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kCoordSystemPlaceholder), RuleKptEdit);
}
void TMainForm::AddKptCertificationDocDatePopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kCertificationDatePlaceholder), RuleKptEdit);
}
void TMainForm::AddKvzuCadRegionPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kRegionPlaceholder), RuleKvzuEdit);
}
void TMainForm::AddKvzuCadDistrictPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kDistrictPlaceholder), RuleKvzuEdit);
}
void TMainForm::AddKvzuCadBlockPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kBlockPlaceholder), RuleKvzuEdit);
}
void TMainForm::AddKvzuCadParcelPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kParcelPlaceholder), RuleKvzuEdit);
}
void TMainForm::AddKvzuCoordSystemPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kCoordSystemPlaceholder), RuleKvzuEdit);
}
void TMainForm::AddKvzuDateCreatedPopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kRegistrationDatePlaceholder), RuleKvzuEdit);
}
void TMainForm::AddKvzuCertificationDocDatePopupItemClick() {
  InsertRuleItem(QString::fromUtf8(sorting::kCertificationDatePlaceholder), RuleKvzuEdit);
}

}  // namespace app
