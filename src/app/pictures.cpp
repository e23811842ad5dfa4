#include "app/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace app {

namespace {

const QColor kFolderBack(0xC8, 0x8A, 0x1E);
const QColor kFolderFront(0xF2, 0xC0, 0x4A);
const QColor kFolderEdge(0x8A, 0x5A, 0x0E);
const QColor kPlot(0x2E, 0x7D, 0x32);

QImage Blank(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

}  // namespace

QImage ProgramIconImage(int size) {
  QImage image = Blank(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, size > 16);
  // Drawn on a 16-unit grid and scaled, so every size shows the same picture.
  p.scale(size / 16.0, size / 16.0);
  const qreal line = size > 16 ? 0.6 : 16.0 / size;
  p.setPen(QPen(kFolderEdge, line));
  // Back of the folder with its tab.
  QPainterPath back;
  back.moveTo(0.5, 2.5);
  back.lineTo(6, 2.5);
  back.lineTo(7.5, 4);
  back.lineTo(15.5, 4);
  back.lineTo(15.5, 14.5);
  back.lineTo(0.5, 14.5);
  back.closeSubpath();
  p.setBrush(kFolderBack);
  p.drawPath(back);
  // Front sheet.
  p.setBrush(kFolderFront);
  p.drawRect(QRectF(0.5, 5.5, 15, 9));
  // A land plot's outline with its corner points.
  const QPointF plot[] = {{3.5, 12.5}, {5, 7.5}, {10.5, 7}, {12.5, 11}, {9, 13}};
  p.setPen(QPen(kPlot, size > 16 ? 0.9 : 16.0 / size));
  p.setBrush(QColor(0x81, 0xC7, 0x84));
  p.drawPolygon(plot, 5);
  p.setPen(Qt::NoPen);
  p.setBrush(kPlot);
  if (size > 16)
    for (const QPointF& corner : plot) p.drawEllipse(corner, 0.8, 0.8);
  return image;
}

QImage FolderImage() {
  QImage image = Blank(16);
  QPainter p(&image);
  p.setPen(kFolderEdge);
  p.setBrush(kFolderBack);
  // Back with its tab.
  const QPoint back[] = {{1, 3}, {6, 3}, {7, 4}, {13, 4}, {13, 13}, {1, 13}};
  p.drawPolygon(back, 6);
  // The opened front, leaning forward.
  p.setBrush(kFolderFront);
  const QPoint front[] = {{1, 13}, {3, 7}, {15, 7}, {13, 13}};
  p.drawPolygon(front, 4);
  return image;
}

}  // namespace app
