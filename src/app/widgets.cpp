#include "app/widgets.h"

#include <qdrawutil.h>

#include <QEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>

namespace app {

TClickablePicture::TClickablePicture(QWidget* parent) : QLabel(parent) { setCursor(Qt::PointingHandCursor); }

void TClickablePicture::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  QLabel::mousePressEvent(event);
}

void TClickablePicture::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click) emit clicked();
}

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : TClickablePicture(parent) {
  setText(text);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, colours.color(QPalette::Link));
  setPalette(colours);
}

TBevelPanel::TBevelPanel(QWidget* parent) : QFrame(parent) {
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::white);
  setPalette(colours);
}

void TBevelPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  const QPalette& colours = palette();
  qDrawShadePanel(&painter, rect(), colours, /*sunken=*/true, 1);
  qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), colours, /*sunken=*/false, 1);
}

TAnchors::TAnchors(QWidget* container, QSize design_size)
    : QObject(container), container_(container), design_size_(design_size) {
  container->installEventFilter(this);
}

void TAnchors::Add(QWidget* control, QRect design, unsigned anchors) {
  entries_.push_back({control, design, anchors});
  control->setGeometry(Place(design, anchors, design_size_, container_->size()));
}

QRect TAnchors::Place(QRect design, unsigned anchors, QSize design_size, QSize size) {
  const int dw = size.width() - design_size.width();
  const int dh = size.height() - design_size.height();
  QRect r = design;
  if (anchors & akRight) {
    if (anchors & akLeft)
      r.setWidth(design.width() + dw);
    else
      r.moveLeft(design.left() + dw);
  } else if (!(anchors & akLeft)) {
    r.moveLeft(design.left() + dw / 2);
  }
  if (anchors & akBottom) {
    if (anchors & akTop)
      r.setHeight(design.height() + dh);
    else
      r.moveTop(design.top() + dh);
  } else if (!(anchors & akTop)) {
    r.moveTop(design.top() + dh / 2);
  }
  return r;
}

void TAnchors::Apply() {
  const QSize size = container_->size();
  for (const TEntry& e : entries_) e.control->setGeometry(Place(e.design, e.anchors, design_size_, size));
}

bool TAnchors::eventFilter(QObject* watched, QEvent* event) {
  if (watched == container_ && event->type() == QEvent::Resize) Apply();
  return QObject::eventFilter(watched, event);
}

}  // namespace app

namespace app {

TRuleEdit::TRuleEdit(QWidget* parent) : QLineEdit(parent) {
  // Without focus the selection is drawn in the active colours, as with focus.
  QPalette colours = palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
    colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
  setPalette(colours);
}

void TRuleEdit::focusInEvent(QFocusEvent* event) {
  // A line edit selects everything when tabbed into; this one keeps the caret.
  QFocusEvent plain(event->type(), Qt::OtherFocusReason);
  QLineEdit::focusInEvent(&plain);
}

void TRuleEdit::focusOutEvent(QFocusEvent* event) {
  const int start = selectionStart();
  const int length = selectedText().size();
  const int caret = cursorPosition();
  QLineEdit::focusOutEvent(event);
  if (start >= 0 && length > 0 && !hasSelectedText()) {
    // Select from the end away from the caret, so the caret stays where it was.
    if (caret == start)
      setSelection(start + length, -length);
    else
      setSelection(start, length);
  }
}

}  // namespace app
