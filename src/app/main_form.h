#pragma once
// The program's single main window: the two folders with their browse buttons,
// the two switches, the two rules with their placeholder menus, the progress bar,
// and the Sort and Close commands.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "sorting/sort_run.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace app {

class TAnchors;
class TLinkLabel;
class TRuleEdit;

class TMainForm : public QWidget {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  QLabel* InputFolderLabel;
  QLineEdit* InputFolderEdit;
  QToolButton* InputFolderBrowseSpeedButton;
  QLabel* OutputFolderLabel;
  QLineEdit* OutputFolderEdit;
  QToolButton* OutputFolderBrowseSpeedButton;
  TLinkLabel* AboutLabel;
  QGroupBox* SettingsGroupBox;
  QCheckBox* InputFolderDeepSearchCheckBox;
  QCheckBox* UnpackCheckBox;
  QLabel* RuleKptLabel;
  TRuleEdit* RuleKptEdit;
  QLabel* RuleKvzuLabel;
  TRuleEdit* RuleKvzuEdit;
  QProgressBar* ProgressBar;
  QPushButton* SortButton;
  QPushButton* CloseButton;

  QMenu* RuleKptPopupMenu;
  QAction* AddKptCadRegionPopupItem;
  QAction* AddKptCadDistrictPopupItem;
  QAction* AddKptCadBlockPopupItem;
  QAction* AddKptCoordSystemPopupItem;
  QAction* AddKptCertificationDocDatePopupItem;
  QMenu* RuleKvzuPopupMenu;
  QAction* AddKvzuCadRegionPopupItem;
  QAction* AddKvzuCadDistrictPopupItem;
  QAction* AddKvzuCadBlockPopupItem;
  QAction* AddKvzuCadParcelPopupItem;
  QAction* AddKvzuCoordSystemPopupItem;
  QAction* AddKvzuDateCreatedPopupItem;
  QAction* AddKvzuCertificationDocDatePopupItem;

  // The settings file in the current folder: read when the window is first
  // shown, written at every close request.
  void LoadSettings();
  void SaveSettings();

  // Inserts the placeholder at the caret (in front of a selection) and puts the
  // caret behind it.
  void InsertRuleItem(const QString& placeholder, QLineEdit* edit);
  // The chosen folder, or start_folder when the user cancels.
  QString BrowseForFolder(const QString& title, const QString& start_folder);
  // Forbidden characters of the edit become "_"; the caret stays.
  void CorrectEditText(QLineEdit* edit);

  // Handlers.
  // First showing: the settings file is read; a failure is reported once the
  // window stands, and it opens all the same.
  void FormShow();
  // A close request: the settings file is written (a failure is reported and the
  // window closes all the same). During a run the request is held: the run stops
  // after the archive under way and the window closes then. True: may close now.
  bool FormCloseQuery();
  void InputFolderBrowseSpeedButtonClick();
  void OutputFolderBrowseSpeedButtonClick();
  void SortButtonClick();
  void CloseButtonClick();
  void AboutLabelClick();
  void AddKptCadRegionPopupItemClick();
  void AddKptCadDistrictPopupItemClick();
  void AddKptCadBlockPopupItemClick();
  void AddKptCoordSystemPopupItemClick();
  void AddKptCertificationDocDatePopupItemClick();
  void AddKvzuCadRegionPopupItemClick();
  void AddKvzuCadDistrictPopupItemClick();
  void AddKvzuCadBlockPopupItemClick();
  void AddKvzuCadParcelPopupItemClick();
  void AddKvzuCoordSystemPopupItemClick();
  void AddKvzuDateCreatedPopupItemClick();
  void AddKvzuCertificationDocDatePopupItemClick();

  // The folder chooser: Qt's folder dialog by default; tests put their own.
  // Answers the chosen folder, or the empty text when the user cancels.
  std::function<QString(const QString& title, const QString& start_folder)> FolderChooser;

  // The run of the last Sort command, with its counters.
  const sorting::TSortRun& SortRun() const { return *run_; }
  bool Running() const { return running_; }

  // Outer size limits: the height between 367 and 372 pixels, the width at least 308.
  static constexpr int kMinOuterWidth = 308;
  static constexpr int kMinOuterHeight = 367;
  static constexpr int kMaxOuterHeight = 372;
  // The window's outer rectangle (frame included) and the frame's extents: the
  // window system's where it draws a frame, else those of the frame the window
  // was designed with, so the outer sizes keep their meaning without one.
  QRect OuterGeometry() const;
  QMargins FrameExtents() const;

 signals:
  // A sort run is under way, or ended.
  void runningChanged(bool running);

 protected:
  void showEvent(QShowEvent* event) override;    // FormShow
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
  bool event(QEvent* event) override;

 private:
  class TWindowHost;
  friend class TWindowHost;

  void BuildControls();
  void BuildMenus();
  void ApplySizeLimits();
  void ApplyOuterGeometry(int left, int top, int width, int height);
  void ShowSummary(const QString& text, const QString& caption);

  std::unique_ptr<TWindowHost> host_;
  std::unique_ptr<sorting::TSortRun> run_;
  TAnchors* anchors_ = nullptr;
  TAnchors* group_anchors_ = nullptr;
  QMargins limits_frame_{-1, -1, -1, -1};
  bool settings_loaded_ = false;
  bool running_ = false;
  bool stop_requested_ = false;
  bool close_pending_ = false;
};

}  // namespace app
