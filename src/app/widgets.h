#pragma once
// Small widgets the two windows share: a label that acts as a link, a panel with
// a double bevel, and placement of children by anchors.

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QRect>
#include <QSize>
#include <vector>

namespace app {

// A label (a picture or a text) that emits clicked on a click: a press and a
// release of the left button over it. Shows the hand cursor.
class TClickablePicture : public QLabel {
  Q_OBJECT
 public:
  explicit TClickablePicture(QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

// A label acting as a link: underlined, in the link colour, clickable.
class TLinkLabel : public TClickablePicture {
  Q_OBJECT
 public:
  explicit TLinkLabel(const QString& text, QWidget* parent = nullptr);
};

// A white panel framed by a lowered outer and a raised inner bevel.
class TBevelPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TBevelPanel(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Which edges of a control keep their distance to the same edge of its parent
// when the parent is resized.
enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// Places the children of one container at their designed rectangles, moved or
// stretched by the change of the container's size from its designed size.
class TAnchors : public QObject {
  Q_OBJECT
 public:
  TAnchors(QWidget* container, QSize design_size);

  void Add(QWidget* control, QRect design, unsigned anchors);
  // Where control stands for a container of the given size.
  static QRect Place(QRect design, unsigned anchors, QSize design_size, QSize size);
  void Apply();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TEntry {
    QWidget* control;
    QRect design;
    unsigned anchors;
  };
  QWidget* container_;
  QSize design_size_;
  std::vector<TEntry> entries_;
};

}  // namespace app

namespace app {

// A rule edit: no select-all when it takes the focus, and the selection stays
// (and stays visible) when the focus leaves, so a placeholder menu can insert in
// front of it.
class TRuleEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TRuleEdit(QWidget* parent = nullptr);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace app
