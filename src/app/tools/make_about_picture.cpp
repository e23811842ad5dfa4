// Paints the about window's picture (300 x 83) and writes it as a JPEG through
// libjpeg:
//   make_about_picture FILE.jpg
// Its output is kept in the sources (app/pictures/about.jpg); run it again and
// commit the file when the picture changes.

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

#include "app/jpeg_image.h"
#include "app/pictures.h"

namespace {

// A patch of a cadastral map: land plots of a block with their boundaries.
void PaintMap(QPainter& p) {
  const QColor fills[] = {{0xC8, 0xE6, 0xC9}, {0xFF, 0xEC, 0xB3}, {0xDC, 0xED, 0xC8},
                          {0xFF, 0xE0, 0xB2}, {0xE6, 0xEE, 0x9C}, {0xB2, 0xDF, 0xDB}};
  const QPolygonF plots[] = {
      QPolygonF({{4, 6}, {38, 4}, {34, 30}, {6, 34}}),    QPolygonF({{38, 4}, {78, 8}, {72, 28}, {34, 30}}),
      QPolygonF({{6, 34}, {34, 30}, {40, 58}, {8, 62}}),  QPolygonF({{34, 30}, {72, 28}, {76, 54}, {40, 58}}),
      QPolygonF({{8, 62}, {40, 58}, {44, 80}, {10, 80}}), QPolygonF({{40, 58}, {76, 54}, {80, 80}, {44, 80}}),
  };
  p.setPen(QPen(QColor(0x55, 0x6B, 0x2F), 1.2));
  for (size_t i = 0; i < std::size(plots); ++i) {
    p.setBrush(fills[i]);
    p.drawPolygon(plots[i]);
  }
  // The corner points of one plot, as a survey marks them.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xC6, 0x28, 0x28));
  for (const QPointF& corner : plots[3]) p.drawEllipse(corner, 2.2, 2.2);
}

QImage Picture() {
  QImage image(300, 83, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient sky(0, 0, 300, 83);
  sky.setColorAt(0, QColor(0xF4, 0xF8, 0xFC));
  sky.setColorAt(1, QColor(0xDD, 0xE9, 0xF5));
  p.fillRect(image.rect(), sky);
  PaintMap(p);
  p.drawImage(QRect(92, 16, 48, 48), app::ProgramIconImage(48));

  QFont title(QStringLiteral("DejaVu Sans"));
  title.setPixelSize(25);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(0x1F, 0x3B, 0x5C));
  p.drawText(QPointF(148, 42), QStringLiteral("Велторин"));
  QFont subtitle(QStringLiteral("DejaVu Sans"));
  subtitle.setPixelSize(10);
  p.setFont(subtitle);
  p.setPen(QColor(0x45, 0x5A, 0x64));
  p.drawText(QRectF(148, 50, 148, 30), Qt::TextWordWrap, QStringLiteral("сортировка документов кадастрового реестра"));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_about_picture FILE.jpg\n");
    return 2;
  }
  QGuiApplication application(argc, argv);
  const QByteArray jpeg = app::EncodeJpeg(Picture(), 92);
  QFile file(QString::fromLocal8Bit(argv[1]));
  if (jpeg.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size()) {
    std::fprintf(stderr, "make_about_picture: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
